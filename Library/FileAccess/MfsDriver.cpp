// The "mfs:" RAM file system. Files sit in a fixed node table whose slots
// never move, so a directory stream's cookie (the next slot to look at)
// stays valid while entries are deleted. A file that is open cannot be
// deleted.
#include "FileAccess/MfsDriver.h"

#include <Library/BaseLib.h>
#include <Library/UefiBootServicesTableLib.h>
#include <Protocol/KvfsDriver.h>
#include <Protocol/TffsDriver.h>

#include "FileAccess/FsClock.h"

#define MFS_ROOT_NODE (-1)
#define MFS_MIN_CAPACITY 512
#define MFS_MAX_SIZE 0x7FFFFFFFu
#define MFS_BLOCK_SIZE 512
#define MFS_ALL_PERMISSIONS 0x1FF

typedef struct {
  BOOLEAN bInUse;
  CHAR8 szName[MFS_NAME_SIZE];
  UINT8 *pucData;
  UINT32 ulSize;
  UINT32 ulCapacity;
  UINT32 ulModifyTime;
  UINT32 ulOpenCount;
} MFS_NODE;

typedef struct {
  BOOLEAN bInUse;
  INT32 lNode;  // MFS_ROOT_NODE for the directory
  INT32 lFlags;
  UINT32 ulPosition;
} MFS_HANDLE;

typedef struct {
  IOS_DEV_HDR stHdr;
  MFS_NODE astNodes[MFS_MAX_FILES];
  MFS_HANDLE astHandles[MFS_MAX_OPEN];
} MFS_DEVICE;

static MFS_DEVICE g_stMfs;

// Checks a device-relative name: leading slashes are dropped; the root is
// "", "." or "/"; a file name holds no further separator and is not "..".
// Returns the bare name, or NULL for a name the flat directory cannot hold.
static CONST CHAR8 *MfsNameCheck(CONST CHAR8 *Name, BOOLEAN *IsRoot) {
  if (Name == NULL) return NULL;
  while (*Name == '/' || *Name == '\\') Name++;
  *IsRoot = Name[0] == '\0' || AsciiStrCmp(Name, ".") == 0;
  if (*IsRoot) return Name;
  UINTN Length = AsciiStrnLen(Name, MFS_NAME_SIZE);
  if (Length >= MFS_NAME_SIZE || AsciiStrCmp(Name, "..") == 0) return NULL;
  for (UINTN Index = 0; Index < Length; Index++) {
    if (Name[Index] == '/' || Name[Index] == '\\' || Name[Index] == ':') return NULL;
  }
  return Name;
}

static INT32 MfsNodeFind(CONST CHAR8 *Name) {
  for (INT32 Index = 0; Index < MFS_MAX_FILES; Index++) {
    if (g_stMfs.astNodes[Index].bInUse && AsciiStrCmp(g_stMfs.astNodes[Index].szName, Name) == 0) return Index;
  }
  return -1;
}

static INT32 MfsNodeNew(CONST CHAR8 *Name) {
  for (INT32 Index = 0; Index < MFS_MAX_FILES; Index++) {
    MFS_NODE *Node = &g_stMfs.astNodes[Index];
    if (Node->bInUse) continue;
    InternalSetMem(Node, sizeof(*Node), 0);
    Node->bInUse = TRUE;
    InternalCopyMem(Node->szName, Name, AsciiStrLen(Name) + 1);
    Node->ulModifyTime = FsClockSeconds();
    return Index;
  }
  return -1;
}

static INTN MfsHandleNew(INT32 NodeIndex, INT32 Flags) {
  for (INT32 Index = 0; Index < MFS_MAX_OPEN; Index++) {
    MFS_HANDLE *Handle = &g_stMfs.astHandles[Index];
    if (Handle->bInUse) continue;
    Handle->bInUse = TRUE;
    Handle->lNode = NodeIndex;
    Handle->lFlags = Flags;
    Handle->ulPosition = 0;
    if (NodeIndex != MFS_ROOT_NODE) g_stMfs.astNodes[NodeIndex].ulOpenCount++;
    return Index + 1;  // never -1 or the link answer
  }
  return -1;
}

static MFS_HANDLE *MfsHandleOf(INTN Value) {
  if (Value < 1 || Value > MFS_MAX_OPEN) return NULL;
  MFS_HANDLE *Handle = &g_stMfs.astHandles[Value - 1];
  return Handle->bInUse ? Handle : NULL;
}

static MFS_NODE *MfsFileOf(MFS_HANDLE *Handle) {
  if (Handle == NULL || Handle->lNode == MFS_ROOT_NODE) return NULL;
  return &g_stMfs.astNodes[Handle->lNode];
}

