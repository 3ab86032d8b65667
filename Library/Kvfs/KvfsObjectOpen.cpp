// Open and create: resolving a path to an object, filling it from its
// header, creating it under its directory, and the handle-level open.
#include "Kvfs/KvfsObject.h"

#include <Library/BaseLib.h>
#include <Library/DebugLib.h>

#include "Kvfs/KvfsBadBlock.h"
#include "Kvfs/KvfsBlockMg.h"
#include "Kvfs/KvfsPageCache.h"

#define KVFS_SCRATCH_BYTES 512

static KVFS_NODE_LIST *TableOf(KVFS_DEVICE *Dev, UINT32 Type, UINT32 *Buckets) {
  *Buckets = Type == KVFS_TYPE_DIR ? KVFS_DIR_HASH_BUCKETS : KVFS_FILE_HASH_BUCKETS;
  return Type == KVFS_TYPE_DIR ? Dev->astDirHash : Dev->astFileHash;
}

KVFS_BLOCK_NODE *kvfs_FindNodeFromBucketByName(KVFS_DEVICE *Dev, UINT32 Type, UINT32 FatherID, CONST CHAR8 *Name,
                                               UINT32 NameSum) {
  UINT8 *header = (UINT8 *)kvfs_Malloc(Dev, KVFS_SCRATCH_BYTES);
  if (header == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_FindNodeFromBucketByName]:can't malloc memory? \n", 1, 2, 3, 4);
    return NULL;
  }
  UINT32 buckets = 0;
  KVFS_NODE_LIST *table = TableOf(Dev, Type, &buckets);
  KVFS_BLOCK_NODE *found = NULL;
  BOOLEAN stop = FALSE;
  for (UINT32 b = 0; b < buckets && found == NULL && !stop; b++) {
    for (KVFS_BLOCK_NODE *n = table[b].pHead; n != NULL; n = n->pHashNext) {
      if (n->ulNameSum != NameSum || n->ulFatherID != FatherID) continue;
      if (kvfs_pageRead(Dev, header, KVFS_OBJECT_HEADER_BYTES, 0, Type, 0, n) < KVFS_OBJECT_HEADER_BYTES) {
        KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_FindNodeFromBucketByName]:can't read from flash? \n", 1, 2, 3, 4);
        stop = TRUE;
        break;
      }
      header[KVFS_HEADER_NAME_OFFSET + KVFS_NAME_MAX] = 0;
      if (kvfs_NameEqual((CONST CHAR8 *)header + KVFS_HEADER_NAME_OFFSET, Name, KVFS_NAME_MAX)) {
        found = n;
        break;
      }
    }
  }
  kvfs_Free(Dev, header);
  return found;
}

// Copies a component into Out (NUL-terminated) and checks its characters.
static KVFS_STATUS TakeComponent(CONST KvfsPathPart *Part, CHAR8 *Out) {
  UINT32 length = Part->ulLength < KVFS_NAME_BUF - 1 ? Part->ulLength : KVFS_NAME_BUF - 1;
  kvfs_MemCpy(Out, Part->pStart, length);
  Out[length] = 0;
  return kvfs_NameCheck(Out);
}

