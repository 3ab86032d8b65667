// Start-up of the file access layer's tffs side, once per power-up: the
// I/O system, the "mfs:" RAM file system, the board's own file devices
// ("ofs1:", published with the board file device protocol) and the tffs
// driver protocol over them. BootAgent's entry is the one to call it,
// before any file API call; the kvfs driver protocol is installed by the
// code that mounts "cfcard:".
#ifndef FILEACCESS_FILE_ACCESS_START_H_
#define FILEACCESS_FILE_ACCESS_START_H_

#include <Uefi/UefiBaseType.h>

// Installs the tffs driver protocol on *Handle (a new handle when NULL).
// A board without a file device still gets "mfs:". An error status when a
// device cannot be added or the protocol cannot be installed.
EFI_STATUS FileAccessStart(EFI_HANDLE *Handle);

#endif  // FILEACCESS_FILE_ACCESS_START_H_
