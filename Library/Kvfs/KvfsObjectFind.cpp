// Directory listing: "." and ".." (except in the root), then the
// directories and then the files whose father is the directory, bucket by
// bucket in chain order. The handle keeps a copy of the node returned last
// and follows its chain link, so deleting that entry does not break the
// listing.
#include "Kvfs/KvfsObject.h"

#include <Library/BaseLib.h>
#include <Protocol/KvfsDriver.h>

#include "Kvfs/KvfsBlockMg.h"
#include "Kvfs/KvfsPageCache.h"

#define KVFS_LIST_NAME_MAX 99
#define KVFS_RECORD_SIZE_OFFSET KVFS_OBJECT_HEADER_BYTES
#define KVFS_RECORD_ID_OFFSET (KVFS_OBJECT_HEADER_BYTES + 4)
#define KVFS_END_OF_LIST 1  // internal: no entry left

KVFS_STATUS kvfs_GetObjectInfo(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node, UINT32 Type, UINT8 *Record) {
  if (kvfs_pageRead(Dev, Record, KVFS_OBJECT_HEADER_BYTES, 0, Type, 0, Node) < KVFS_OBJECT_HEADER_BYTES) {
    g_iKvfsErrNo = KVFS_ENO_DIR_HEADER;
    return KVFS_ERR_OBJ_HEADER;
  }
  KvfsPut32(Record + KVFS_RECORD_SIZE_OFFSET, Type == KVFS_TYPE_FILE ? Node->ulSize : 0);
  KvfsPut32(Record + KVFS_RECORD_ID_OFFSET, Node->ulObjectID);
  return KVFS_OK;
}

KVFS_STATUS kvfs_LoadObjectInfo(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node, UINT32 Type, UINT8 *Record) {
  return kvfs_GetObjectInfo(Dev, Node, Type, Record);
}

static VOID CopyName(CHAR8 *Out, CONST CHAR8 *Name) {
  UINT32 i = 0;
  for (; i < KVFS_LIST_NAME_MAX && Name[i] != 0; i++) Out[i] = Name[i];
  Out[i] = 0;
}

// "." or ".." with the header of Node.
static KVFS_STATUS DotEntry(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node, CONST CHAR8 *Dots, CHAR8 *Name, UINT8 *Record) {
  if (kvfs_GetObjectInfo(Dev, Node, KVFS_TYPE_DIR, Record) != KVFS_OK) return KVFS_FAIL;
  UINT32 length = (UINT32)AsciiStrLen(Dots);
  KvfsPut32(Record + KVFS_HEADER_NAME_LEN_OFFSET, length + 1);  // the NUL counted
  kvfs_MemSet(Record + KVFS_HEADER_NAME_OFFSET, KVFS_OBJECT_HEADER_BYTES - KVFS_HEADER_NAME_OFFSET, 0);
  kvfs_MemCpy(Record + KVFS_HEADER_NAME_OFFSET, Dots, length);
  CopyName(Name, Dots);
  return KVFS_OK;
}

static KVFS_BLOCK_NODE *DirNodeById(KVFS_DEVICE *Dev, UINT32 Id) {
  for (KVFS_BLOCK_NODE *n = Dev->astDirHash[Id & (KVFS_DIR_HASH_BUCKETS - 1)].pHead; n != NULL; n = n->pHashNext) {
    if (n->ulObjectID == Id) return n;
  }
  return NULL;
}

static KVFS_STATUS NextEntry(KvfsHandle *Handle, CHAR8 *Name, UINT8 *Record) {
  KvfsObject *obj = Handle->pObject;
  KVFS_DEVICE *dev = obj->pDev;
  UINT32 dirId = obj->ulObjectID;
  BOOLEAN root = obj->ulFatherID == KVFS_ROOT_FATHER_ID;
  if (!root && Handle->ulCounter < 2) {
    KVFS_BLOCK_NODE *own = kvfs_FindNode(dev, KVFS_TYPE_DIR, obj->ulFatherID, dirId);
    KVFS_BLOCK_NODE *node = own;
    if (Handle->ulCounter == 1 && obj->ulFatherID != 0) node = DirNodeById(dev, obj->ulFatherID);
    if (node == NULL) {
      g_iKvfsErrNo = KVFS_ENO_NODE_NOT_FOUND;
      return KVFS_FAIL;
    }
    if (DotEntry(dev, node, Handle->ulCounter == 0 ? "." : "..", Name, Record) != KVFS_OK) return KVFS_FAIL;
    Handle->ulCounter++;
    return KVFS_OK;
  }
  KVFS_NODE_LIST *tables[2] = {dev->astDirHash, dev->astFileHash};
  CONST UINT32 buckets[2] = {KVFS_DIR_HASH_BUCKETS, KVFS_FILE_HASH_BUCKETS};
  KVFS_BLOCK_NODE *candidate =
      Handle->pLast != NULL ? Handle->pLast->pHashNext : tables[Handle->ulPhase][Handle->ulBucket].pHead;
  while (TRUE) {
    while (candidate == NULL) {
      Handle->ulBucket++;
      if (Handle->ulBucket >= buckets[Handle->ulPhase]) {
        if (Handle->ulPhase == 1) {
          Handle->ulBucket = buckets[1];
          return KVFS_END_OF_LIST;
        }
        Handle->ulPhase = 1;
        Handle->ulBucket = 0;
      }
      candidate = tables[Handle->ulPhase][Handle->ulBucket].pHead;
    }
    // A node that left its table since it was copied ends its chain.
    UINT32 type = Handle->ulPhase == 0 ? KVFS_TYPE_DIR : KVFS_TYPE_FILE;
    if (candidate->ucWhere != KVFS_NODE_USED || candidate->ucType != type) {
      candidate = NULL;
      continue;
    }
    if (candidate->ulFatherID == dirId) break;
    candidate = candidate->pHashNext;
  }
  Handle->stLastCopy = *candidate;
  Handle->pLast = &Handle->stLastCopy;
  Handle->ulCounter++;
  UINT32 type = Handle->ulPhase == 0 ? KVFS_TYPE_DIR : KVFS_TYPE_FILE;
  if (kvfs_GetObjectInfo(dev, candidate, type, Record) != KVFS_OK) return KVFS_FAIL;
  Record[KVFS_HEADER_NAME_OFFSET + KVFS_NAME_MAX] = 0;
  CopyName(Name, (CONST CHAR8 *)Record + KVFS_HEADER_NAME_OFFSET);
  return KVFS_OK;
}

