// The kvfs driver protocol: path entries go through kvfsOpen (device
// lookup, flag and mode translation), descriptor entries straight to the
// handle operations. Path and handle entries refuse to run once kvfs is
// closed for shutdown; the listing and stat entries do not look.
#include "Kvfs/KvfsDriverProtocol.h"

#include <Library/BaseLib.h>
#include <Library/DebugLib.h>
#include <Library/UefiBootServicesTableLib.h>

#include "Kvfs/KvfsMount.h"
#include "Kvfs/KvfsObject.h"

#define KVFS_CREATE_MODE 0x600
#define KVFS_DEFAULT_DIR_MODE 0x41E8
#define KVFS_FILE_CREATE_MODE 0x100081A0
#define KVFS_DIR_CREATE_MODE (US_CREATONLY | KVFS_DEFAULT_DIR_MODE)

INT32 kvfsDevicePathPrase(CONST CHAR8 *Path, CHAR8 *Buffer) {
  KVFS_DEVICE *table = kvfs_GetDeviceTable();
  for (UINT32 slot = 0; slot < KVFS_MAX_DEVICES; slot++) {
    KVFS_DEVICE *dev = &table[slot];
    UINTN nameLength = AsciiStrLen(dev->szName);
    if (!dev->ucInUse || nameLength == 0) continue;
    if (AsciiStrnCmp(Path, dev->szName, nameLength) != 0) continue;
    UINTN length = AsciiStrLen(Path);
    if (length >= KVFS_OPEN_PATH_MAX) length = KVFS_OPEN_PATH_MAX - 1;
    kvfs_MemCpy(Buffer, Path, length);
    Buffer[length] = 0;
    if (Buffer[nameLength - 1] != '/') Buffer[nameLength - 1] = '/';
    return (INT32)slot;
  }
  return -1;
}

static UINT32 KvfsFlags(INT32 Flags, INT32 Mode) {
  UINT32 flags = 0;
  if ((((UINT32)Mode >> 12) & 0xFF) == 4 || (Mode & FS_MODE_DIR)) flags |= KVFS_O_DIR;
  if (Flags & FS_O_CREAT) flags |= KVFS_O_CREAT;
  if (Flags & FS_O_RDWR) flags |= KVFS_O_RDWR;
  if (Flags & FS_O_WRONLY) flags |= KVFS_O_WRONLY;
  if (Flags & FS_O_TRUNC) flags |= KVFS_O_TRUNC;
  return flags;
}

INT32 kvfsOpen(CONST CHAR8 *Path, INT32 Flags, INT32 Mode) {
  if (g_ulKvfsSafeClose) {
    DebugPrint(DEBUG_ERROR, "ERROR: [kvfsOpen] g_ulKvfsSafeClose:%d\n", g_ulKvfsSafeClose);
    return -1;
  }
  if (Path == NULL) {
    g_iKvfsErrNo = KVFS_ENO_INVALID_PARAM;
    DebugPrint(DEBUG_ERROR, "ERROR: [kvfsOpen] S_dosFsLib_INVALID_PARAMETER: pPath==NULL\n");
    return -1;
  }
  if (AsciiStrLen(Path) >= KVFS_OPEN_PATH_MAX) {
    g_iKvfsErrNo = KVFS_ENO_NAME_TOO_LONG;
    DebugPrint(DEBUG_ERROR, "ERROR: [kvfsOpen] S_dosFsLib_NAME_TOO_LONG\n");
    return -1;
  }
  CHAR8 buffer[KVFS_OPEN_PATH_MAX];
  INT32 devNum = kvfsDevicePathPrase(Path, buffer);
  if (devNum < 0) {
    DebugPrint(DEBUG_ERROR, "ERROR: [kvfsOpen] kvfsDevicePathPrase failed!return:%d\n", -1);
    return -1;
  }
  UINT32 createMode = ((UINT32)Mode & US_CREATONLY) ? (US_CREATONLY | KVFS_CREATE_MODE) : KVFS_CREATE_MODE;
  return kvfs_open(buffer, KvfsFlags(Flags, Mode), createMode, (UINT32)devNum);
}

