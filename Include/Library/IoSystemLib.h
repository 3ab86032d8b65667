// The I/O system behind "ofs1:" and "mfs:": named devices in a list, each
// served by a driver from the driver table, and a table of file descriptors
// (3 and up) binding an open file to its device and the driver's value.
// Device drivers (firmware or board) plug in through IOS_DRIVER_FUNCS.
#ifndef IO_SYSTEM_LIB_H_
#define IO_SYSTEM_LIB_H_

#include <Uefi/UefiBaseType.h>

#define IOS_PATH_MAX 256          // path buffers, the NUL included
#define IOS_DEV_NAME_MAX 16       // device names, the NUL included
#define IOS_MAX_DRIVERS 8
#define IOS_MAX_FILES 32          // descriptor table entries
#define IOS_FIRST_FD 3            // 0, 1 and 2 are the unmapped standard streams
#define IOS_MAX_LINKS 20
#define IOS_DEFAULT_PATH "ofs1:"

// Error numbers (IosErrno) and the driver error word (IosDriverErrno).
#define IOS_ERR_INVALID_FD 0xD0003
#define IOS_ERR_NO_FILENAME 0xC0007
#define IOS_DRV_ERR_NOT_SUPPORTED 45

// A driver's open or create answers this to have the I/O system follow a
// link: it has rewritten the name buffer (IOS_PATH_MAX bytes) with the target.
#define IOS_FOLLOW_LINK (-2)

// Ioctl function codes.
#define IOS_FIONREAD 1     // argument INT32 *: bytes left to read from the position
#define IOS_FIOSEEK 7      // argument: the new position; result 0
#define IOS_FIOWHERE 8     // result: the position
#define IOS_FIOGETNAME 18  // argument CHAR8 * of IOS_PATH_MAX bytes: the full name
#define IOS_FIOREADDIR 37  // argument DirStream *
#define IOS_FIOFSTATGET 38 // argument StatRecord *

// Device header; a driver's own device record starts with one.
typedef struct IOS_DEV_HDR {
  struct IOS_DEV_HDR *pNext;
  INT16 sDrvNum;
  CHAR8 szName[IOS_DEV_NAME_MAX];
} IOS_DEV_HDR;

// Driver operations; a missing one is NULL. Name buffers hold IOS_PATH_MAX
// bytes. Create and open answer the driver's value for the file, -1, or
// IOS_FOLLOW_LINK.
typedef INTN (*IOS_CREATE_FUNC)(IOS_DEV_HDR *Device, CHAR8 *Name, INT32 Flags);
typedef INT32 (*IOS_DELETE_FUNC)(IOS_DEV_HDR *Device, CHAR8 *Name);
typedef INTN (*IOS_OPEN_FUNC)(IOS_DEV_HDR *Device, CHAR8 *Name, INT32 Flags, INT32 Mode);
typedef INT32 (*IOS_CLOSE_FUNC)(INTN Value);
typedef INT32 (*IOS_READ_FUNC)(INTN Value, VOID *Buffer, UINT32 Length);
typedef INT32 (*IOS_WRITE_FUNC)(INTN Value, CONST VOID *Buffer, UINT32 Length);
typedef INT32 (*IOS_IOCTL_FUNC)(INTN Value, INT32 Function, INTN Argument);

typedef struct {
  IOS_CREATE_FUNC pfnCreate;
  IOS_DELETE_FUNC pfnDelete;
  IOS_OPEN_FUNC pfnOpen;
  IOS_CLOSE_FUNC pfnClose;
  IOS_READ_FUNC pfnRead;
  IOS_WRITE_FUNC pfnWrite;
  IOS_IOCTL_FUNC pfnIoctl;
} IOS_DRIVER_FUNCS;

typedef VOID (*IOS_FD_HOOK)(INT32 Descriptor);

// Forgets every device, driver and descriptor (without calling drivers)
// and sets the default path to IOS_DEFAULT_PATH; done once per power-up.
VOID IosInit(VOID);
// Driver number, or -1 when the table is full.
INT32 IosDrvInstall(CONST IOS_DRIVER_FUNCS *Funcs);
// Adds the device under Name; -1 for a bad driver number, a name that is
// empty, too long or already present.
INT32 IosDevAdd(IOS_DEV_HDR *Device, CONST CHAR8 *Name, INT32 DrvNum);
VOID IosDefPathSet(CONST CHAR8 *Path);
VOID IosHooksSet(IOS_FD_HOOK OpenHook, IOS_FD_HOOK FreeHook);

// The device whose name is the longest prefix of Path, else the default
// path's device with the whole path as the remainder; NULL when none.
IOS_DEV_HDR *IosDevFind(CONST CHAR8 *Path, CONST CHAR8 **Remainder);
// Completes Path with DefaultPath into Result (IOS_PATH_MAX bytes).
INT32 IosPathJoin(CONST CHAR8 *DefaultPath, CONST CHAR8 *Path, CHAR8 *Result);
// Joins Path with the default path and splits it into device and remainder
// (copied into Remainder, IOS_PATH_MAX bytes). 0 or -1.
INT32 IosFullFileNameGet(CONST CHAR8 *Path, IOS_DEV_HDR **Device, CHAR8 *Remainder);

// File operations; results as the drivers answer, -1 on failure.
INT32 IosOpen(CONST CHAR8 *Path, INT32 Flags, INT32 Mode);
INT32 IosCreat(CONST CHAR8 *Path, INT32 Flags);
INT32 IosClose(INT32 Descriptor);
INT32 IosRead(INT32 Descriptor, VOID *Buffer, UINT32 Length);
INT32 IosWrite(INT32 Descriptor, CONST VOID *Buffer, UINT32 Length);
INT32 IosIoctl(INT32 Descriptor, INT32 Function, INTN Argument);
INT32 IosLseek(INT32 Descriptor, INT32 Offset, INT32 Whence);
INT32 IosRemove(CONST CHAR8 *Path);

INT32 IosErrno(VOID);
INT32 IosDriverErrno(VOID);
// Formats into a 256-byte buffer and sends it to the console.
VOID IosPrintErr(CONST CHAR8 *Format, ...);

#endif  // IO_SYSTEM_LIB_H_
