// File time stamps: seconds since 1970-01-01 00:00 from the board clock.
#ifndef FILEACCESS_FS_CLOCK_H_
#define FILEACCESS_FS_CLOCK_H_

#include <Uefi/UefiBaseType.h>

// 0 when the clock cannot be read.
UINT32 FsClockSeconds(VOID);

#endif  // FILEACCESS_FS_CLOCK_H_
