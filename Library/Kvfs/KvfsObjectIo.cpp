// Object data: read, write (with the zero fill of a gap), seek and
// truncate. A file's byte x lies in its first block while
// x / pds + 1 <= P-4 (page ID x / pds + 1), else in data block k (page ID
// within the block), each data block holding (P-1) pages.
#include "Kvfs/KvfsObject.h"

#include "Kvfs/KvfsBadBlock.h"
#include "Kvfs/KvfsBlockMg.h"
#include "Kvfs/KvfsPageCache.h"

#define KVFS_MAX_FILE_END 0x7FFFFFFFu  // positions and counts are reported as INT32

typedef struct {
  UINT32 ulType;
  UINT32 ulFatherID;
  UINT32 ulObjectID;
  UINT32 ulPageID;
} PageKey;

static PageKey KeyOfByte(KvfsObject *Object, UINT32 Position) {
  KVFS_DEVICE *dev = Object->pDev;
  UINT32 pds = dev->ulPageDataLen;
  UINT32 f = Object->ulFirstBlockPages;
  UINT32 page = Position / pds;
  PageKey key;
  if (page + 1 <= f) {
    key.ulType = KVFS_TYPE_FILE;
    key.ulFatherID = Object->ulFatherID;
    key.ulObjectID = Object->ulObjectID;
    key.ulPageID = page + 1;
  } else {
    UINT32 perBlock = KvfsDataPages(dev);
    key.ulType = KVFS_TYPE_DATA;
    key.ulFatherID = Object->ulObjectID;
    key.ulObjectID = (page - f) / perBlock + 1;
    key.ulPageID = (page - f) % perBlock;
  }
  return key;
}

UINT32 kvfs_ObjectSize(KvfsObject *Object) {
  if (Object == NULL || Object->ulType != KVFS_TYPE_FILE || Object->pNode == NULL) return 0;
  return Object->pNode->ulSize;
}

UINT32 kvfs_GetStartBlockByPageID(KvfsObject *Object, UINT32 PageNumber) {
  KVFS_DEVICE *dev = Object->pDev;
  UINT32 f = Object->ulFirstBlockPages;
  if (PageNumber <= f) return 0;
  UINT32 perBlock = KvfsDataPages(dev);
  return f * dev->ulPageDataLen + ((PageNumber - f - 1) / perBlock) * perBlock * dev->ulPageDataLen + 1;
}

INT32 kvfs_ReadObject(KvfsObject *Object, UINT8 *Buffer, UINT32 Count, UINT32 Position) {
  if (!Object->openSucc) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_ReadObject]: openSucc false error \n", 1, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_NOT_FILLED;
    return -1;
  }
  if (Object->ulType == KVFS_TYPE_DIR) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_ReadObject]:Can't read from a dir object! \n", 1, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_READ_DIR;
    return -1;
  }
  if (kvfs_ObjectIsCorrupt(Object)) {
    g_iKvfsErrNo = KVFS_ENO_CORRUPT;
    return -1;
  }
  UINT32 size = kvfs_ObjectSize(Object);
  if (Position > size) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_ReadObject]:read position is out of file!pos:0x%x\r\n", Position, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_READ_BEYOND;
    return 0;
  }
  if (Count > size - Position) Count = size - Position;
  KVFS_DEVICE *dev = Object->pDev;
  UINT32 pds = dev->ulPageDataLen;
  UINT32 done = 0;
  while (done < Count) {
    UINT32 x = Position + done;
    PageKey key = KeyOfByte(Object, x);
    KVFS_BLOCK_NODE *node = key.ulType == KVFS_TYPE_FILE
                                ? Object->pNode
                                : kvfs_FindNode(dev, KVFS_TYPE_DATA, key.ulFatherID, key.ulObjectID);
    if (node == NULL) {
      KVFS_LOG(KVFS_LOG_ERROR,
               "[kvfs_ReadObject]:can't find node in flash object id is 0x%x father id is 0x%x?\n",
               key.ulObjectID, key.ulFatherID, 3, 4);
      g_iKvfsErrNo = KVFS_ENO_NOT_ON_FLASH;
      return -1;
    }
    UINT32 offset = x % pds;
    UINT32 want = pds - offset;
    if (want > Count - done) want = Count - done;
    g_iKvfsErrNo = 0;
    UINT32 got = kvfs_pageRead(dev, Buffer + done, want, offset, key.ulType, key.ulPageID, node);
    // Every byte below the size is on flash: a page that yields less
    // cannot be read, it is not the end of the file.
    if (got != want) {
      if (g_iKvfsErrNo == 0) g_iKvfsErrNo = KVFS_ENO_NAND_READ;
      kvfs_RecoverBadBlock(dev);
      return -1;
    }
    done += got;
  }
  kvfs_RecoverBadBlock(dev);
  return (INT32)done;
}

