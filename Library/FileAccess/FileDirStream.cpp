// Directory streams and stat of the file API: always through the tffs
// driver protocol, whatever the path.
#include <Library/BaseLib.h>
#include <Library/DebugLib.h>
#include <Library/IoSystemLib.h>
#include <Library/UefiBootServicesTableLib.h>

#include "FileAccess/FileApi.h"
#include "FileAccess/FileProtocols.h"

#define FILE_STAT_TYPE_DIR 4

INT32 FileStatFd(INT32 Descriptor, StatRecord *Stat) {
  TFFS_DRIVER_PROTOCOL *Tffs = FileLocateTffs();
  if (Tffs == NULL) {
    DebugPrint(DEBUG_ERROR, "[%dL]:LocateProtocol:gKvfsDriverProtocolGuid fail!\n", __LINE__);
    return -1;
  }
  return Tffs->Ioctl(Tffs, Descriptor, IOS_FIOFSTATGET, (INTN)Stat);
}

INT32 FileStat(CONST CHAR8 *Path, StatRecord *Stat) {
  TFFS_DRIVER_PROTOCOL *Tffs = FileLocateTffs();
  if (Tffs == NULL) {
    DebugPrint(DEBUG_ERROR, "[%dL]:LocateProtocol:gKvfsDriverProtocolGuid fail!\n", __LINE__);
    return -1;
  }
  INT32 Descriptor = Tffs->Open(Tffs, Path, FS_O_RDWR, 0);
  if (Descriptor == -1) {
    DebugPrint(DEBUG_ERROR, "[%dL]:open tffs fail!\n", __LINE__);
    return -1;
  }
  INT32 Result = Tffs->Ioctl(Tffs, Descriptor, IOS_FIOFSTATGET, (INTN)Stat);
  if (Result < 0) {
    DebugPrint(DEBUG_ERROR, "[%dL]:get file status info failed!retVal:%x\n", __LINE__, Result);
    Tffs->Close(Tffs, Descriptor);
    return Result;
  }
  Result = Tffs->Close(Tffs, Descriptor);
  if (Result < 0) DebugPrint(DEBUG_ERROR, "[%dL]:close tffs File failed!retVal:%x\n", __LINE__, Result);
  return Result;
}

INT32 DirOpen(CONST CHAR8 *Path, DirStream **Stream) {
  DebugPrint(DEBUG_ERROR, "dirName %a\n", Path);
  TFFS_DRIVER_PROTOCOL *Tffs = FileLocateTffs();
  if (Tffs == NULL) {
    DebugPrint(DEBUG_ERROR, "LocateProtocol:gKvfsDriverProtocolGuid fail!\n");
    return -1;
  }
  if (Stream == NULL) return -1;
  INT32 Descriptor = Tffs->Open(Tffs, Path, FS_O_RDWR, 0);
  if (Descriptor == -1) return -1;
  StatRecord Stat;
  InternalSetMem(&Stat, sizeof(Stat), 0);
  VOID *Allocation = NULL;
  if (FileStatFd(Descriptor, &Stat) < 0 || ((Stat.ulMode >> 12) & 0xFF) != FILE_STAT_TYPE_DIR ||
      EFI_ERROR(gBS->AllocatePool(EfiBootServicesData, sizeof(DirStream), &Allocation))) {
    Tffs->Close(Tffs, Descriptor);
    return -1;
  }
  DirStream *Opened = (DirStream *)Allocation;
  InternalSetMem(Opened, sizeof(*Opened), 0);
  Opened->lDescriptor = Descriptor;
  Opened->lCookie = 0;
  *Stream = Opened;
  return 0;
}

INT32 DirRead(DirStream *Stream, CHAR8 *Name) {
  if (Name == NULL || Stream == NULL) {
    DebugPrint(DEBUG_ERROR, "input parameter!\n");
    return -1;
  }
  TFFS_DRIVER_PROTOCOL *Tffs = FileLocateTffs();
  if (Tffs == NULL) {
    DebugPrint(DEBUG_ERROR, "LocateProtocol:gKvfsDriverProtocolGuid fail!\n");
    return -1;
  }
  if (Tffs->Ioctl(Tffs, Stream->lDescriptor, IOS_FIOREADDIR, (INTN)Stream) != 0) return -1;
  InternalCopyMem(Name, Stream->szName, DIR_STREAM_NAME_SIZE);
  return 0;
}

INT32 DirClose(DirStream *Stream) {
  TFFS_DRIVER_PROTOCOL *Tffs = FileLocateTffs();
  if (Tffs == NULL) {
    DebugPrint(DEBUG_ERROR, "[%dL]:LocateProtocol:gKvfsDriverProtocolGuid fail!\n", __LINE__);
    return -1;
  }
  if (Stream == NULL) return -1;
  INT32 Result = Tffs->Close(Tffs, Stream->lDescriptor);
  if (Result != -1) gBS->FreePool(Stream);
  return Result;
}
