// kvfs device model: device table, block ranges, sequence numbers, object
// IDs, name sums, erase-count buckets, logger, memory and lock hooks.
#include "Kvfs/KvfsLayout.h"

#include <Library/BaseLib.h>
#include <Library/DebugLib.h>
#include <Library/UefiBootServicesTableLib.h>

#include "Kvfs/KvfsHwEcc.h"

INT32 g_iKvfsErrNo = 0;
UINT32 g_ulKvfsSafeClose = 0;
UINT32 g_ulKvfsSnapShotEnable = 1;
UINT32 g_ulKvfsDebugLevel = 0xFFFFFFFFu;
KVFS_OPEN_OBJECT_USES_ID g_pfnKvfsOpenObjectUsesId = NULL;

static KVFS_DEVICE g_astKvfsDevice[KVFS_MAX_DEVICES];
static BOOLEAN g_bKvfsTableReady = FALSE;

KVFS_DEVICE *kvfs_GetDeviceTable(VOID) {
  if (!g_bKvfsTableReady) {
    kvfs_MemSet(g_astKvfsDevice, sizeof(g_astKvfsDevice), 0);
    g_bKvfsTableReady = TRUE;
  }
  return g_astKvfsDevice;
}

KVFS_DEVICE *kvfs_GetDevice(UINT32 DevNum) {
  KVFS_DEVICE *table = kvfs_GetDeviceTable();
  for (UINT32 i = 0; i < KVFS_MAX_DEVICES; i++) {
    if (table[i].ucInUse && table[i].usDevNum == DevNum) {
      table[i].ulUseCount++;
      return &table[i];
    }
  }
  return NULL;
}

VOID kvfs_ReleaseDevice(KVFS_DEVICE *Dev) {
  if (Dev != NULL && Dev->ulUseCount > 0) Dev->ulUseCount--;
}

BOOLEAN kvfs_BlockInRange(CONST KVFS_DEVICE *Dev, UINT32 Block) {
  return kvfs_BlockPosition(Dev, Block) >= 0;
}

INT32 kvfs_BlockPosition(CONST KVFS_DEVICE *Dev, UINT32 Block) {
  if (Dev == NULL) return -1;
  UINT32 base = 0;
  for (UINT32 i = 0; i < Dev->ulRangeCount && i < KVFS_MAX_RANGES; i++) {
    CONST KVFS_BLOCK_RANGE *r = &Dev->astRange[i];
    if (Block >= r->ulFirst && Block <= r->ulLast) return (INT32)(base + (Block - r->ulFirst));
    base += r->ulLast - r->ulFirst + 1;
  }
  return -1;
}

KVFS_BLOCK_NODE *kvfs_NodeOfBlock(KVFS_DEVICE *Dev, UINT32 Block) {
  INT32 pos = kvfs_BlockPosition(Dev, Block);
  if (pos < 0 || Dev->pNodes == NULL || (UINT32)pos >= Dev->ulNodeCount) return NULL;
  // The mount gives node i the block at position i; copies exchange block
  // numbers between nodes afterwards.
  if (Dev->pNodes[pos].ulBlockNum == Block) return &Dev->pNodes[pos];
  for (UINT32 i = 0; i < Dev->ulNodeCount; i++) {
    if (Dev->pNodes[i].ulBlockNum == Block) return &Dev->pNodes[i];
  }
  return NULL;
}

UINT32 kvfs_BlockState(KVFS_DEVICE *Dev, UINT32 Block) {
  UINT8 first[KVFS_TAG_SIZE];
  UINT8 second[KVFS_TAG_SIZE];
  UINT32 flip = 0;
  kvfs_MemSet(first, sizeof(first), 0);
  kvfs_MemSet(second, sizeof(second), 0);
  if (Dev->pOps->pfuncLoadPageSpare(Dev, Block, 1, first, &flip) != KVFS_OK || first[KVFS_TAG_OFF_BAD] != 0xFF) {
    return 0xE0;
  }
  if (Dev->pOps->pfuncLoadPageSpare(Dev, Block, 2, second, &flip) == KVFS_OK && second[KVFS_TAG_OFF_BAD] == 0xFF) {
    return KvfsTagIsErased(first) ? 0xFF : 1;
  }
  return 0xE0;
}

UINT32 kvfs_EraseBucket(UINT32 EraseCount) {
  UINT32 bucket = EraseCount >> KVFS_ERASE_BUCKET_SHIFT;
  return bucket >= KVFS_ERASE_BUCKETS - 1 ? KVFS_ERASE_BUCKETS - 1 : bucket;
}

UINT32 kvfs_NextSeq(KVFS_DEVICE *Dev) { return ++Dev->ulSeq; }

VOID kvfs_UndoSeq(KVFS_DEVICE *Dev) { Dev->ulSeq--; }

UINT32 kvfs_BlockSeq(KVFS_DEVICE *Dev, UINT32 Block) {
  UINT8 tag[KVFS_TAG_SIZE];
  UINT32 flip = 0;
  kvfs_MemSet(tag, sizeof(tag), 0xFF);
  if (Dev->pOps->pfuncLoadPageSpare(Dev, Block, 1, tag, &flip) == KVFS_OK && !KvfsTagIsErased(tag)) {
    return KvfsGet32(tag + KVFS_TAG_OFF_SEQ);
  }
  return kvfs_NextSeq(Dev);
}

static VOID MarkIdUsed(UINT8 *Bitmap, UINT32 Limit, UINT32 Id) {
  if (Id >= 1 && Id <= Limit) Bitmap[Id >> 3] |= (UINT8)(1u << (Id & 7));
}