KVFS_STATUS kvfs_FindFirstObject(KvfsHandle *Handle, CHAR8 *Name, UINT8 *Record) {
  Handle->ulPhase = 0;
  Handle->ulBucket = 0;
  Handle->ulCounter = 0;
  Handle->pLast = NULL;
  KVFS_STATUS status = NextEntry(Handle, Name, Record);
  return status == KVFS_END_OF_LIST ? KVFS_ERR_NO_FIRST : status;
}

KVFS_STATUS kvfs_FindNextObject(KvfsHandle *Handle, CHAR8 *Name, UINT8 *Record) {
  KVFS_STATUS status = NextEntry(Handle, Name, Record);
  return status == KVFS_END_OF_LIST ? KVFS_ERR_NO_NEXT : status;
}

// The handle of a listing, or NULL with Status set.
static KvfsHandle *ListingHandle(INT32 HandleNum, INT32 *Status) {
  KvfsHandle *handle = kvfs_GetHandle(HandleNum);
  if (handle == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_ReadDir]:can't get handle by index 0x%x ?\n", HandleNum, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_BAD_HANDLE;
    *Status = KVFS_ERR_NOT_FOUND;
    return NULL;
  }
  if (handle->pObject == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_ReadDir]:obj is null!\r\n", 1, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_HANDLE_NO_OBJECT;
    *Status = KVFS_ERR_NOT_FOUND;
    return NULL;
  }
  if (kvfs_ObjectIsCorrupt(handle->pObject)) {
    g_iKvfsErrNo = KVFS_ENO_CORRUPT;
    *Status = -1;
    return NULL;
  }
  if (handle->pObject->ulType != KVFS_TYPE_DIR) {
    g_iKvfsErrNo = KVFS_ENO_READ_DIR;
    *Status = -1;
    return NULL;
  }
  return handle;
}

static BOOLEAN HasKeptPosition(KvfsHandle *Handle) { return Handle->ulCounter > 0; }

INT32 kvfs_ReadDir(INT32 HandleNum, CHAR8 *Name, INT32 Continue, UINT8 *Record) {
  INT32 status = 0;
  KvfsHandle *handle = ListingHandle(HandleNum, &status);
  if (handle == NULL) return status;
  if (Name == NULL || Record == NULL) {
    g_iKvfsErrNo = KVFS_ENO_INVALID_PARAM;
    return -1;
  }
  status = (Continue == 0 || !HasKeptPosition(handle)) ? kvfs_FindFirstObject(handle, Name, Record)
                                                        : kvfs_FindNextObject(handle, Name, Record);
  return status == KVFS_OK ? 0 : -1;
}

INT32 kvfs_ReadDirAll(INT32 HandleNum, CHAR8 *Name, INT32 Continue, UINT8 **Entries, UINT32 *Count) {
  INT32 status = 0;
  KvfsHandle *handle = ListingHandle(HandleNum, &status);
  if (handle == NULL) return status;
  if (Name == NULL) {
    g_iKvfsErrNo = KVFS_ENO_INVALID_PARAM;
    return -1;
  }
  UINT8 record[sizeof(FileInfoRecord)];
  if (Continue != 0 && HasKeptPosition(handle)) {
    return kvfs_FindNextObject(handle, Name, record) == KVFS_OK ? 0 : -1;
  }
  if (Count == NULL) {
    g_iKvfsErrNo = KVFS_ENO_INVALID_PARAM;
    return -1;
  }
  *Count = 0;
  KVFS_DEVICE *dev = handle->pObject->pDev;
  for (status = kvfs_FindFirstObject(handle, Name, record); status == KVFS_OK;
       status = kvfs_FindNextObject(handle, Name, record)) {
    if (Entries != NULL) {
      UINT8 *block = (UINT8 *)kvfs_Malloc(dev, sizeof(FileInfoRecord));  // the caller frees it
      if (block == NULL) {
        g_iKvfsErrNo = KVFS_ENO_NO_MEMORY;
        return -1;
      }
      kvfs_MemCpy(block, record, sizeof(FileInfoRecord));
      Entries[*Count] = block;
    }
    (*Count)++;
  }
  return -1;  // the listing ends with the scan
}