KVFS_STATUS kvfs_FindObject(KvfsObject *Object, CONST CHAR8 *Path, UINT32 Flags, BOOLEAN *Exists) {
  KVFS_DEVICE *dev = Object->pDev;
  *Exists = FALSE;
  kvfs_RecoverBadBlock(dev);
  Object->ulType = (Flags & KVFS_O_DIR) ? KVFS_TYPE_DIR : KVFS_TYPE_FILE;
  // A second attempt starts afresh.
  if (Object->pName != NULL) kvfs_Free(dev, Object->pName);
  Object->pName = NULL;
  Object->pNode = NULL;
  KvfsPathPart parts[KVFS_MAX_COMPONENTS + 1];
  INT32 count = kvfs_PathParse(Path, parts, KVFS_MAX_COMPONENTS + 1);
  if (count < 0) return KVFS_ERR_PATH_REGULATE;
  if (count <= 1) {
    Object->ulType = KVFS_TYPE_DIR;
    Object->ulFatherID = KVFS_ROOT_FATHER_ID;
    Object->ulObjectID = 0;
    Object->ulNameLen = 0;
    *Exists = TRUE;
    return KVFS_OK;
  }
  CHAR8 name[KVFS_NAME_BUF];
  UINT32 father = 0;
  for (INT32 i = 1; i < count - 1; i++) {
    if (TakeComponent(&parts[i], name) != KVFS_OK) {
      KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_FindObject]:kvfs_NameCheck failed\n", 1, 2, 3, 4);
      return KVFS_ERR_NAME_CHAR;
    }
    kvfs_LowerCase(name);
    UINT32 sum = kvfs_NameSum(name, AsciiStrLen(name));
    KVFS_BLOCK_NODE *dir = kvfs_FindNodeFromBucketByName(dev, KVFS_TYPE_DIR, father, name, sum);
    if (dir == NULL) {
      KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_FindObject]:can't find the directory node? fatherID=%x  name=%a  \n", father,
               name, 3, 4);
      g_iKvfsErrNo = KVFS_ENO_DIR_NOT_FOUND;
      return KVFS_ERR_NOT_FOUND;
    }
    father = dir->ulObjectID;
  }
  if (TakeComponent(&parts[count - 1], name) != KVFS_OK) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_FindObject]:kvfs_NameCheck failed\n", 1, 2, 3, 4);
    return KVFS_ERR_NAME_CHAR;
  }
  UINT32 length = AsciiStrLen(name);
  Object->pName = (CHAR8 *)kvfs_Malloc(dev, length + 1);
  if (Object->pName == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_FindObject]:(ucName) malloc memory error\n", 1, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_NO_MEMORY;
    return KVFS_ERR_NO_MEMORY;
  }
  kvfs_MemCpy(Object->pName, name, length + 1);
  kvfs_LowerCase(name);
  Object->ulNameLen = length;
  Object->ulNameSum = kvfs_NameSum(name, length);
  Object->ulFatherID = father;
  Object->ulFirstBlockPages = KvfsPagesPerBlock(dev) - 4;
  KVFS_BLOCK_NODE *node = kvfs_FindNodeFromBucketByName(dev, Object->ulType, father, name, Object->ulNameSum);
  if (node != NULL) {
    Object->ulObjectID = node->ulObjectID;
    Object->pNode = node;
    *Exists = TRUE;
  }
  return KVFS_OK;
}

static VOID TakeHeaderFields(KvfsObject *Object, CONST UINT8 *Header) {
  Object->ulTypeWord = KvfsGet32(Header + KVFS_HDR_OFF_TYPE);
  Object->ulCreateTime = KvfsGet32(Header + KVFS_HDR_OFF_CTIME);
  Object->ulModifyTime = KvfsGet32(Header + KVFS_HDR_OFF_MTIME);
  Object->ulAccessTime = KvfsGet32(Header + KVFS_HDR_OFF_ATIME);
  Object->ulAttributes = KvfsGet32(Header + KVFS_HDR_OFF_ATTR);
}

KVFS_STATUS kvfs_FillObject(KvfsObject *Object) {
  KVFS_DEVICE *dev = Object->pDev;
  UINT8 *header = (UINT8 *)kvfs_Malloc(dev, KVFS_SCRATCH_BYTES);
  UINT32 read = 0;
  if (header != NULL) read = kvfs_pageRead(dev, header, KVFS_OBJECT_HEADER_BYTES, 0, Object->ulType, 0, Object->pNode);
  if (read < KVFS_OBJECT_HEADER_BYTES) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_FillObject]:can't read file info data ???\n", 1, 2, 3, 4);
    kvfs_Free(dev, header);
    return KVFS_ERR_OBJ_HEADER;
  }
  TakeHeaderFields(Object, header);
  kvfs_Free(dev, header);
  Object->openSucc = 1;
  return KVFS_OK;
}

