// Handle and open-object tables: 32 handles and 32 + 1 object records per
// device, kept outside the device record.
#include "Kvfs/KvfsObject.h"

#include "BoardDevices/RtcRead.h"
#include "Kvfs/KvfsBlockMg.h"
#include "Kvfs/KvfsMount.h"
#include "Kvfs/KvfsPageCache.h"

static KvfsHandle s_astHandles[KVFS_MAX_DEVICES][KVFS_HANDLES_PER_DEVICE];
static KvfsObject s_astObjects[KVFS_MAX_DEVICES][KVFS_OBJECTS_PER_DEVICE];

KvfsHandle *kvfs_HandleTable(UINT32 DevNum) { return DevNum < KVFS_MAX_DEVICES ? s_astHandles[DevNum] : NULL; }

KvfsObject *kvfs_ObjectTable(UINT32 DevNum) { return DevNum < KVFS_MAX_DEVICES ? s_astObjects[DevNum] : NULL; }

static BOOLEAN DeviceMounted(UINT32 DevNum) {
  KVFS_DEVICE *table = kvfs_GetDeviceTable();
  return DevNum < KVFS_MAX_DEVICES && table[DevNum].ucInUse && table[DevNum].ucMounted;
}

KvfsHandle *kvfs_GetHandle(INT32 HandleNum) {
  if (HandleNum < 0) return NULL;
  UINT32 devNum = (UINT32)HandleNum >> 16;
  UINT32 index = (UINT32)HandleNum & 0xFFFF;
  if (index >= KVFS_HANDLES_PER_DEVICE || !DeviceMounted(devNum)) return NULL;
  KvfsHandle *handle = &s_astHandles[devNum][index];
  return (handle->ulFlags & KVFS_HANDLE_IN_USE) ? handle : NULL;
}

static KvfsObject *TakeRecord(KVFS_DEVICE *Dev, UINT32 First, UINT32 Last) {
  if (Dev == NULL || Dev->usDevNum >= KVFS_MAX_DEVICES) return NULL;
  kvfs_DeviceLock(Dev);
  KvfsObject *found = NULL;
  for (UINT32 i = First; i < Last && found == NULL; i++) {
    KvfsObject *obj = &s_astObjects[Dev->usDevNum][i];
    if (obj->ucInUse) continue;
    kvfs_MemSet(obj, sizeof(*obj), 0);
    obj->ucInUse = 1;
    obj->ulObjectID = KVFS_NO_OBJECT_ID;
    obj->ulFatherID = KVFS_NO_OBJECT_ID;
    obj->pDev = kvfs_GetDevice(Dev->usDevNum);  // the record holds the device
    found = obj;
  }
  kvfs_DeviceUnLock(Dev);
  return found;
}

KvfsObject *kvfs_GetObject(KVFS_DEVICE *Dev) { return TakeRecord(Dev, 0, KVFS_OBJECTS_PER_DEVICE - 1); }

KvfsObject *kvfs_GetRemainObject(KVFS_DEVICE *Dev) {
  return TakeRecord(Dev, KVFS_OBJECTS_PER_DEVICE - 1, KVFS_OBJECTS_PER_DEVICE);
}

VOID kvfs_PutObject(KvfsObject *Object) {
  if (Object == NULL || !Object->ucInUse) return;
  KVFS_DEVICE *dev = Object->pDev;
  if (Object->pName != NULL) kvfs_Free(dev, Object->pName);
  kvfs_ReleaseDevice(dev);
  kvfs_MemSet(Object, sizeof(*Object), 0);
}

VOID kvfs_PutHandle(KvfsHandle *Handle) {
  if (Handle != NULL) kvfs_MemSet(Handle, sizeof(*Handle), 0);
}

UINT32 kvfs_ObjectsInUse(UINT32 DevNum) {
  UINT32 count = 0;
  for (UINT32 i = 0; DevNum < KVFS_MAX_DEVICES && i < KVFS_OBJECTS_PER_DEVICE; i++) {
    count += s_astObjects[DevNum][i].ucInUse ? 1 : 0;
  }
  return count;
}

