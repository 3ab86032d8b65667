// The tffs driver protocol instance over the I/O system.
#ifndef FILEACCESS_TFFS_PROTOCOL_H_
#define FILEACCESS_TFFS_PROTOCOL_H_

#include <Protocol/TffsDriver.h>

// The one instance; its entries call the I/O system directly.
TFFS_DRIVER_PROTOCOL *TffsDriverProtocolInstance(VOID);

// Installs the instance under gTffsDriverProtocolGuid on *Handle (a new
// handle when *Handle is NULL). The I/O system must be initialised and its
// devices added first (IosInit, MfsDevCreate, the board's "ofs1:" device);
// FileAccessStart does all of it.
EFI_STATUS TffsDriverProtocolInstall(EFI_HANDLE *Handle);

#endif  // FILEACCESS_TFFS_PROTOCOL_H_
