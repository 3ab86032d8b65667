// State of the I/O system shared by its sources: drivers, devices,
// descriptors, default path, hooks and error words.
#ifndef FILEACCESS_IO_SYSTEM_STATE_H_
#define FILEACCESS_IO_SYSTEM_STATE_H_

#include <Library/IoSystemLib.h>

typedef struct {
  IOS_DRIVER_FUNCS stFuncs;
  BOOLEAN bInUse;
} IOS_DRIVER_ENTRY;

typedef struct {
  IOS_DEV_HDR *pDevHdr;
  INTN lValue;
  CHAR8 *szName;  // a pool copy, or the device's own name
  BOOLEAN bInUse;
  BOOLEAN bObsolete;
} IOS_FD_ENTRY;

typedef struct {
  IOS_DRIVER_ENTRY astDrivers[IOS_MAX_DRIVERS];
  IOS_DEV_HDR *pDevList;
  IOS_FD_ENTRY astFds[IOS_MAX_FILES];
  CHAR8 szDefaultPath[IOS_PATH_MAX];
  IOS_FD_HOOK pfnOpenHook;
  IOS_FD_HOOK pfnFreeHook;
  INT32 lErrno;
  INT32 lDriverErrno;
} IOS_STATE;

extern IOS_STATE g_stIos;

// The device named by the longest prefix of Path, without the default
// path; NULL when no device name starts Path.
IOS_DEV_HDR *IosDevMatch(CONST CHAR8 *Path);
// Bounded append to an IOS_PATH_MAX buffer: stops at IOS_PATH_MAX - 1.
VOID IosPathAppend(CHAR8 *Result, CONST CHAR8 *Text, UINTN TextLength);

#endif  // FILEACCESS_IO_SYSTEM_STATE_H_