static VOID MfsTruncate(MFS_NODE *Node) {
  Node->ulSize = 0;
  Node->ulModifyTime = FsClockSeconds();
}

static INTN MfsOpenFile(CONST CHAR8 *RawName, INT32 Flags, INT32 Mode, BOOLEAN Create) {
  BOOLEAN IsRoot = FALSE;
  CONST CHAR8 *Name = MfsNameCheck(RawName, &IsRoot);
  if (Name == NULL) return -1;
  if (IsRoot) return Create ? -1 : MfsHandleNew(MFS_ROOT_NODE, Flags);
  INT32 NodeIndex = MfsNodeFind(Name);
  if (NodeIndex < 0) {
    // Only files can be made here; the directory is flat.
    if (!Create || (Mode & FS_MODE_DIR) != 0) return -1;
    NodeIndex = MfsNodeNew(Name);
    if (NodeIndex < 0) return -1;
  } else if ((Flags & FS_O_TRUNC) != 0) {
    MfsTruncate(&g_stMfs.astNodes[NodeIndex]);
  }
  return MfsHandleNew(NodeIndex, Flags);
}

static INTN MfsCreate(IOS_DEV_HDR *Device, CHAR8 *Name, INT32 Flags) {
  return MfsOpenFile(Name, Flags | FS_O_TRUNC, 0, TRUE);
}

static INTN MfsOpen(IOS_DEV_HDR *Device, CHAR8 *Name, INT32 Flags, INT32 Mode) {
  return MfsOpenFile(Name, Flags, Mode, (Flags & FS_O_CREAT) != 0);
}

static INT32 MfsDelete(IOS_DEV_HDR *Device, CHAR8 *RawName) {
  BOOLEAN IsRoot = FALSE;
  CONST CHAR8 *Name = MfsNameCheck(RawName, &IsRoot);
  if (Name == NULL || IsRoot) return -1;
  INT32 NodeIndex = MfsNodeFind(Name);
  if (NodeIndex < 0) return -1;
  MFS_NODE *Node = &g_stMfs.astNodes[NodeIndex];
  if (Node->ulOpenCount != 0) return -1;
  if (Node->pucData != NULL) gBS->FreePool(Node->pucData);
  InternalSetMem(Node, sizeof(*Node), 0);
  return 0;
}

static INT32 MfsClose(INTN Value) {
  MFS_HANDLE *Handle = MfsHandleOf(Value);
  if (Handle == NULL) return -1;
  MFS_NODE *Node = MfsFileOf(Handle);
  if (Node != NULL) Node->ulOpenCount--;
  InternalSetMem(Handle, sizeof(*Handle), 0);
  return 0;
}

static INT32 MfsRead(INTN Value, VOID *Buffer, UINT32 Length) {
  MFS_HANDLE *Handle = MfsHandleOf(Value);
  MFS_NODE *Node = MfsFileOf(Handle);
  if (Node == NULL || Buffer == NULL || (Handle->lFlags & 3) == FS_O_WRONLY) return -1;
  if (Handle->ulPosition >= Node->ulSize) return 0;
  UINT32 Count = Node->ulSize - Handle->ulPosition;
  if (Count > Length) Count = Length;
  if (Count > MFS_MAX_SIZE) Count = MFS_MAX_SIZE;
  InternalCopyMem(Buffer, Node->pucData + Handle->ulPosition, Count);
  Handle->ulPosition += Count;
  return (INT32)Count;
}

// Makes room for Size bytes, the new part zero-filled.
static BOOLEAN MfsReserve(MFS_NODE *Node, UINT32 Size) {
  if (Size <= Node->ulCapacity) return TRUE;
  UINT32 Capacity = Node->ulCapacity < MFS_MIN_CAPACITY ? MFS_MIN_CAPACITY : Node->ulCapacity;
  while (Capacity < Size) Capacity = Capacity > MFS_MAX_SIZE / 2 ? Size : Capacity * 2;
  VOID *Data = NULL;
  if (EFI_ERROR(gBS->AllocatePool(EfiBootServicesData, Capacity, &Data))) return FALSE;
  InternalSetMem(Data, Capacity, 0);
  if (Node->pucData != NULL) {
    InternalCopyMem(Data, Node->pucData, Node->ulSize);
    gBS->FreePool(Node->pucData);
  }
  Node->pucData = (UINT8 *)Data;
  Node->ulCapacity = Capacity;
  return TRUE;
}