UINT32 kvfs_HandlesInUse(UINT32 DevNum) {
  UINT32 count = 0;
  for (UINT32 i = 0; DevNum < KVFS_MAX_DEVICES && i < KVFS_HANDLES_PER_DEVICE; i++) {
    count += (s_astHandles[DevNum][i].ulFlags & KVFS_HANDLE_IN_USE) ? 1 : 0;
  }
  return count;
}

// An ID an open object holds must not be handed out again: a file being
// created, or one whose node recovery dropped, still answers to it.
static BOOLEAN OpenObjectUsesId(KVFS_DEVICE *Dev, UINT32 Id) {
  if (Dev == NULL || Dev->usDevNum >= KVFS_MAX_DEVICES) return FALSE;
  for (UINT32 i = 0; i < KVFS_OBJECTS_PER_DEVICE; i++) {
    KvfsObject *obj = &s_astObjects[Dev->usDevNum][i];
    if (obj->ucInUse && (obj->ulObjectID == Id || obj->ulFatherID == Id)) return TRUE;
  }
  return FALSE;
}

static KVFS_STATUS DirNameHook(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node, CONST UINT8 *Header, UINT32 Set) {
  (VOID)Set;
  if (Node == NULL || Header == NULL) return KVFS_ERR_PARAM;
  UINT32 length = KvfsGet32(Header + KVFS_HEADER_NAME_LEN_OFFSET);
  if (length > KVFS_NAME_MAX) length = KVFS_NAME_MAX + 1;  // refused below
  return kvfs_UpdateDirNameBuffer(Dev, Node, (CONST CHAR8 *)Header + KVFS_HEADER_NAME_OFFSET, length);
}

static BOOLEAN IsLeapYear(UINT32 Year) { return (Year % 4 == 0 && Year % 100 != 0) || Year % 400 == 0; }

UINT32 kvfs_Now(VOID) {
  static CONST UINT16 kDaysBeforeMonth[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  BOARD_RTC_TIME time;
  if (RtcReadTime(&time) != EFI_SUCCESS || time.ucMonth < 1 || time.ucMonth > 12 || time.ucDay < 1) return 0;
  UINT32 year = 2000 + time.ucYear;
  UINT32 days = 0;
  for (UINT32 y = 1970; y < year; y++) days += IsLeapYear(y) ? 366 : 365;
  days += kDaysBeforeMonth[time.ucMonth - 1] + (time.ucMonth > 2 && IsLeapYear(year) ? 1 : 0) + time.ucDay - 1;
  return ((days * 24 + time.ucHour) * 60 + time.ucMinute) * 60 + time.ucSecond;
}

VOID kvfs_ObjectsInit(VOID) {
  g_pfnKvfsOpenObjectUsesId = OpenObjectUsesId;
  g_pfnKvfsUpdateDirName = DirNameHook;
  if (g_pfnKvfsNow == NULL) g_pfnKvfsNow = kvfs_Now;
}

UINT32 kvfs_ObjectTime(VOID) { return g_pfnKvfsNow != NULL ? g_pfnKvfsNow() : 0; }

VOID kvfs_ForgetObjects(VOID) {
  kvfs_MemSet(s_astHandles, sizeof(s_astHandles), 0);
  kvfs_MemSet(s_astObjects, sizeof(s_astObjects), 0);
}

KVFS_STATUS kvfs_UnmountObjects(KVFS_DEVICE *Dev) {
  if (Dev == NULL || !Dev->ucInUse || Dev->usDevNum >= KVFS_MAX_DEVICES) return KVFS_ERR_PARAM;
  UINT32 devNum = Dev->usDevNum;
  for (UINT32 i = 0; i < KVFS_HANDLES_PER_DEVICE; i++) {
    if (s_astHandles[devNum][i].ulFlags & KVFS_HANDLE_IN_USE) kvfs_close((INT32)((devNum << 16) | i));
  }
  for (UINT32 i = 0; i < KVFS_OBJECTS_PER_DEVICE; i++) kvfs_PutObject(&s_astObjects[devNum][i]);
  // The flush may still rebuild a directory header from its name record.
  KVFS_STATUS flushed = Dev->ucMounted ? kvfs_FlushAllPageBuf(Dev, 0) : KVFS_OK;
  kvfs_FreeDirNameSlabs(Dev);
  KVFS_STATUS status = kvfs_Unmount(Dev);
  return flushed != KVFS_OK ? flushed : status;
}
