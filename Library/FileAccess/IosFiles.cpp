// The I/O system's file descriptors: open or create (with link following),
// close, read, write, ioctl, lseek built on ioctl, and remove.
#include <Library/BaseLib.h>
#include <Library/UefiBootServicesTableLib.h>
#include <Protocol/KvfsDriver.h>

#include "FileAccess/IoSystemState.h"

static CONST IOS_DRIVER_FUNCS *IosDriverOf(IOS_DEV_HDR *Device) { return &g_stIos.astDrivers[Device->sDrvNum].stFuncs; }

// The standard streams are not mapped: every descriptor below the first
// table descriptor fails.
static IOS_FD_ENTRY *IosFdValidate(INT32 Descriptor) {
  if (Descriptor >= IOS_FIRST_FD) {
    INT32 Index = Descriptor - IOS_FIRST_FD;
    if (Index < IOS_MAX_FILES) {
      IOS_FD_ENTRY *Entry = &g_stIos.astFds[Index];
      if (Entry->bInUse && !Entry->bObsolete) return Entry;
    }
  }
  g_stIos.lErrno = IOS_ERR_INVALID_FD;
  return NULL;
}

static INT32 IosFdAlloc(VOID) {
  for (INT32 Index = 0; Index < IOS_MAX_FILES; Index++) {
    IOS_FD_ENTRY *Entry = &g_stIos.astFds[Index];
    if (Entry->bInUse) continue;
    InternalSetMem(Entry, sizeof(*Entry), 0);
    Entry->bInUse = TRUE;
    return Index + IOS_FIRST_FD;
  }
  IosPrintErr("S_iosLib_TOO_MANY_OPEN_FILES\n");
  return -1;
}

static VOID IosFdFree(INT32 Descriptor) {
  IOS_FD_ENTRY *Entry = &g_stIos.astFds[Descriptor - IOS_FIRST_FD];
  if (Entry->szName != NULL && Entry->pDevHdr != NULL && Entry->szName != Entry->pDevHdr->szName) {
    gBS->FreePool(Entry->szName);
  }
  if (Entry->bInUse && g_stIos.pfnFreeHook != NULL) g_stIos.pfnFreeHook(Descriptor);
  InternalSetMem(Entry, sizeof(*Entry), 0);
}

// Records the full name: the device's own name when the file is the device,
// else a pool copy of device name and remainder.
static BOOLEAN IosFdNameSet(IOS_FD_ENTRY *Entry, IOS_DEV_HDR *Device, CONST CHAR8 *Remainder) {
  if (Remainder[0] == '\0') {
    Entry->szName = Device->szName;
    return TRUE;
  }
  UINTN DeviceLength = AsciiStrLen(Device->szName);
  UINTN RestLength = AsciiStrLen(Remainder);
  VOID *Copy = NULL;
  if (EFI_ERROR(gBS->AllocatePool(EfiBootServicesData, DeviceLength + RestLength + 1, &Copy))) return FALSE;
  InternalCopyMem(Copy, Device->szName, DeviceLength);
  InternalCopyMem((CHAR8 *)Copy + DeviceLength, Remainder, RestLength + 1);
  Entry->szName = (CHAR8 *)Copy;
  return TRUE;
}

static INTN IosDriverOpen(IOS_DEV_HDR *Device, CHAR8 *Name, INT32 Flags, INT32 Mode, BOOLEAN Create) {
  CONST IOS_DRIVER_FUNCS *Funcs = IosDriverOf(Device);
  if (Create) return Funcs->pfnCreate == NULL ? 0 : Funcs->pfnCreate(Device, Name, Flags);
  return Funcs->pfnOpen == NULL ? 0 : Funcs->pfnOpen(Device, Name, Flags, Mode);
}

// A link target replaces the remainder: it continues on the device it
// names, or on the current device when it names none.
static BOOLEAN IosLinkFollow(IOS_DEV_HDR **Device, CHAR8 *Name) {
  CONST CHAR8 *Rest = NULL;
  if (IosDevFind(Name, &Rest) == NULL) return FALSE;
  IOS_DEV_HDR *Named = IosDevMatch(Name);
  if (Named == NULL) return TRUE;
  UINTN Skip = AsciiStrLen(Named->szName);
  InternalCopyMem(Name, Name + Skip, AsciiStrLen(Name + Skip) + 1);
  *Device = Named;
  return TRUE;
}

static INT32 IosOpenOrCreate(CONST CHAR8 *Path, INT32 Flags, INT32 Mode, BOOLEAN Create) {
  CHAR8 Name[IOS_PATH_MAX];
  IOS_DEV_HDR *Device = NULL;
  if (Path == NULL || Path[0] == '\0') {
    IosPrintErr("s_ioLib: no filename!\n");
    return -1;
  }
  if (AsciiStrCmp(Path, ".") == 0) Path++;
  if (IosFullFileNameGet(Path, &Device, Name) != 0) return -1;
  INT32 Descriptor = IosFdAlloc();
  if (Descriptor < 0) return -1;

  INTN Value = IosDriverOpen(Device, Name, Flags, Mode, Create);
  for (INT32 Links = 0; Value == IOS_FOLLOW_LINK; Links++) {
    if (Links == IOS_MAX_LINKS) {
      IosPrintErr("Too many levels of symbolic links\n");
      IosFdFree(Descriptor);
      return -1;
    }
    if (!IosLinkFollow(&Device, Name)) {
      IosFdFree(Descriptor);
      return -1;
    }
    Value = IosDriverOpen(Device, Name, Flags, Mode, Create);
  }
  if (Value == -1) {
    IosFdFree(Descriptor);
    return -1;
  }

  IOS_FD_ENTRY *Entry = &g_stIos.astFds[Descriptor - IOS_FIRST_FD];
  Entry->pDevHdr = Device;
  Entry->lValue = Value;
  if (!IosFdNameSet(Entry, Device, Name)) {
    // Give back what the driver took. Only a file this call created is
    // deleted: an existing file that merely opened keeps its content.
    CONST IOS_DRIVER_FUNCS *Funcs = IosDriverOf(Device);
    if (Funcs->pfnClose != NULL) Funcs->pfnClose(Value);
    if (Create && Funcs->pfnDelete != NULL) Funcs->pfnDelete(Device, Name);
    IosFdFree(Descriptor);
    return -1;
  }
  if (g_stIos.pfnOpenHook != NULL) g_stIos.pfnOpenHook(Descriptor);
  return Descriptor;
}

