// Close: the modification time goes into the header when it changed, dirty
// pages reach flash, and the last handle releases the object record.
#include "Kvfs/KvfsObject.h"

#include "Kvfs/KvfsPageCache.h"

// Rewrites the header with the object's modification time when the stored
// one is older.
static KVFS_STATUS StoreModifyTime(KvfsObject *Object) {
  KVFS_DEVICE *dev = Object->pDev;
  UINT8 *header = (UINT8 *)kvfs_Malloc(dev, KVFS_OBJECT_HEADER_BYTES);
  if (header == NULL ||
      kvfs_pageRead(dev, header, KVFS_OBJECT_HEADER_BYTES, 0, Object->ulType, 0, Object->pNode) <
          KVFS_OBJECT_HEADER_BYTES) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_CloseObject]:can't get file header\n", 1, 2, 3, 4);
    kvfs_Free(dev, header);
    return KVFS_ERR_OBJ_HEADER;
  }
  KVFS_STATUS status = KVFS_OK;
  if (KvfsGet32(header + KVFS_HDR_OFF_MTIME) < Object->ulModifyTime) {
    KvfsPut32(header + KVFS_HDR_OFF_MTIME, Object->ulModifyTime);
    if (kvfs_pageWrite(dev, Object, header, KVFS_OBJECT_HEADER_BYTES, 0, 0, Object->ulType, Object->ulFatherID,
                       Object->ulObjectID, 1, 0) != KVFS_OBJECT_HEADER_BYTES) {
      status = KVFS_ERR_FLUSH;
    }
  }
  kvfs_Free(dev, header);
  return status;
}

KVFS_STATUS kvfs_CloseObject(KvfsObject *Object, BOOLEAN WriteIntent) {
  if (Object == NULL || Object->pDev == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_CloseObject]: close object error  ?\n", 1, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_HANDLE_NO_OBJECT;
    return KVFS_ERR_NOT_FOUND;
  }
  KVFS_DEVICE *dev = Object->pDev;
  BOOLEAN corrupt = kvfs_ObjectIsCorrupt(Object);
  if (corrupt) g_iKvfsErrNo = KVFS_ENO_CORRUPT;
  if (!Object->openSucc) KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_CloseObject]: openSucc is false  ?\n", 1, 2, 3, 4);
  // The flush result is the close's result: a close that lost data says so.
  KVFS_STATUS status = KVFS_OK;
  if (WriteIntent) {
    if (Object->ulModified && Object->pNode != NULL && !corrupt) status = StoreModifyTime(Object);
    if (Object->ulModified) Object->ulModified = 0;
    KVFS_STATUS flushed = kvfs_FlushAllPageBuf(dev, 0);
    if (status == KVFS_OK) status = flushed;
  }
  if (Object->useCount > 0) Object->useCount--;
  KVFS_LOG(KVFS_LOG_TRACE, "[kvfs_CloseObject]: useCount -- is %d \n", Object->useCount, 2, 3, 4);
  if (Object->useCount == 0 && Object->pName != NULL) {
    kvfs_Free(dev, Object->pName);
    Object->pName = NULL;
  }
  return status;
}

INT32 kvfs_close(INT32 HandleNum) {
  KvfsHandle *handle = kvfs_GetHandle(HandleNum);
  if (handle == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_close]:can't get handle by index 0x%x ?\n", HandleNum, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_BAD_HANDLE;
    return -1;
  }
  KvfsObject *obj = handle->pObject;
  if (obj == NULL || obj->pDev == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_close]:obj is null!\r\n", 1, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_HANDLE_NO_OBJECT;
    kvfs_PutHandle(handle);
    return -1;
  }
  BOOLEAN writeIntent = !(handle->ulFlags & KVFS_HANDLE_RDONLY) || (handle->ulFlags & KVFS_HANDLE_APPEND);
  KVFS_STATUS status = kvfs_CloseObject(obj, writeIntent);
  if (obj->useCount == 0) kvfs_PutObject(obj);
  kvfs_PutHandle(handle);
  return status == KVFS_OK ? 0 : -1;
}