static VOID MarkTableIds(UINT8 *Bitmap, UINT32 Limit, CONST KVFS_NODE_LIST *Table, UINT32 Buckets) {
  for (UINT32 b = 0; b < Buckets; b++) {
    for (KVFS_BLOCK_NODE *n = Table[b].pHead; n != NULL; n = n->pHashNext) MarkIdUsed(Bitmap, Limit, n->ulObjectID);
  }
}

// The smallest ID from 1 up that no directory, file or bad-table node and no
// open object uses. Only as many IDs as there are users can be taken, so the
// answer lies within users + 1 and a bitmap of that size decides it.
UINT32 kvfs_AllocObjectID(KVFS_DEVICE *Dev) {
  if (Dev == NULL) return KVFS_NO_OBJECT_ID;
  UINT32 users = Dev->ulNodeCount + 2 * KVFS_OBJECTS_PER_DEVICE + 1;
  UINT32 limit = users + 1;
  if (limit >= 0xFFFFFFFEu) limit = 0xFFFFFFFDu;
  UINT8 *bitmap = (UINT8 *)kvfs_Malloc(Dev, limit / 8 + 1);
  if (bitmap == NULL) return KVFS_NO_OBJECT_ID;
  kvfs_MemSet(bitmap, limit / 8 + 1, 0);
  MarkTableIds(bitmap, limit, Dev->astDirHash, KVFS_DIR_HASH_BUCKETS);
  MarkTableIds(bitmap, limit, Dev->astFileHash, KVFS_FILE_HASH_BUCKETS);
  if (Dev->pBadTable != NULL) MarkIdUsed(bitmap, limit, Dev->pBadTable->ulObjectID);
  UINT32 found = KVFS_NO_OBJECT_ID;
  for (UINT32 id = 1; id <= limit; id++) {
    if (bitmap[id >> 3] & (1u << (id & 7))) continue;
    if (g_pfnKvfsOpenObjectUsesId != NULL && g_pfnKvfsOpenObjectUsesId(Dev, id)) continue;
    found = id;
    break;
  }
  kvfs_Free(Dev, bitmap);
  return found;
}

UINT16 kvfs_NameSum(CONST CHAR8 *Name, UINT32 Length) {
  UINT8 sum = 0;
  UINT8 xorSum = 0;
  for (UINT32 i = 0; i < Length; i++) {
    UINT8 c = (UINT8)Name[i];
    if (c >= 'A' && c <= 'Z') c = (UINT8)(c - 'A' + 'a');
    sum = (UINT8)(sum + c);
    xorSum ^= c;
  }
  return (UINT16)(sum | (xorSum << 8));
}

VOID kvfs_DebugLog(UINT32 ModuleId, UINT32 LevelWord, UINT32 Level, CONST CHAR8 *Format, UINTN Arg1, UINTN Arg2,
                   UINTN Arg3, UINTN Arg4) {
  // Only the level of the call decides; tracing is never printed.
  if (Level == KVFS_LOG_TRACE || Format == NULL) return;
  DebugPrint(DEBUG_ERROR, Format, Arg1, Arg2, Arg3, Arg4);
}

VOID *kvfs_Malloc(KVFS_DEVICE *Dev, UINTN Size) {
  VOID *buffer = NULL;
  if (gBS->AllocatePool(EfiBootServicesData, Size, &buffer) != EFI_SUCCESS) buffer = NULL;
  KVFS_LOG(KVFS_LOG_TRACE, "[kvfs_Malloc]:dev 0x%x size %d -> 0x%x\n", Dev, Size, buffer, 4);
  return buffer;
}

VOID kvfs_Free(KVFS_DEVICE *Dev, VOID *Buffer) {
  KVFS_LOG(KVFS_LOG_TRACE, "[kvfs_Free]:dev 0x%x buffer 0x%x\n", Dev, Buffer, 3, 4);
  if (Buffer != NULL) gBS->FreePool(Buffer);
}

VOID kvfs_MemSet(VOID *Buffer, UINTN Length, UINT8 Value) { InternalSetMem(Buffer, Length, Value); }

VOID kvfs_MemCpy(VOID *Destination, CONST VOID *Source, UINTN Length) {
  InternalCopyMem(Destination, Source, Length);
}

VOID kvfs_GlobalLock(VOID) {}
VOID kvfs_GlobalUnLock(VOID) {}
VOID kvfs_DeviceLock(KVFS_DEVICE *Dev) {}
VOID kvfs_DeviceUnLock(KVFS_DEVICE *Dev) {}

static KVFS_DEVICE *FindDeviceQuietly(UINT32 DevNum) {
  KVFS_DEVICE *table = kvfs_GetDeviceTable();
  for (UINT32 i = 0; i < KVFS_MAX_DEVICES; i++) {
    if (table[i].ucInUse && table[i].usDevNum == DevNum) return &table[i];
  }
  return NULL;
}

KVFS_STATUS kvfs_DeviceLockByNum(UINT32 DevNum) {
  KVFS_DEVICE *dev = FindDeviceQuietly(DevNum);
  if (dev == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_DeviceLockByNum]:dev is null!!\r\n", 1, 2, 3, 4);
    return KVFS_ERR_PARAM;
  }
  kvfs_DeviceLock(dev);
  return KVFS_OK;
}

KVFS_STATUS kvfs_DeviceUnLockByNum(UINT32 DevNum) {
  KVFS_DEVICE *dev = FindDeviceQuietly(DevNum);
  if (dev == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_DeviceUnLockByNum]:dev is null!!\r\n", 1, 2, 3, 4);
    return KVFS_ERR_PARAM;
  }
  kvfs_DeviceUnLock(dev);
  return KVFS_OK;
}