KVFS_STATUS kvfs_OpenObject(KvfsObject *Object, CONST CHAR8 *Path, UINT32 Flags, UINT32 Mode) {
  BOOLEAN exists = FALSE;
  Object->ulMode = Mode;
  if (kvfs_FindObject(Object, Path, Flags, &exists) != KVFS_OK) {
    KVFS_LOG(KVFS_LOG_ERROR, " [kvfs_OpenObject]:kvfs_FindObject error ?\n", 1, 2, 3, 4);
    return KVFS_ERR_OBJ_LOOKUP;
  }
  if (exists) {
    if (Object->pNode == NULL) {
      Object->openSucc = 1;
      return KVFS_OK;
    }
    if (kvfs_FillObject(Object) != KVFS_OK) {
      KVFS_LOG(KVFS_LOG_ERROR, " [kvfs_OpenObject]: fill object error ?\n", 1, 2, 3, 4);
      return KVFS_ERR_OBJ_FILL;
    }
    if ((Object->ulAttributes & KVFS_ATTR_RDONLY) && (Flags & (KVFS_O_WRONLY | KVFS_O_RDWR | KVFS_O_TRUNC))) {
      g_iKvfsErrNo = KVFS_ENO_ACCESS;
      return KVFS_ERR_RDONLY;
    }
    return KVFS_OK;
  }
  if (Flags & KVFS_O_CREAT) {
    KVFS_STATUS status = kvfs_CreateObjectUnder(Object);
    if (status == KVFS_ERR_NO_ERASED) DebugPrint(DEBUG_ERROR, "Insufficient space, please check!\n");
    if (status != KVFS_OK) {
      KVFS_LOG(KVFS_LOG_ERROR, " [kvfs_OpenObject]:creat object error ?\n", 1, 2, 3, 4);
      return KVFS_ERR_OBJ_CREATE;
    }
    return KVFS_OK;
  }
  KVFS_LOG(KVFS_LOG_ERROR, " [kvfs_OpenObject]:oflag (0x%x)is not right!\r\n", Flags, 2, 3, 4);
  return KVFS_ERR_OBJ_MISSING;
}

KVFS_STATUS kvfs_CreateObjectUnder(KvfsObject *Object) {
  KVFS_DEVICE *dev = Object->pDev;
  UINT32 otherType = Object->ulType == KVFS_TYPE_DIR ? KVFS_TYPE_FILE : KVFS_TYPE_DIR;
  CHAR8 lower[KVFS_NAME_BUF];
  UINT32 copy = Object->ulNameLen < KVFS_NAME_BUF - 1 ? Object->ulNameLen : KVFS_NAME_BUF - 1;
  kvfs_MemCpy(lower, Object->pName, copy);
  lower[copy] = 0;
  kvfs_LowerCase(lower);
  KVFS_BLOCK_NODE *other = kvfs_FindNodeFromBucketByName(dev, otherType, Object->ulFatherID, lower, Object->ulNameSum);
  if (other != NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_CreateObjectUnder]:have same name file!node:0x%x\r\n", other, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_EXISTS;
    return KVFS_ERR_OBJ_OTHER_TYPE;
  }
  if (Object->ulNameLen >= KVFS_NAME_MAX + 1) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_CreateObjectUnder]:invalid file name length %d ?\n", Object->ulNameLen, 2, 3,
             4);
    return KVFS_ERR_OBJ_NAME_LONG;
  }
  UINT32 id = kvfs_AllocObjectID(dev);
  if (id == KVFS_NO_OBJECT_ID || dev->ulErasedCount <= KVFS_RESERVED_ERASED - 1) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_CreateObjectUnder]:insufficient block in create obj\n", 1, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_NO_SPACE;
    return KVFS_ERR_NO_ERASED;
  }
  UINT8 *header = (UINT8 *)kvfs_Malloc(dev, KVFS_SCRATCH_BYTES);
  if (header == NULL) {
    g_iKvfsErrNo = KVFS_ENO_NO_MEMORY;
    return KVFS_ERR_NO_MEMORY;
  }
  kvfs_MemSet(header, KVFS_SCRATCH_BYTES, 0);
  UINT32 now = kvfs_ObjectTime();
  KvfsPut32(header + KVFS_HDR_OFF_TYPE, Object->ulType == KVFS_TYPE_DIR ? KVFS_HDR_TYPE_DIR : KVFS_HDR_TYPE_FILE);
  KvfsPut32(header + KVFS_HDR_OFF_CTIME, now);
  KvfsPut32(header + KVFS_HDR_OFF_MTIME, now);
  KvfsPut32(header + KVFS_HEADER_NAME_LEN_OFFSET, Object->ulNameLen);
  kvfs_MemCpy(header + KVFS_HEADER_NAME_OFFSET, Object->pName, Object->ulNameLen);
  Object->ulObjectID = id;  // held from here: no other create takes it
  UINT32 written = kvfs_pageWrite(dev, Object, header, KVFS_OBJECT_HEADER_BYTES, 0, 0, Object->ulType,
                                  Object->ulFatherID, id, 1, 1);
  if (written != KVFS_OBJECT_HEADER_BYTES) {
    kvfs_Free(dev, header);
    Object->ulObjectID = KVFS_NO_OBJECT_ID;
    return KVFS_FAIL;
  }
  TakeHeaderFields(Object, header);
  kvfs_Free(dev, header);
  KVFS_BLOCK_NODE *node = kvfs_FindNode(dev, Object->ulType, Object->ulFatherID, id);
  if (node == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_CreateObjectUnder]:Can't find the node in the tree ?\n", 1, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_NODE_NOT_FOUND;
    return KVFS_ERR_NOT_FOUND;
  }
  if (Object->ulType == KVFS_TYPE_FILE) node->ulSize = 0;
  Object->pNode = node;
  kvfs_RecoverBadBlock(dev);
  Object->openSucc = 1;
  return KVFS_OK;
}