// Create and Mkdir: a probe open first; an existing object is an error.
static INT32 CreateObject(KVFS_DRIVER_PROTOCOL *This, CONST CHAR8 *Path, INT32 Flags, INT32 ProbeMode,
                          INT32 CreateMode) {
  DebugPrint(DEBUG_ERROR, "(US_CREATONLY|DFTDIRMODE) = 0x%x!\n", KVFS_DIR_CREATE_MODE);
  INT32 fd = kvfsOpen(Path, Flags, ProbeMode);
  if (fd != -1) {
    This->Close(This, fd);
    DebugPrint(DEBUG_ERROR, "The file %a already exists in the KVFS, Create file \"%a\" failed!\n", Path, Path);
    return -1;
  }
  if (g_ulKvfsSafeClose) return -1;
  // Only an access mode may be asked (read-only, write-only, read-write).
  if ((UINT32)Flags >= 3) {
    g_iKvfsErrNo = KVFS_ENO_BAD_FLAGS;
    return -1;
  }
  return kvfsOpen(Path, Flags | FS_O_CREAT | FS_O_TRUNC, CreateMode);
}

static INT32 EFIAPI KvfsMkdir(KVFS_DRIVER_PROTOCOL *This, CONST CHAR8 *Path, INT32 Flags, INT32 Mode) {
  (VOID)Mode;
  return CreateObject(This, Path, Flags, FS_MODE_DIR, (INT32)KVFS_DIR_CREATE_MODE);
}

static INT32 EFIAPI KvfsCreate(KVFS_DRIVER_PROTOCOL *This, CONST CHAR8 *Path, INT32 Flags, INT32 Mode) {
  (VOID)Mode;
  return CreateObject(This, Path, Flags, 0, (INT32)KVFS_FILE_CREATE_MODE);
}

static INT32 EFIAPI KvfsOpenEntry(KVFS_DRIVER_PROTOCOL *This, CONST CHAR8 *Path, INT32 Flags, INT32 Mode) {
  (VOID)This;
  return kvfsOpen(Path, Flags, Mode);
}

static INT32 EFIAPI KvfsWrite(KVFS_DRIVER_PROTOCOL *This, INT32 Descriptor, CONST VOID *Buffer, UINT32 Length) {
  (VOID)This;
  return g_ulKvfsSafeClose ? -1 : kvfs_write(Descriptor, Buffer, Length);
}

static INT32 EFIAPI KvfsRead(KVFS_DRIVER_PROTOCOL *This, INT32 Descriptor, VOID *Buffer, UINT32 Length) {
  (VOID)This;
  return g_ulKvfsSafeClose ? -1 : kvfs_read(Descriptor, Buffer, Length);
}

static INT32 EFIAPI KvfsReadDirAll(KVFS_DRIVER_PROTOCOL *This, INT32 Descriptor, CHAR8 *NameBuffer, INT32 Continue,
                                   FileInfoRecord **Entries, UINT32 *Count) {
  (VOID)This;
  return kvfs_ReadDirAll(Descriptor, NameBuffer, Continue, (UINT8 **)Entries, Count);
}

static INT32 EFIAPI KvfsReadDir(KVFS_DRIVER_PROTOCOL *This, INT32 Descriptor, CHAR8 *NameBuffer, INT32 Continue,
                                FileInfoRecord *Info) {
  (VOID)This;
  return kvfs_ReadDir(Descriptor, NameBuffer, Continue, (UINT8 *)Info);
}

static INT32 EFIAPI KvfsFstat(KVFS_DRIVER_PROTOCOL *This, INT32 Descriptor, FileInfoRecord *Info, StatRecord *Stat) {
  (VOID)This;
  return kvfs_statGet(Descriptor, (UINT8 *)Info, (UINT32 *)Stat);
}