static INT32 MfsWrite(INTN Value, CONST VOID *Buffer, UINT32 Length) {
  MFS_HANDLE *Handle = MfsHandleOf(Value);
  MFS_NODE *Node = MfsFileOf(Handle);
  if (Node == NULL || Buffer == NULL || (Handle->lFlags & 3) == FS_O_RDONLY) return -1;
  if (Length > MFS_MAX_SIZE - Handle->ulPosition) return -1;
  UINT32 End = Handle->ulPosition + Length;
  if (!MfsReserve(Node, End)) return -1;
  // A gap left by a seek past the end reads as zeros.
  if (Handle->ulPosition > Node->ulSize) InternalSetMem(Node->pucData + Node->ulSize, Handle->ulPosition - Node->ulSize, 0);
  InternalCopyMem(Node->pucData + Handle->ulPosition, Buffer, Length);
  Handle->ulPosition = End;
  if (End > Node->ulSize) Node->ulSize = End;
  Node->ulModifyTime = FsClockSeconds();
  return (INT32)Length;
}

static INT32 MfsReadDir(MFS_HANDLE *Handle, DirStream *Stream) {
  if (Handle->lNode != MFS_ROOT_NODE || Stream == NULL || Stream->lCookie < 0) return -1;
  for (INT32 Index = Stream->lCookie; Index < MFS_MAX_FILES; Index++) {
    MFS_NODE *Node = &g_stMfs.astNodes[Index];
    if (!Node->bInUse) continue;
    InternalCopyMem(Stream->szName, Node->szName, AsciiStrLen(Node->szName) + 1);
    Stream->lCookie = Index + 1;
    return 0;
  }
  Stream->lCookie = MFS_MAX_FILES;
  return -1;
}

static INT32 MfsStat(MFS_HANDLE *Handle, StatRecord *Stat) {
  if (Stat == NULL) return -1;
  MFS_NODE *Node = MfsFileOf(Handle);
  InternalSetMem(Stat, sizeof(*Stat), 0);
  Stat->ulLinkCount = 1;
  Stat->ulBlockSize = MFS_BLOCK_SIZE;
  if (Node == NULL) {
    Stat->ulMode = FS_MODE_DIR | MFS_ALL_PERMISSIONS;
    return 0;
  }
  Stat->ulMode = FS_MODE_REG | MFS_ALL_PERMISSIONS;
  Stat->ulSize = Node->ulSize;
  Stat->ulBlockCount = (Node->ulSize + MFS_BLOCK_SIZE - 1) / MFS_BLOCK_SIZE;
  // The tffs stat record carries the modification time at offset 44; the
  // later time fields repeat it.
  Stat->ulAccessTime = Node->ulModifyTime;
  Stat->ulModifyTime = Node->ulModifyTime;
  Stat->ulChangeTime = Node->ulModifyTime;
  return 0;
}

static INT32 MfsIoctl(INTN Value, INT32 Function, INTN Argument) {
  MFS_HANDLE *Handle = MfsHandleOf(Value);
  if (Handle == NULL) return -1;
  MFS_NODE *Node = MfsFileOf(Handle);
  switch (Function) {
    case IOS_FIONREAD:
      if (Node == NULL || Argument == 0) return -1;
      *(INT32 *)Argument = Handle->ulPosition >= Node->ulSize ? 0 : (INT32)(Node->ulSize - Handle->ulPosition);
      return 0;
    case IOS_FIOSEEK:
      if (Node == NULL || Argument < 0 || (UINTN)Argument > MFS_MAX_SIZE) return -1;
      Handle->ulPosition = (UINT32)Argument;
      return 0;
    case IOS_FIOWHERE:
      return Node == NULL ? -1 : (INT32)Handle->ulPosition;
    case IOS_FIOREADDIR:
      return MfsReadDir(Handle, (DirStream *)Argument);
    case IOS_FIOFSTATGET:
      return MfsStat(Handle, (StatRecord *)Argument);
    default:
      return -1;
  }
}

static CONST IOS_DRIVER_FUNCS g_stMfsFuncs = {MfsCreate, MfsDelete, MfsOpen, MfsClose, MfsRead, MfsWrite, MfsIoctl};

CONST IOS_DRIVER_FUNCS *MfsDriverFuncs(VOID) { return &g_stMfsFuncs; }

INT32 MfsDevCreate(CONST CHAR8 *Name) {
  // A new power-up: what the tables held belonged to the last one.
  InternalSetMem(&g_stMfs, sizeof(g_stMfs), 0);
  INT32 DrvNum = IosDrvInstall(&g_stMfsFuncs);
  if (DrvNum < 0) return -1;
  return IosDevAdd(&g_stMfs.stHdr, Name, DrvNum);
}
