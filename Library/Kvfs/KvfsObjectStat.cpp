// Stat of an open object: the object header and size, and the fourteen
// status words (ORed into the caller's zeroed record).
#include "Kvfs/KvfsObject.h"

#include "Kvfs/KvfsPageCache.h"

enum {
  kStatDevice = 0,
  kStatMode = 2,
  kStatLinks = 3,
  kStatSize = 7,
  kStatBlockSize = 8,
  kStatBlocks = 9,
  kStatAttributes = 10,
  kStatAccess = 11,
  kStatModify = 12,
  kStatChange = 13,
};

#define KVFS_STAT_MODE_FILE 0x8000
#define KVFS_STAT_MODE_DIR 0x4000
#define KVFS_STAT_PERMISSIONS 0x1FF

INT32 kvfs_statGet(INT32 HandleNum, UINT8 *Record, UINT32 *Stat) {
  KvfsHandle *handle = kvfs_GetHandle(HandleNum);
  if (handle == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_statGet]:can't get handle by index 0x%x ?\n", HandleNum, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_BAD_HANDLE;
    return KVFS_ERR_NOT_FOUND;
  }
  KvfsObject *obj = handle->pObject;
  if (Record == NULL || Stat == NULL || obj == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_statGet]:para error\n", 1, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_HANDLE_NO_OBJECT;
    return KVFS_ERR_NOT_FOUND;
  }
  if (kvfs_ObjectIsCorrupt(obj)) {
    g_iKvfsErrNo = KVFS_ENO_CORRUPT;
    return -1;
  }
  KVFS_DEVICE *dev = obj->pDev;
  kvfs_FlushAllPageBuf(dev, 0);
  UINT32 pds = dev->ulPageDataLen;
  Stat[kStatDevice] = dev->usDevNum;
  Stat[kStatLinks] = 1;
  Stat[kStatBlockSize] = pds;
  if (obj->pNode == NULL) {  // the root has no header
    Stat[kStatMode] |= KVFS_STAT_MODE_DIR;
    Stat[kStatAttributes] |= KVFS_ATTR_DIR;
    Stat[kStatSize] = 0;
    Stat[kStatBlocks] = 0;
    return KVFS_OK;
  }
  if (kvfs_GetObjectInfo(dev, obj->pNode, obj->ulType, Record) != KVFS_OK) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_statGet]:get object info error\n", 1, 2, 3, 4);
    return KVFS_ERR_NO_INFO;
  }
  BOOLEAN dir = obj->ulType == KVFS_TYPE_DIR;
  UINT32 size = KvfsGet32(Record + KVFS_OBJECT_HEADER_BYTES);
  Stat[kStatMode] |= (dir ? KVFS_STAT_MODE_DIR : KVFS_STAT_MODE_FILE) | KVFS_STAT_PERMISSIONS;
  Stat[kStatSize] = size;
  Stat[kStatBlocks] = size / pds + (size % pds ? 1 : 0);
  Stat[kStatAttributes] |= (dir ? KVFS_ATTR_DIR : 0) | KvfsGet32(Record + KVFS_HDR_OFF_ATTR);
  Stat[kStatAccess] = KvfsGet32(Record + KVFS_HDR_OFF_ATIME);
  Stat[kStatModify] = KvfsGet32(Record + KVFS_HDR_OFF_MTIME);
  Stat[kStatChange] = KvfsGet32(Record + KVFS_HDR_OFF_CTIME);
  return KVFS_OK;
}