static INT32 EFIAPI KvfsSeek(KVFS_DRIVER_PROTOCOL *This, INT32 Descriptor, INT32 Offset, INT32 Whence) {
  (VOID)This;
  return g_ulKvfsSafeClose ? -1 : kvfs_seek(Descriptor, Offset, Whence);
}

static INT32 EFIAPI KvfsClose(KVFS_DRIVER_PROTOCOL *This, INT32 Descriptor) {
  (VOID)This;
  return g_ulKvfsSafeClose ? -1 : kvfs_close(Descriptor);
}

static INT32 EFIAPI KvfsDelete(KVFS_DRIVER_PROTOCOL *This, CONST CHAR8 *Path) {
  (VOID)This;
  if (g_ulKvfsSafeClose || Path == NULL || AsciiStrLen(Path) >= KVFS_OPEN_PATH_MAX) return -1;
  CHAR8 buffer[KVFS_OPEN_PATH_MAX];
  INT32 devNum = kvfsDevicePathPrase(Path, buffer);
  if (devNum < 0) return -1;
  return kvfs_delete(buffer, (UINT32)devNum) == KVFS_OK ? 0 : -1;
}

static KVFS_DRIVER_PROTOCOL s_stKvfsDriver = {
    KvfsMkdir, KvfsCreate,  KvfsOpenEntry, KvfsWrite, KvfsRead,   KvfsReadDirAll,
    KvfsReadDir, KvfsFstat, KvfsSeek,      KvfsClose, KvfsDelete,
};
static EFI_HANDLE s_hKvfsDriver = NULL;

KVFS_DRIVER_PROTOCOL *KvfsDriverProtocolInstance(VOID) { return &s_stKvfsDriver; }

static KVFS_DEVICE *MountedCfcard(VOID) {
  KVFS_DEVICE *table = kvfs_GetDeviceTable();
  for (UINT32 slot = 0; slot < KVFS_MAX_DEVICES; slot++) {
    if (table[slot].ucInUse && table[slot].ucMounted && AsciiStrCmp(table[slot].szName, KVFS_CFCARD_NAME) == 0) {
      return &table[slot];
    }
  }
  return NULL;
}

EFI_STATUS KvfsStartCfcard(VOID) {
  VOID *installed = NULL;
  if (gBS->LocateProtocol(&gKvfsDriverProtocolGuid, NULL, &installed) == EFI_SUCCESS) return EFI_ALREADY_STARTED;
  kvfs_ObjectsInit();
  if (MountedCfcard() == NULL) {
    kvfs_ForgetObjects();
    KVFS_DEVICE *dev = NULL;
    KVFS_STATUS status = kvfs_MountCfcard(NULL, &dev);
    if (status != KVFS_OK) {
      DebugPrint(DEBUG_ERROR, "[KvfsStartCfcard]:mount cfcard: failed, status 0x%x\n", status);
      return status == KVFS_ERR_NOT_FOUND ? EFI_NOT_FOUND : EFI_DEVICE_ERROR;
    }
  }
  s_hKvfsDriver = NULL;
  EFI_STATUS status =
      gBS->InstallProtocolInterface(&s_hKvfsDriver, &gKvfsDriverProtocolGuid, EFI_NATIVE_INTERFACE, &s_stKvfsDriver);
  if (EFI_ERROR(status)) DebugPrint(DEBUG_ERROR, "[KvfsStartCfcard]:install protocol Status=%r\n", status);
  return status;
}

EFI_STATUS KvfsStopCfcard(VOID) {
  EFI_STATUS status = EFI_SUCCESS;
  if (s_hKvfsDriver != NULL) {
    status = gBS->UninstallProtocolInterface(s_hKvfsDriver, &gKvfsDriverProtocolGuid, &s_stKvfsDriver);
    s_hKvfsDriver = NULL;
  }
  KVFS_DEVICE *dev = MountedCfcard();
  if (dev != NULL && kvfs_UnmountObjects(dev) != KVFS_OK && !EFI_ERROR(status)) status = EFI_DEVICE_ERROR;
  return status;
}
