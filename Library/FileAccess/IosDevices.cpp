// The I/O system's driver table, device list, device lookup, path join and
// error printing.
#include <Library/BaseLib.h>
#include <Library/DebugLib.h>
#include <Library/PrintLib.h>

#include "FileAccess/IoSystemState.h"

IOS_STATE g_stIos;

VOID IosInit(VOID) {
  InternalSetMem(&g_stIos, sizeof(g_stIos), 0);
  IosDefPathSet(IOS_DEFAULT_PATH);
}

INT32 IosDrvInstall(CONST IOS_DRIVER_FUNCS *Funcs) {
  if (Funcs == NULL) return -1;
  for (INT32 Index = 0; Index < IOS_MAX_DRIVERS; Index++) {
    IOS_DRIVER_ENTRY *Entry = &g_stIos.astDrivers[Index];
    if (Entry->bInUse) continue;
    Entry->stFuncs = *Funcs;
    Entry->bInUse = TRUE;
    return Index;
  }
  return -1;
}

INT32 IosDevAdd(IOS_DEV_HDR *Device, CONST CHAR8 *Name, INT32 DrvNum) {
  if (Device == NULL || Name == NULL || DrvNum < 0 || DrvNum >= IOS_MAX_DRIVERS) return -1;
  if (!g_stIos.astDrivers[DrvNum].bInUse) return -1;
  UINTN Length = AsciiStrnLen(Name, IOS_DEV_NAME_MAX);
  if (Length == 0 || Length >= IOS_DEV_NAME_MAX) return -1;
  for (IOS_DEV_HDR *Other = g_stIos.pDevList; Other != NULL; Other = Other->pNext) {
    if (Other == Device || AsciiStrCmp(Other->szName, Name) == 0) return -1;
  }
  InternalCopyMem(Device->szName, Name, Length + 1);
  Device->sDrvNum = (INT16)DrvNum;
  Device->pNext = g_stIos.pDevList;
  g_stIos.pDevList = Device;
  return 0;
}

VOID IosDefPathSet(CONST CHAR8 *Path) {
  g_stIos.szDefaultPath[0] = '\0';
  if (Path != NULL) IosPathAppend(g_stIos.szDefaultPath, Path, AsciiStrLen(Path));
}

VOID IosHooksSet(IOS_FD_HOOK OpenHook, IOS_FD_HOOK FreeHook) {
  g_stIos.pfnOpenHook = OpenHook;
  g_stIos.pfnFreeHook = FreeHook;
}

IOS_DEV_HDR *IosDevMatch(CONST CHAR8 *Path) {
  IOS_DEV_HDR *Best = NULL;
  UINTN BestLength = 0;
  if (Path == NULL) return NULL;
  for (IOS_DEV_HDR *Device = g_stIos.pDevList; Device != NULL; Device = Device->pNext) {
    UINTN Length = AsciiStrLen(Device->szName);
    if (Length > BestLength && AsciiStrnCmp(Device->szName, Path, Length) == 0) {
      Best = Device;
      BestLength = Length;
    }
  }
  return Best;
}

IOS_DEV_HDR *IosDevFind(CONST CHAR8 *Path, CONST CHAR8 **Remainder) {
  IOS_DEV_HDR *Device = IosDevMatch(Path);
  if (Device != NULL) {
    if (Remainder != NULL) *Remainder = Path + AsciiStrLen(Device->szName);
    return Device;
  }
  Device = IosDevMatch(g_stIos.szDefaultPath);
  if (Device == NULL) {
    IosPrintErr("S_iosLib_DEVICE_NOT_FOUND\n");
    return NULL;
  }
  if (Remainder != NULL) *Remainder = Path;
  return Device;
}

VOID IosPathAppend(CHAR8 *Result, CONST CHAR8 *Text, UINTN TextLength) {
  UINTN Length = AsciiStrLen(Result);
  while (TextLength > 0 && *Text != '\0' && Length < IOS_PATH_MAX - 1) {
    Result[Length++] = *Text++;
    TextLength--;
  }
  Result[Length] = '\0';
}

INT32 IosPathJoin(CONST CHAR8 *DefaultPath, CONST CHAR8 *Path, CHAR8 *Result) {
  if (DefaultPath == NULL || Result == NULL) return -1;
  Result[0] = '\0';
  if (Path == NULL || Path[0] == '\0') {
    IosPathAppend(Result, DefaultPath, AsciiStrLen(DefaultPath));
    return 0;
  }
  if (IosDevMatch(Path) != NULL) {
    IosPathAppend(Result, Path, AsciiStrLen(Path));
    return 0;
  }
  // The default path's device part and the remainder behind it.
  IOS_DEV_HDR *DefaultDevice = IosDevMatch(DefaultPath);
  UINTN DeviceLength = DefaultDevice == NULL ? 0 : AsciiStrLen(DefaultDevice->szName);
  CONST CHAR8 *DefaultRest = DefaultPath + DeviceLength;
  if (Path[0] != '/') IosPathAppend(Result, DefaultPath, DeviceLength);
  BOOLEAN Rooted = Path[0] == '/' || Path[0] == '\\' || Path[0] == '~' || Path[0] == '$';
  UINTN RestLength = AsciiStrLen(DefaultRest);
  if (!Rooted && RestLength > 0) {
    IosPathAppend(Result, DefaultRest, RestLength);
    if (DefaultRest[RestLength - 1] != '/') IosPathAppend(Result, "/", 1);
  }
  IosPathAppend(Result, Path, AsciiStrLen(Path));
  return 0;
}

INT32 IosFullFileNameGet(CONST CHAR8 *Path, IOS_DEV_HDR **Device, CHAR8 *Remainder) {
  CHAR8 Joined[IOS_PATH_MAX];
  CONST CHAR8 *Rest = NULL;
  if (Device == NULL || Remainder == NULL) return -1;
  if (IosPathJoin(g_stIos.szDefaultPath, Path, Joined) != 0) return -1;
  IOS_DEV_HDR *Found = IosDevFind(Joined, &Rest);
  if (Found == NULL) return -1;
  Remainder[0] = '\0';
  IosPathAppend(Remainder, Rest, AsciiStrLen(Rest));
  *Device = Found;
  return 0;
}

INT32 IosErrno(VOID) { return g_stIos.lErrno; }
INT32 IosDriverErrno(VOID) { return g_stIos.lDriverErrno; }

VOID IosPrintErr(CONST CHAR8 *Format, ...) {
  CHAR8 Buffer[256];
  VA_LIST Marker;
  VA_START(Marker, Format);
  AsciiVSPrint(Buffer, sizeof(Buffer), Format, Marker);
  VA_END(Marker);
  for (UINTN Index = 0; Buffer[Index] != '\0'; Index++) ConsolePutChar(Buffer[Index]);
}
