// "mfs:", a RAM file system that lives for one power-up: a flat directory
// of files held in boot-services pool memory, served through the I/O
// system's driver interface. It is firmware, not board code: its storage is
// the firmware's own memory, which a reset or power cut loses with it.
#ifndef FILEACCESS_MFS_DRIVER_H_
#define FILEACCESS_MFS_DRIVER_H_

#include <Library/IoSystemLib.h>

#define MFS_DEVICE_NAME "mfs:"
#define MFS_MAX_FILES 32
#define MFS_MAX_OPEN 16
#define MFS_NAME_SIZE 100  // a name must fit a directory stream entry

// Starts an empty file system and adds it to the I/O system under Name.
// Call once per power-up, after IosInit. 0 or -1.
INT32 MfsDevCreate(CONST CHAR8 *Name);

// The driver operations, for tests that drive it without the I/O system.
CONST IOS_DRIVER_FUNCS *MfsDriverFuncs(VOID);

#endif  // FILEACCESS_MFS_DRIVER_H_