static KvfsHandle *HandleForIo(INT32 HandleNum, CONST VOID *Buffer, CONST CHAR8 *BadHandleMessage) {
  KvfsHandle *handle = kvfs_GetHandle(HandleNum);
  if (handle == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, BadHandleMessage, HandleNum, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_BAD_HANDLE;
    return NULL;
  }
  if (handle->pObject == NULL || Buffer == NULL) {
    g_iKvfsErrNo = KVFS_ENO_HANDLE_NO_OBJECT;
    return NULL;
  }
  return handle;
}

INT32 kvfs_read(INT32 HandleNum, VOID *Buffer, UINT32 Length) {
  KvfsHandle *handle = HandleForIo(HandleNum, Buffer, "[kvfs_read]:can't get handle by index 0x%x ?\n");
  if (handle == NULL) return -1;
  if (handle->ulFlags & KVFS_HANDLE_WRONLY) {
    g_iKvfsErrNo = KVFS_ENO_ACCESS;
    return -1;
  }
  KvfsObject *obj = handle->pObject;
  UINT32 size = kvfs_ObjectSize(obj);
  UINT32 count = handle->ulPosition >= size ? 0 : size - handle->ulPosition;
  if (count > Length) count = Length;
  INT32 read = kvfs_ReadObject(obj, (UINT8 *)Buffer, count, handle->ulPosition < size ? handle->ulPosition : size);
  if (read > 0) handle->ulPosition += (UINT32)read;
  return read;
}

// Writes Length bytes at Position page by page; -1 when a page cannot be
// written (the pages before it stay written and counted in the size).
static INT32 WritePages(KvfsObject *Object, CONST UINT8 *Data, UINT32 Length, UINT32 Position) {
  KVFS_DEVICE *dev = Object->pDev;
  UINT32 pds = dev->ulPageDataLen;
  UINT32 done = 0;
  while (done < Length) {
    UINT32 x = Position + done;
    PageKey key = KeyOfByte(Object, x);
    UINT32 offset = x % pds;
    UINT32 n = pds - offset;
    if (n > Length - done) n = Length - done;
    UINT32 written = kvfs_pageWrite(dev, Object, Data + done, n, offset, key.ulPageID, key.ulType, key.ulFatherID,
                                    key.ulObjectID, 0, 0);
    if (written != n) return -1;
    done += written;
    if (Object->pNode != NULL && x + written > Object->pNode->ulSize) Object->pNode->ulSize = x + written;
  }
  return (INT32)done;
}

INT32 kvfs_WriteObject(KvfsObject *Object, CONST UINT8 *Data, UINT32 Length, UINT32 Position) {
  if (!Object->openSucc) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_WriteObject]: openSucc false error \r\n", 1, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_NOT_FILLED;
    return -1;
  }
  if (Object->ulType == KVFS_TYPE_DIR) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_WriteObject]: Can't write to an dir object! \n", 1, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_WRITE_DIR;
    return -1;
  }
  if (Position > KVFS_MAX_FILE_END || Length > KVFS_MAX_FILE_END - Position) {
    g_iKvfsErrNo = KVFS_ENO_INVALID_PARAM;
    return -1;
  }
  KVFS_DEVICE *dev = Object->pDev;
  UINT32 size = kvfs_ObjectSize(Object);
  if (Position > size) {
    // The gap is filled a page at a time: its length is the caller's to
    // choose and must not decide an allocation.
    UINT32 pds = dev->ulPageDataLen;
    UINT8 *zeros = (UINT8 *)kvfs_Malloc(dev, pds);
    if (zeros == NULL) {
      KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_WriteObject]: can't get mem? \n", 1, 2, 3, 4);
      g_iKvfsErrNo = KVFS_ENO_NO_MEMORY;
      return -1;
    }
    kvfs_MemSet(zeros, pds, 0);
    INT32 filled = 0;
    while (size < Position && filled >= 0) {
      UINT32 chunk = pds - size % pds;
      if (chunk > Position - size) chunk = Position - size;
      filled = WritePages(Object, zeros, chunk, size);
      size += chunk;
    }
    kvfs_Free(dev, zeros);
    if (filled < 0) {
      kvfs_RecoverBadBlock(dev);
      return -1;
    }
  }
  INT32 written = WritePages(Object, Data, Length, Position);
  kvfs_RecoverBadBlock(dev);
  return written;
}

INT32 kvfs_write(INT32 HandleNum, CONST VOID *Buffer, UINT32 Length) {
  KvfsHandle *handle = HandleForIo(HandleNum, Buffer, "[kvfs_write]:can't get handle by index 0x%x ?\n");
  if (handle == NULL) return -1;
  if (handle->ulFlags & KVFS_HANDLE_RDONLY) {
    g_iKvfsErrNo = KVFS_ENO_ACCESS;
    return -1;
  }
  KvfsObject *obj = handle->pObject;
  if (kvfs_ObjectIsCorrupt(obj)) {
    g_iKvfsErrNo = KVFS_ENO_CORRUPT;
    return -1;
  }
  UINT32 position = (handle->ulFlags & KVFS_HANDLE_APPEND) ? kvfs_ObjectSize(obj) : handle->ulPosition;
  INT32 written = kvfs_WriteObject(obj, (CONST UINT8 *)Buffer, Length, position);
  if (written < 0) return -1;
  handle->ulPosition = position + (UINT32)written;
  obj->ulModified = 1;
  obj->ulModifyTime = kvfs_ObjectTime();
  return written;
}

