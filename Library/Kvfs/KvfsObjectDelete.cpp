// Delete: an object that is neither open, read-only, corrupt nor a
// directory with entries gives back its data blocks and its own block.
#include "Kvfs/KvfsObject.h"

#include <Library/DebugLib.h>

#include "Kvfs/KvfsBlockMg.h"
#include "Kvfs/KvfsPageCache.h"

static VOID DeleteFailed(CONST CHAR8 *Path) {
  DebugPrint(DEBUG_ERROR, "[kvfs_DeleteObject]:delete file/directory %a error! \n", Path);
}

static BOOLEAN IsOpenOnHandle(KvfsObject *Object, CONST CHAR8 *Path) {
  KvfsHandle *table = kvfs_HandleTable(Object->pDev->usDevNum);
  BOOLEAN open = FALSE;
  for (UINT32 i = 0; i < KVFS_HANDLES_PER_DEVICE; i++) {
    KvfsObject *other = table[i].pObject;
    if (!(table[i].ulFlags & KVFS_HANDLE_IN_USE) || other == NULL) continue;
    if (other->ulFatherID == Object->ulFatherID && other->ulObjectID == Object->ulObjectID) {
      DebugPrint(DEBUG_ERROR, "[kvfs_DeleteObject]:file %a have opened \n", Path);
      open = TRUE;
    }
  }
  return open;
}

// The first node of the table whose father is the directory, or NULL.
static KVFS_BLOCK_NODE *FindChild(KVFS_NODE_LIST *Table, UINT32 Buckets, UINT32 DirID) {
  for (UINT32 b = 0; b < Buckets; b++) {
    for (KVFS_BLOCK_NODE *n = Table[b].pHead; n != NULL; n = n->pHashNext) {
      if (n->ulFatherID == DirID) return n;
    }
  }
  return NULL;
}

static VOID DropNode(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node, UINT32 Type) {
  kvfs_DropObjectCache(Dev, Node->ulFatherID, Node->ulObjectID, Node->ulBlockNum);
  if (Type == KVFS_TYPE_DIR) kvfs_UpdateDirNameBuffer(Dev, Node, NULL, 0);
  kvfs_BreakFromComEntry(Dev, Node, Type);
  ReleaseBlock(Dev, Node);
}

static KVFS_STATUS DeleteOpened(KvfsObject *Object, CONST CHAR8 *Path) {
  KVFS_DEVICE *dev = Object->pDev;
  if (kvfs_ObjectIsCorrupt(Object)) {
    g_iKvfsErrNo = KVFS_ENO_CORRUPT;
    return KVFS_ERR_DEL_CORRUPT;
  }
  if (Object->ulAttributes & KVFS_ATTR_RDONLY) {
    g_iKvfsErrNo = KVFS_ENO_ACCESS;
    return KVFS_ERR_RDONLY;
  }
  if (IsOpenOnHandle(Object, Path)) {
    DebugPrint(DEBUG_ERROR, "[kvfs_DeleteObject]:file/directory %a  has opened , can't be deleted ! \n", Path);
    g_iKvfsErrNo = KVFS_ENO_OPEN;
    return KVFS_ERR_DEL_IS_OPEN;
  }
  if (Object->ulType == KVFS_TYPE_DIR) {
    KVFS_BLOCK_NODE *child = FindChild(dev->astDirHash, KVFS_DIR_HASH_BUCKETS, Object->ulObjectID);
    if (child != NULL) {
      DebugPrint(DEBUG_ERROR, "[kvfs_DeleteObject]:still have sub directory? node is 0x%x  \n", child);
      g_iKvfsErrNo = KVFS_ENO_DIR_NOT_EMPTY;
      return KVFS_ERR_NOT_FOUND;
    }
    child = FindChild(dev->astFileHash, KVFS_FILE_HASH_BUCKETS, Object->ulObjectID);
    if (child != NULL) {
      DebugPrint(DEBUG_ERROR, "[kvfs_DeleteObject]:still have sub file? node is 0x%x  \n", child);
      g_iKvfsErrNo = KVFS_ENO_DIR_NOT_EMPTY;
      return KVFS_ERR_NOT_FOUND;
    }
  }
  kvfs_FlushAllPageBuf(dev, 0);
  if (Object->ulType == KVFS_TYPE_FILE) {
    UINT32 size = kvfs_ObjectSize(Object);
    UINT32 pds = dev->ulPageDataLen;
    for (UINT32 k = 1;; k++) {
      KVFS_BLOCK_NODE *data = kvfs_FindNode(dev, KVFS_TYPE_DATA, Object->ulObjectID, k);
      if (data == NULL) {
        UINT32 start = Object->ulFirstBlockPages * pds + (k - 1) * dev->strAttr.ulBlockDataBytes;
        if (start >= size) break;
        continue;
      }
      DropNode(dev, data, KVFS_TYPE_DATA);
    }
  }
  if (Object->ulFatherID == KVFS_ROOT_FATHER_ID) return KVFS_OK;
  KVFS_BLOCK_NODE *own = kvfs_FindNode(dev, Object->ulType, Object->ulFatherID, Object->ulObjectID);
  if (own == NULL) {
    DebugPrint(DEBUG_ERROR, "[kvfs_DeleteObject]:can't find the file node?\n");
    DeleteFailed(Path);
    g_iKvfsErrNo = KVFS_ENO_FILE_NODE;
    return KVFS_ERR_NOT_FOUND;
  }
  DropNode(dev, own, Object->ulType);
  Object->pNode = NULL;
  return KVFS_OK;
}

KVFS_STATUS kvfs_DeleteObject(CONST CHAR8 *Path, UINT32 DevNum) {
  KVFS_DEVICE *dev = kvfs_GetDevice(DevNum);
  KvfsObject *obj = dev != NULL && dev->ucMounted ? kvfs_GetObject(dev) : NULL;
  kvfs_ReleaseDevice(dev);  // the object record holds its own use
  if (obj == NULL) {
    DebugPrint(DEBUG_ERROR, "[kvfs_DeleteObject]:get obj error \n");
    DeleteFailed(Path);
    g_iKvfsErrNo = KVFS_ENO_NO_OBJECT;
    return KVFS_ERR_NOT_FOUND;
  }
  KVFS_STATUS status;
  if (kvfs_OpenObject(obj, Path, KVFS_O_DIR | KVFS_O_RDWR, 0x600) != KVFS_OK &&
      kvfs_OpenObject(obj, Path, KVFS_O_RDWR, 0x600) != KVFS_OK) {
    DebugPrint(DEBUG_ERROR, "[kvfs_DeleteObject]:open  obj error \n");
    DeleteFailed(Path);
    status = KVFS_ERR_DEL_OPEN_FAIL;
  } else {
    status = DeleteOpened(obj, Path);
  }
  // Whatever the outcome the record, its name copy and its hold on the
  // device go back.
  kvfs_PutObject(obj);
  return status;
}

KVFS_STATUS kvfs_delete(CONST CHAR8 *Path, UINT32 DevNum) {
  kvfs_ObjectsInit();
  CHAR8 path[KVFS_PATH_BUF];
  if (kvfs_RegulatePath(Path != NULL ? Path : "./", path) != KVFS_OK) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_delete]:get  absolutePath error\n", 1, 2, 3, 4);
    return KVFS_ERR_DEL_PATH;
  }
  return kvfs_DeleteObject(path, DevNum);
}