// The two kvfs_open messages print the path with "%s", a wide string: they
// get a wide copy rather than the narrow path itself.
static CONST CHAR16 *WidePath(CONST CHAR8 *Path, CHAR16 *Wide) {
  UINTN i = 0;
  for (; i < KVFS_PATH_BUF - 1 && Path[i] != 0; i++) Wide[i] = (CHAR16)(UINT8)Path[i];
  Wide[i] = 0;
  return Wide;
}

// Takes the first free handle of the device; -1 when none is free.
static INT32 FreeHandleIndex(UINT32 DevNum) {
  KvfsHandle *table = kvfs_HandleTable(DevNum);
  for (UINT32 i = 0; i < KVFS_HANDLES_PER_DEVICE; i++) {
    if (!(table[i].ulFlags & KVFS_HANDLE_IN_USE)) return (INT32)i;
  }
  return -1;
}

static INT32 OpenOnDevice(KVFS_DEVICE *Dev, CONST CHAR8 *Path, UINT32 Flags, UINT32 Mode) {
  UINT32 devNum = Dev->usDevNum;
  KvfsObject *obj = kvfs_GetObject(Dev);
  if (obj == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_open]:get obj error\n", 1, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_NO_OBJECT;
    return -1;
  }
  // Every failure below gives back the record, its name copy and its hold
  // on the device.
  CHAR8 path[KVFS_PATH_BUF];
  if (kvfs_RegulatePath(Path != NULL ? Path : "./", path) != KVFS_OK) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_open] %d:get  absolutePath error\n", __LINE__, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_PATH_REGULATE;
    kvfs_PutObject(obj);
    return -1;
  }
  KVFS_STATUS status = kvfs_OpenObject(obj, path, Flags, Mode);
  if (status != KVFS_OK) {
    if (Flags & (KVFS_O_CREAT | KVFS_O_DIR)) {
      KVFS_LOG(KVFS_LOG_ERROR, "Open object.......................................failed\n", 1, 2, 3, 4);
      kvfs_PutObject(obj);
      return -1;
    }
    status = kvfs_OpenObject(obj, path, Flags | KVFS_O_DIR, Mode);
    if (status != KVFS_OK) {
      KVFS_LOG(KVFS_LOG_ERROR, "open object error, status %x, errNo %x\n", status, g_iKvfsErrNo, 3, 4);
      kvfs_PutObject(obj);
      return -1;
    }
  }
  if ((Mode & KVFS_US_CREATONLY) && obj->pNode == NULL) {
    g_iKvfsErrNo = KVFS_ENO_ACCESS;
    kvfs_PutObject(obj);
    return -1;
  }
  INT32 index = FreeHandleIndex(devNum);
  if (index < 0) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_open]:get handle error!handle:0x%x\r\n", index, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_BAD_HANDLE;
    kvfs_PutObject(obj);
    return -1;
  }
  KvfsHandle *table = kvfs_HandleTable(devNum);
  KvfsObject *shared = NULL;
  for (UINT32 i = 0; i < KVFS_HANDLES_PER_DEVICE; i++) {
    KvfsHandle *h = &table[i];
    if (!(h->ulFlags & KVFS_HANDLE_IN_USE) || h->pObject == NULL) continue;
    if (h->pObject->ulFatherID != obj->ulFatherID || h->pObject->ulObjectID != obj->ulObjectID) continue;
    if ((Flags & KVFS_O_EXCL) || (h->ulFlags & KVFS_HANDLE_EXCL)) {
      CHAR16 wide[KVFS_PATH_BUF];
      KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_open]:open file  %s denied\n", WidePath(path, wide), 2, 3, 4);
      g_iKvfsErrNo = KVFS_ENO_ACCESS;
      kvfs_PutObject(obj);
      return -1;
    }
    shared = h->pObject;
  }
  if (shared != NULL) {
    kvfs_PutObject(obj);
    obj = shared;
    KVFS_LOG(KVFS_LOG_TRACE, "[kvfs_open]:there is a same obj already, obj is  0x%x ?\n", obj, 2, 3, 4);
  }
  obj->useCount++;
  KvfsHandle *handle = &table[index];
  kvfs_PutHandle(handle);
  handle->pObject = obj;
  handle->ulFlags = KVFS_HANDLE_IN_USE;
  if (!(Flags & (KVFS_O_WRONLY | KVFS_O_RDWR))) handle->ulFlags |= KVFS_HANDLE_RDONLY;
  if (Flags & KVFS_O_WRONLY) handle->ulFlags |= KVFS_HANDLE_WRONLY;
  if (Flags & KVFS_O_APPEND) handle->ulFlags |= KVFS_HANDLE_APPEND;
  if (Flags & KVFS_O_EXCL) handle->ulFlags |= KVFS_HANDLE_EXCL;
  // A directory has nothing to truncate: a create-only directory open
  // (which asks for truncation) must not fail on it.
  BOOLEAN truncate = (Flags & KVFS_O_TRUNC) && obj->ulType == KVFS_TYPE_FILE &&
                     (!(handle->ulFlags & KVFS_HANDLE_RDONLY) || (Mode & KVFS_US_CREATONLY));
  if (truncate && kvfs_TruncateObject(obj, 0) != KVFS_OK) {
    obj->useCount--;
    if (obj->useCount == 0) kvfs_PutObject(obj);
    kvfs_PutHandle(handle);
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_open]:Truncate object 0x%x error\n", obj, 2, 3, 4);
    CHAR16 wide[KVFS_PATH_BUF];
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_open]:open  file directory %s   error\n", WidePath(path, wide), 2, 3, 4);
    return -1;
  }
  return (INT32)((devNum << 16) | (UINT32)index);
}

INT32 kvfs_open(CONST CHAR8 *Path, UINT32 Flags, UINT32 Mode, UINT32 DevNum) {
  kvfs_ObjectsInit();
  KVFS_DEVICE *dev = kvfs_GetDevice(DevNum);
  if (dev == NULL || !dev->ucMounted) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_open]:can't get device,device number is %d \n", DevNum, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_NO_DEVICE;
    kvfs_ReleaseDevice(dev);
    return -1;
  }
  kvfs_DeviceLock(dev);
  INT32 result = OpenOnDevice(dev, Path, Flags, Mode);
  kvfs_DeviceUnLock(dev);
  kvfs_ReleaseDevice(dev);  // the object record holds its own use
  return result;
}