INT32 kvfs_seek(INT32 HandleNum, INT32 Offset, INT32 Whence) {
  KvfsHandle *handle = kvfs_GetHandle(HandleNum);
  if (handle == NULL) {
    g_iKvfsErrNo = KVFS_ENO_BAD_HANDLE;
    return -1;
  }
  if (handle->pObject == NULL) {
    g_iKvfsErrNo = KVFS_ENO_HANDLE_NO_OBJECT;
    return -1;
  }
  INT64 position;
  if (Whence == 0) {
    position = Offset;
  } else if (Whence == 1) {
    position = (INT64)handle->ulPosition + Offset;
  } else if (Whence == 2) {
    INT64 size = kvfs_ObjectSize(handle->pObject);
    position = (INT64)Offset < -size ? 0 : size + Offset;
  } else {
    return -1;
  }
  if (position < 0 || position > (INT64)KVFS_MAX_FILE_END) return -1;
  handle->ulPosition = (UINT32)position;
  return (INT32)position;
}

KVFS_STATUS kvfs_TruncateObject(KvfsObject *Object, UINT32 NewSize) {
  if (Object == NULL) return KVFS_ERR_PARAM;
  if (!Object->openSucc) return KVFS_ERR_NOT_FOUND;
  if (Object->ulType == KVFS_TYPE_DIR) {
    KVFS_LOG(KVFS_LOG_TRACE, "[kvfs_TruncateObject]: want to truncate dir???\n", 1, 2, 3, 4);
    return KVFS_ERR_TRUNC_DIR;
  }
  if (kvfs_ObjectIsCorrupt(Object)) {
    g_iKvfsErrNo = KVFS_ENO_CORRUPT;
    return KVFS_FAIL;
  }
  UINT32 size = kvfs_ObjectSize(Object);
  if (NewSize > size) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_TruncateObject]: remain data is out of file???\n", 1, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_TRUNC_BEYOND;
    return KVFS_ERR_TRUNC_BEYOND;
  }
  KVFS_DEVICE *dev = Object->pDev;
  UINT32 pds = dev->ulPageDataLen;
  kvfs_FlushAllPageBuf(dev, 0);
  UINT32 current = size;
  while (NewSize < current) {
    UINT32 start = kvfs_GetStartBlockByPageID(Object, (current - 1) / pds + 1);
    if (start == 0) {
      if (kvfs_CopyBlockToNew(dev, Object->pNode, KVFS_TYPE_FILE, NewSize, 1) != KVFS_OK) return KVFS_FAIL;
      kvfs_BufSetValidEmpty(dev);
      current = NewSize;
    } else {
      UINT32 blockStart = start - 1;
      UINT32 ordinal = (blockStart - Object->ulFirstBlockPages * pds) / dev->strAttr.ulBlockDataBytes + 1;
      KVFS_BLOCK_NODE *data = kvfs_FindNode(dev, KVFS_TYPE_DATA, Object->ulObjectID, ordinal);
      if (NewSize <= blockStart) {
        if (data != NULL) {
          kvfs_DropObjectCache(dev, Object->ulObjectID, ordinal, data->ulBlockNum);
          kvfs_BreakFromComEntry(dev, data, KVFS_TYPE_DATA);
          ReleaseBlock(dev, data);
        } else {
          KVFS_LOG(KVFS_LOG_ERROR,
                   "[kvfs_TruncateObject]: can't find node? blockOffSet is %d,objectID is %d,remain is 0x%x, "
                   "position is ",
                   ordinal, Object->ulObjectID, NewSize, 4);
        }
        current = blockStart;
      } else {
        if (data == NULL) {
          KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_TruncateObject]: kvfs_GetStartBlockByPageID return error!\r\n", 1, 2, 3,
                   4);
          g_iKvfsErrNo = KVFS_ENO_TRUNC_NO_BLOCK;
          return KVFS_ERR_TRUNC_NO_BLOCK;
        }
        if (kvfs_CopyBlockToNew(dev, data, KVFS_TYPE_DATA, NewSize - blockStart, 1) != KVFS_OK) return KVFS_FAIL;
        kvfs_BufSetValidEmpty(dev);
        current = NewSize;
      }
    }
    Object->pNode->ulSize = current;
  }
  kvfs_RecoverBadBlock(dev);
  Object->ulModified = 1;
  Object->ulModifyTime = kvfs_ObjectTime();
  KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_TruncateObject]: Truncation ok remain is %d \n", NewSize, 2, 3, 4);
  return KVFS_OK;
}