INT32 IosOpen(CONST CHAR8 *Path, INT32 Flags, INT32 Mode) { return IosOpenOrCreate(Path, Flags, Mode, FALSE); }

INT32 IosCreat(CONST CHAR8 *Path, INT32 Flags) { return IosOpenOrCreate(Path, Flags, 0, TRUE); }

INT32 IosClose(INT32 Descriptor) {
  IOS_FD_ENTRY *Entry = IosFdValidate(Descriptor);
  if (Entry == NULL) return -1;
  CONST IOS_DRIVER_FUNCS *Funcs = IosDriverOf(Entry->pDevHdr);
  INT32 Result = Funcs->pfnClose == NULL ? 0 : Funcs->pfnClose(Entry->lValue);
  IosFdFree(Descriptor);
  return Result;
}

INT32 IosRead(INT32 Descriptor, VOID *Buffer, UINT32 Length) {
  IOS_FD_ENTRY *Entry = IosFdValidate(Descriptor);
  if (Entry == NULL) return -1;
  CONST IOS_DRIVER_FUNCS *Funcs = IosDriverOf(Entry->pDevHdr);
  if (Funcs->pfnRead == NULL) {
    g_stIos.lDriverErrno = IOS_DRV_ERR_NOT_SUPPORTED;
    return -1;
  }
  return Funcs->pfnRead(Entry->lValue, Buffer, Length);
}

INT32 IosWrite(INT32 Descriptor, CONST VOID *Buffer, UINT32 Length) {
  IOS_FD_ENTRY *Entry = IosFdValidate(Descriptor);
  if (Entry == NULL) return -1;
  CONST IOS_DRIVER_FUNCS *Funcs = IosDriverOf(Entry->pDevHdr);
  if (Funcs->pfnWrite == NULL) {
    g_stIos.lDriverErrno = IOS_DRV_ERR_NOT_SUPPORTED;
    return -1;
  }
  return Funcs->pfnWrite(Entry->lValue, Buffer, Length);
}

INT32 IosIoctl(INT32 Descriptor, INT32 Function, INTN Argument) {
  IOS_FD_ENTRY *Entry = IosFdValidate(Descriptor);
  if (Entry == NULL) return -1;
  if (Function == IOS_FIOGETNAME) {
    CHAR8 *Name = (CHAR8 *)Argument;
    if (Name == NULL) return -1;
    Name[0] = '\0';
    IosPathAppend(Name, Entry->szName, AsciiStrLen(Entry->szName));
    return 0;
  }
  CONST IOS_DRIVER_FUNCS *Funcs = IosDriverOf(Entry->pDevHdr);
  if (Funcs->pfnIoctl != NULL) return Funcs->pfnIoctl(Entry->lValue, Function, Argument);
  if (Function == IOS_FIONREAD && Argument != 0) {
    *(INT32 *)Argument = 0;
    return 0;
  }
  IosPrintErr("S_ioLib_UNKNOWN_REQUEST\n");
  return -1;
}

INT32 IosLseek(INT32 Descriptor, INT32 Offset, INT32 Whence) {
  INT64 Position;
  if (Whence == FS_SEEK_SET) {
    Position = Offset;
  } else if (Whence == FS_SEEK_CUR || Whence == FS_SEEK_END) {
    INT32 Current = IosIoctl(Descriptor, IOS_FIOWHERE, 0);
    if (Current == -1) return -1;
    INT32 Available = 0;
    if (Whence == FS_SEEK_END && IosIoctl(Descriptor, IOS_FIONREAD, (INTN)&Available) == -1) return -1;
    Position = (INT64)Current + Available + Offset;
  } else {
    return -1;
  }
  // A position the result cannot carry is refused, not wrapped.
  if (Position < 0 || Position > 0x7FFFFFFF) return -1;
  if (IosIoctl(Descriptor, IOS_FIOSEEK, (INTN)Position) != 0) return -1;
  return (INT32)Position;
}

INT32 IosRemove(CONST CHAR8 *Path) {
  CHAR8 Name[IOS_PATH_MAX];
  IOS_DEV_HDR *Device = NULL;
  if (Path == NULL || Path[0] == '\0') {
    g_stIos.lErrno = IOS_ERR_NO_FILENAME;
    return -1;
  }
  if (IosFullFileNameGet(Path, &Device, Name) != 0) return -1;
  // A driver without a delete operation cannot remove anything.
  CONST IOS_DRIVER_FUNCS *Funcs = IosDriverOf(Device);
  if (Funcs->pfnDelete == NULL) {
    g_stIos.lDriverErrno = IOS_DRV_ERR_NOT_SUPPORTED;
    return -1;
  }
  return Funcs->pfnDelete(Device, Name);
}
