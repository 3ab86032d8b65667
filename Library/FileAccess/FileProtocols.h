// Locating the two driver protocols; the pointer is never kept.
#ifndef FILEACCESS_FILE_PROTOCOLS_H_
#define FILEACCESS_FILE_PROTOCOLS_H_

#include <Protocol/KvfsDriver.h>
#include <Protocol/TffsDriver.h>

// NULL when the protocol is not installed (or no services are set up).
KVFS_DRIVER_PROTOCOL *FileLocateKvfs(VOID);
TFFS_DRIVER_PROTOCOL *FileLocateTffs(VOID);

#endif  // FILEACCESS_FILE_PROTOCOLS_H_
