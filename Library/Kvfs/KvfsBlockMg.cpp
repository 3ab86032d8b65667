// kvfs block management: block info cache, erased pool with reserve and
// static wear levelling, erase records, hash tables and buckets, block
// copies and recovery.
#include "Kvfs/KvfsBlockMg.h"

#include "Kvfs/KvfsBadBlock.h"
#include "Kvfs/KvfsHwEcc.h"
#include "Kvfs/KvfsPageCache.h"

KVFS_NOW_FN g_pfnKvfsNow = NULL;

// ======================= Block info cache =======================

static VOID BlockInfoUnlink(KVFS_DEVICE *Dev, KVFS_BLOCK_INFO *Info) {
  if (Info->pPrev != NULL) Info->pPrev->pNext = Info->pNext; else Dev->pBlockInfoHead = Info->pNext;
  if (Info->pNext != NULL) Info->pNext->pPrev = Info->pPrev; else Dev->pBlockInfoTail = Info->pPrev;
  Info->pNext = Info->pPrev = NULL;
}

static VOID BlockInfoAppend(KVFS_DEVICE *Dev, KVFS_BLOCK_INFO *Info) {
  Info->pPrev = Dev->pBlockInfoTail;
  Info->pNext = NULL;
  if (Dev->pBlockInfoTail != NULL) Dev->pBlockInfoTail->pNext = Info; else Dev->pBlockInfoHead = Info;
  Dev->pBlockInfoTail = Info;
}

KVFS_BLOCK_INFO *kvfs_IsInBlockInfoList(KVFS_DEVICE *Dev, UINT32 Block) {
  for (KVFS_BLOCK_INFO *i = Dev->pBlockInfoHead; i != NULL; i = i->pNext) {
    if (i->ulBlockNum == Block) return i;
  }
  return NULL;
}

static VOID ExpireAllPages(KVFS_DEVICE *Dev, KVFS_BLOCK_INFO *Info) {
  for (UINT32 p = 0; p < KvfsDataPages(Dev); p++) Info->pPages[p].ucFlag |= KVFS_BI_EXPIRED;
  Info->iExpiredCount = (INT32)KvfsDataPages(Dev);
}

KVFS_BLOCK_INFO *kvfs_GetBlockInfo(KVFS_DEVICE *Dev, UINT32 Block) {
  if (!kvfs_BlockInRange(Dev, Block)) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_GetBlockInfo]:BlockNum 0x%x out of range!\r\n", Block, 2, 3, 4);
    return NULL;
  }
  KVFS_BLOCK_INFO *info = kvfs_IsInBlockInfoList(Dev, Block);
  if (info != NULL) {
    info->refCount++;
    return info;
  }
  for (info = Dev->pBlockInfoHead; info != NULL; info = info->pNext) {
    if (info->refCount == 0) break;
  }
  if (info == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_GetBlockInfo]:pBlockInfo is null!\r\n", 1, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_NO_BLOCK_INFO;
    return NULL;
  }
  info->refCount = 1;
  info->ulBlockNum = Block;
  ExpireAllPages(Dev, info);
  BlockInfoUnlink(Dev, info);
  BlockInfoAppend(Dev, info);
  return info;
}

// Reads one tag, once more on failure; a second failure records the block
// as unreadable.
static KVFS_STATUS LoadOneTag(KVFS_DEVICE *Dev, KVFS_BLOCK_INFO *Info, UINT32 Index, UINT32 *BitFlip) {
  KVFS_BLOCK_INFO_PAGE *page = &Info->pPages[Index];
  for (UINT32 attempt = 0; attempt < 2; attempt++) {
    if (Dev->pOps->pfuncLoadPageSpare(Dev, Info->ulBlockNum, Index + 1, page->aucTag, BitFlip) == KVFS_OK) {
      page->ucFlag &= (UINT8)~KVFS_BI_EXPIRED;
      Info->iExpiredCount--;
      return KVFS_OK;
    }
  }
  kvfs_FindBadBlock(Dev, Info->ulBlockNum, KVFS_BAD_READ);
  return KVFS_ERR_BI_TAG_UNREADABLE;
}

static VOID MarkRestErased(KVFS_DEVICE *Dev, KVFS_BLOCK_INFO *Info, UINT32 From) {
  for (UINT32 j = From; j < KvfsDataPages(Dev); j++) {
    KVFS_BLOCK_INFO_PAGE *page = &Info->pPages[j];
    if (page->ucFlag & KVFS_BI_EXPIRED) {
      kvfs_MemSet(page->aucTag, KVFS_TAG_SIZE, 0xFF);
      page->ucFlag &= (UINT8)~KVFS_BI_EXPIRED;
      Info->iExpiredCount--;
    }
  }
}

KVFS_STATUS kvfs_LoadBlockInfo(KVFS_DEVICE *Dev, KVFS_BLOCK_INFO *Info, INT32 Page, UINT32 *BitFlip) {
  if (Dev == NULL || Info == NULL) return KVFS_ERR_PARAM;
  UINT32 pages = KvfsDataPages(Dev);
  if (Page != KVFS_ALL_PAGES) {
    if (Page < 0 || (UINT32)Page >= pages) {
      KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_LoadBlockInfo]:pageID %d out of range!\r\n", Page, 2, 3, 4);
      return KVFS_ERR_BI_PAGE_RANGE;
    }
    if (!(Info->pPages[Page].ucFlag & KVFS_BI_EXPIRED)) return KVFS_OK;
    return LoadOneTag(Dev, Info, (UINT32)Page, BitFlip);
  }
  for (UINT32 i = 0; i < pages; i++) {
    KVFS_BLOCK_INFO_PAGE *page = &Info->pPages[i];
    if (page->ucFlag & KVFS_BI_EXPIRED) {
      KVFS_STATUS status = LoadOneTag(Dev, Info, i, BitFlip);
      if (status != KVFS_OK) return status;
    }
    // The pages of a block are written in order: the first erased one ends
    // the written part.
    if (KvfsTagIsErased(page->aucTag)) {
      MarkRestErased(Dev, Info, i + 1);
      return KVFS_OK;
    }
  }
  return KVFS_OK;
}

VOID kvfs_ExpireBlockInfo(KVFS_DEVICE *Dev, KVFS_BLOCK_INFO *Info, INT32 Page) {
  if (Info == NULL) return;
  UINT32 pages = KvfsDataPages(Dev);
  for (UINT32 i = 0; i < pages; i++) {
    if (Page != KVFS_ALL_PAGES && (UINT32)Page != i) continue;
    if (!(Info->pPages[i].ucFlag & KVFS_BI_EXPIRED)) {
      Info->pPages[i].ucFlag |= KVFS_BI_EXPIRED;
      Info->iExpiredCount++;
    }
  }
}

VOID kvfs_ExpireAllBlockInfo(KVFS_DEVICE *Dev) {
  for (KVFS_BLOCK_INFO *i = Dev->pBlockInfoHead; i != NULL; i = i->pNext) kvfs_ExpireBlockInfo(Dev, i, KVFS_ALL_PAGES);
}

VOID kvfs_ExpireBlockInfoOfBlock(KVFS_DEVICE *Dev, UINT32 Block) {
  kvfs_ExpireBlockInfo(Dev, kvfs_IsInBlockInfoList(Dev, Block), KVFS_ALL_PAGES);
}

KVFS_STATUS kvfs_PutBackBlockInfo(KVFS_DEVICE *Dev, KVFS_BLOCK_INFO *Info) {
  if (Info == NULL) return KVFS_ERR_PARAM;
  if (Info->refCount == 0) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_PutBackBlockInfo]:Put an unused block info cache back ?\n", 1, 2, 3, 4);
    return KVFS_ERR_BI_PUT_UNUSED;
  }
  Info->refCount--;
  return KVFS_OK;
}

INT32 FindPageInBlock(KVFS_DEVICE *Dev, KVFS_BLOCK_INFO *Info, UINT32 PageID) {
  UINT32 pages = KvfsDataPages(Dev);
  if (PageID >= pages) return KVFS_NO_PAGE;
  // Down to index 0: an append puts a page at the next free index, which
  // may lie below its page ID when the object has gaps.
  for (INT32 i = (INT32)pages - 1; i >= 0; i--) {
    if (kvfs_LoadBlockInfo(Dev, Info, i, NULL) != KVFS_OK) return KVFS_NO_PAGE;
    CONST UINT8 *tag = Info->pPages[i].aucTag;
    if (!KvfsTagIsErased(tag) && KvfsGet32(tag + KVFS_TAG_OFF_PAGE_ID) == PageID) return i;
  }
  return KVFS_NO_PAGE;
}

UINT32 FreePageCount(KVFS_DEVICE *Dev, KVFS_BLOCK_INFO *Info) {
  // The written pages of a block are a prefix (pages go to the next free
  // index; the mount rewrites a block with a gap), so the first erased
  // index is found by halving: a handful of tags instead of a block's worth.
  UINT32 low = 0, high = KvfsDataPages(Dev);  // the first erased index lies in [low, high]
  while (low < high) {
    UINT32 mid = low + (high - low) / 2;
    if (IsPageErased(Dev, Info, mid)) {
      high = mid;
    } else {
      low = mid + 1;
    }
  }
  return KvfsDataPages(Dev) - low;
}

BOOLEAN IsPageErased(KVFS_DEVICE *Dev, KVFS_BLOCK_INFO *Info, UINT32 Index) {
  if (kvfs_LoadBlockInfo(Dev, Info, (INT32)Index, NULL) != KVFS_OK) return FALSE;
  return KvfsTagIsErased(Info->pPages[Index].aucTag);
}

UINT32 kvfs_BlockInfoInUse(KVFS_DEVICE *Dev) {
  UINT32 count = 0;
  for (KVFS_BLOCK_INFO *i = Dev->pBlockInfoHead; i != NULL; i = i->pNext) count += i->refCount > 0 ? 1 : 0;
  return count;
}

UINT8 kvfs_CopyBatchByte(INT32 Index, INT32 LastCommitted) {
  return Index == LastCommitted ? KVFS_BATCH_END : KVFS_BATCH_CONTINUES;
}

INT32 kvfs_LastCommittedIndex(KVFS_BLOCK_INFO *Info, INT32 Limit) {
  for (INT32 i = Limit - 1; i >= 0; i--) {
    CONST UINT8 *tag = Info->pPages[i].aucTag;
    if (!KvfsTagIsErased(tag) && tag[KVFS_TAG_OFF_BATCH] == KVFS_BATCH_END) return i;
  }
  return -1;
}

// ======================= Lists =======================

static BOOLEAN IsErasedBucketOf(KVFS_DEVICE *Dev, KVFS_NODE_LIST *List, KVFS_BLOCK_NODE *Node) {
  return List == &Dev->astErased[kvfs_EraseBucket(Node->ulEraseCount)];
}

KVFS_STATUS kvfs_InsertToList(KVFS_DEVICE *Dev, KVFS_NODE_LIST *List, KVFS_BLOCK_NODE *Node) {
  if (Dev == NULL || List == NULL || Node == NULL) return KVFS_ERR_PARAM;
  Node->pPrev = List->pTail;
  Node->pNext = NULL;
  if (List->pTail != NULL) List->pTail->pNext = Node; else List->pHead = Node;
  List->pTail = Node;
  if (IsErasedBucketOf(Dev, List, Node)) {
    Dev->ulErasedCount++;
    if (Dev->ulErasedCount >= KVFS_RESERVED_ERASED) Dev->ulReserve = 0;
  }
  return KVFS_OK;
}

KVFS_STATUS kvfs_BreakFromList(KVFS_DEVICE *Dev, KVFS_NODE_LIST *List, KVFS_BLOCK_NODE *Node) {
  if (Dev == NULL || List == NULL || Node == NULL) return KVFS_ERR_PARAM;
  BOOLEAN linked = Node->pPrev != NULL ? Node->pPrev->pNext == Node : List->pHead == Node;
  if (!linked) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_BreakFromList]:break from list  error \n", 1, 2, 3, 4);
    return KVFS_ERR_NOT_FOUND;
  }
  if (Node->pPrev != NULL) Node->pPrev->pNext = Node->pNext; else List->pHead = Node->pNext;
  if (Node->pNext != NULL) Node->pNext->pPrev = Node->pPrev; else List->pTail = Node->pPrev;
  Node->pNext = Node->pPrev = NULL;
  if (IsErasedBucketOf(Dev, List, Node) && Dev->ulErasedCount > 0) Dev->ulErasedCount--;
  return KVFS_OK;
}

KVFS_STATUS kvfs_InsertToHashList(KVFS_DEVICE *Dev, KVFS_NODE_LIST *List, KVFS_BLOCK_NODE *Node) {
  if (Dev == NULL || List == NULL || Node == NULL) return KVFS_ERR_PARAM;
  Node->pHashNext = NULL;
  if (List->pTail != NULL) List->pTail->pHashNext = Node; else List->pHead = Node;
  List->pTail = Node;
  if (List == &Dev->stBadList) {
    Dev->ulBadCount++;
    Dev->ulBadChanged = 1;
  } else if (List == &Dev->stSecondList) {
    Dev->ulSecondCount++;
  }
  return KVFS_OK;
}

KVFS_STATUS kvfs_BreakFromHashList(KVFS_DEVICE *Dev, KVFS_NODE_LIST *List, KVFS_BLOCK_NODE *Node) {
  if (Dev == NULL || List == NULL || Node == NULL) return KVFS_ERR_PARAM;
  KVFS_BLOCK_NODE *prev = NULL;
  KVFS_BLOCK_NODE *cur = List->pHead;
  while (cur != NULL && cur != Node) {
    prev = cur;
    cur = cur->pHashNext;
  }
  if (cur == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_BreakFromList]:break from list  error \n", 1, 2, 3, 4);
    return KVFS_ERR_NOT_FOUND;
  }
  if (prev != NULL) prev->pHashNext = Node->pHashNext; else List->pHead = Node->pHashNext;
  if (List->pTail == Node) List->pTail = prev;
  Node->pHashNext = NULL;
  if (List == &Dev->stBadList) {
    if (Dev->ulBadCount > 0) Dev->ulBadCount--;
    Dev->ulBadChanged = 1;
  } else if (List == &Dev->stSecondList) {
    if (Dev->ulSecondCount > 0) Dev->ulSecondCount--;
  }
  return KVFS_OK;
}

static KVFS_NODE_LIST *HashListOf(KVFS_DEVICE *Dev, UINT32 Type, UINT32 FatherID, UINT32 ObjectID) {
  switch (Type) {
    case KVFS_TYPE_DIR: return &Dev->astDirHash[ObjectID & (KVFS_DIR_HASH_BUCKETS - 1)];
    case KVFS_TYPE_FILE: return &Dev->astFileHash[ObjectID & (KVFS_FILE_HASH_BUCKETS - 1)];
    case KVFS_TYPE_DATA: return &Dev->astDataHash[FatherID & (KVFS_DATA_HASH_BUCKETS - 1)];
    default: return NULL;
  }
}

KVFS_STATUS kvfs_InsertToComEntry(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node, UINT32 Type) {
  if (Dev == NULL || Node == NULL || Type > KVFS_TYPE_BAD_TABLE) return KVFS_ERR_PARAM;
  kvfs_GlobalLock();
  if (Type == KVFS_TYPE_BAD_TABLE) {
    Dev->pBadTable = Node;
  } else {
    kvfs_InsertToHashList(Dev, HashListOf(Dev, Type, Node->ulFatherID, Node->ulObjectID), Node);
  }
  kvfs_InsertToList(Dev, &Dev->astUsed[kvfs_EraseBucket(Node->ulEraseCount)], Node);
  Node->ucWhere = KVFS_NODE_USED;
  Node->ucType = (UINT8)Type;
  kvfs_GlobalUnLock();
  return KVFS_OK;
}

KVFS_STATUS kvfs_BreakFromComEntry(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node, UINT32 Type) {
  if (Dev == NULL || Node == NULL || Type > KVFS_TYPE_BAD_TABLE) return KVFS_ERR_PARAM;
  kvfs_GlobalLock();
  KVFS_STATUS status = KVFS_OK;
  if (Type == KVFS_TYPE_BAD_TABLE) {
    if (Dev->pBadTable == Node) Dev->pBadTable = NULL; else status = KVFS_ERR_NOT_FOUND;
  } else {
    status = kvfs_BreakFromHashList(Dev, HashListOf(Dev, Type, Node->ulFatherID, Node->ulObjectID), Node);
  }
  KVFS_STATUS bucket = kvfs_BreakFromList(Dev, &Dev->astUsed[kvfs_EraseBucket(Node->ulEraseCount)], Node);
  if (status == KVFS_OK) status = bucket;
  Node->ucWhere = KVFS_NODE_NOWHERE;
  Node->ucType = KVFS_TYPE_NONE;
  kvfs_GlobalUnLock();
  return status;
}

KVFS_BLOCK_NODE *kvfs_FindNode(KVFS_DEVICE *Dev, UINT32 Type, UINT32 FatherID, UINT32 ObjectID) {
  if (Type == KVFS_TYPE_BAD_TABLE) {
    KVFS_BLOCK_NODE *n = Dev->pBadTable;
    return n != NULL && n->ulObjectID == ObjectID && n->ulFatherID == FatherID ? n : NULL;
  }
  KVFS_NODE_LIST *list = HashListOf(Dev, Type, FatherID, ObjectID);
  if (list == NULL) return NULL;
  for (KVFS_BLOCK_NODE *n = list->pHead; n != NULL; n = n->pHashNext) {
    if (n->ulFatherID == FatherID && n->ulObjectID == ObjectID) return n;
  }
  return NULL;
}

static KVFS_BLOCK_NODE *FindInTable(KVFS_NODE_LIST *Table, UINT32 Buckets, UINT32 Block) {
  for (UINT32 b = 0; b < Buckets; b++) {
    for (KVFS_BLOCK_NODE *n = Table[b].pHead; n != NULL; n = n->pHashNext) {
      if (n->ulBlockNum == Block) return n;
    }
  }
  return NULL;
}

KVFS_BLOCK_NODE *kvfs_FindNodeByBlock(KVFS_DEVICE *Dev, UINT32 Block) {
  KVFS_BLOCK_NODE *n = FindInTable(Dev->astDirHash, KVFS_DIR_HASH_BUCKETS, Block);
  if (n == NULL) n = FindInTable(Dev->astFileHash, KVFS_FILE_HASH_BUCKETS, Block);
  if (n == NULL) n = FindInTable(Dev->astDataHash, KVFS_DATA_HASH_BUCKETS, Block);
  if (n == NULL && Dev->pBadTable != NULL && Dev->pBadTable->ulBlockNum == Block) n = Dev->pBadTable;
  return n;
}

VOID kvfs_MoveUsedBucket(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node, UINT32 OldEraseCount) {
  UINT32 oldBucket = kvfs_EraseBucket(OldEraseCount);
  UINT32 newBucket = kvfs_EraseBucket(Node->ulEraseCount);
  if (oldBucket == newBucket) return;
  UINT32 now = Node->ulEraseCount;
  Node->ulEraseCount = OldEraseCount;
  kvfs_BreakFromList(Dev, &Dev->astUsed[oldBucket], Node);
  Node->ulEraseCount = now;
  kvfs_InsertToList(Dev, &Dev->astUsed[newBucket], Node);
}

KVFS_STATUS kvfs_BlockMgExamination(KVFS_DEVICE *Dev) {
  UINT32 count = 0;
  for (UINT32 b = 0; b < KVFS_ERASE_BUCKETS && count <= Dev->ulErasedCount; b++) {
    for (KVFS_BLOCK_NODE *n = Dev->astErased[b].pHead; n != NULL && count <= Dev->ulErasedCount; n = n->pNext) count++;
  }
  if (count != Dev->ulErasedCount) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_BlockMgExamination]:erasedCnt error %d - %d, remount the partition\n", count,
             Dev->ulErasedCount, 3, 4);
    return KVFS_FAIL;
  }
  return KVFS_OK;
}

// Exchanges the erase counts of a used node and the node that takes its old
// block, keeping the used node in the bucket of its new count.
static VOID SwapEraseCounts(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Used, KVFS_BLOCK_NODE *Other) {
  UINT32 old = Used->ulEraseCount;
  Used->ulEraseCount = Other->ulEraseCount;
  Other->ulEraseCount = old;
  if (Used->ucWhere == KVFS_NODE_USED) kvfs_MoveUsedBucket(Dev, Used, old);
}

static VOID SwapBlocks(KVFS_BLOCK_NODE *A, KVFS_BLOCK_NODE *B) {
  UINT32 block = A->ulBlockNum;
  A->ulBlockNum = B->ulBlockNum;
  B->ulBlockNum = block;
}

// ======================= Erased pool =======================

VOID PutErasedBlock(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node) {
  Node->ucWhere = KVFS_NODE_ERASED;
  Node->ucType = KVFS_TYPE_NONE;
  Node->iHeaderPage = -1;
  kvfs_InsertToList(Dev, &Dev->astErased[kvfs_EraseBucket(Node->ulEraseCount)], Node);
}

static VOID ResetNode(KVFS_BLOCK_NODE *Node) {
  Node->ulFatherID = 0;
  Node->ulObjectID = 0;
  Node->ulSize = 0;
  Node->ulNameSum = 0;
  Node->ulBitFlip = 0;
  Node->iHeaderPage = -1;
  Node->ulNameRecFlag = 0;
  Node->pNameRec = NULL;
  Node->ucWhere = KVFS_NODE_NOWHERE;
  Node->ucType = KVFS_TYPE_NONE;
}

KVFS_BLOCK_NODE *kvfs_GetErasedWithoutReservation(KVFS_DEVICE *Dev) {
  KVFS_BLOCK_NODE *node = NULL;
  for (UINT32 b = 0; b < KVFS_ERASE_BUCKETS && node == NULL; b++) {
    if (Dev->astErased[b].pHead != NULL) {
      node = Dev->astErased[b].pHead;
      kvfs_BreakFromList(Dev, &Dev->astErased[b], node);
    }
  }
  if (node != NULL && !kvfs_BlockInRange(Dev, node->ulBlockNum)) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_GetErasedWithoutReservation]:ERROR: invalid blockNode:%x - %d\n", node,
             node->ulBlockNum, 3, 4);
    Dev->ulReserve = 1;
    return NULL;
  }
  if (node == NULL || Dev->ulErasedCount < KVFS_RESERVED_ERASED) {
    kvfs_BlockMgExamination(Dev);
    Dev->ulReserve = 1;
  }
  if (node != NULL) ResetNode(node);
  return node;
}

// Erases a block and writes its erase record; its cached tags are void.
static KVFS_STATUS EraseWithRecord(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node) {
  kvfs_ExpireBlockInfoOfBlock(Dev, Node->ulBlockNum);
  KVFS_STATUS status = Dev->pOps->pfuncEraseBlock(Dev, Node->ulBlockNum);
  if (status != KVFS_OK) return status;
  return kvfs_WriteBlockEraseTime(Dev, Node->ulBlockNum, Node);
}

KVFS_BLOCK_NODE *kvfs_GetErased(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Busy) {
  if (Dev->ulReserve) {
    KVFS_LOG(KVFS_LOG_TRACE, "[kvfs_GetErased]:no available erased blocks\n", 1, 2, 3, 4);
    return NULL;
  }
  Dev->ulAllocCount++;
  for (;;) {
    KVFS_BLOCK_NODE *erased = kvfs_GetErasedWithoutReservation(Dev);
    if (erased == NULL || (Dev->ulAllocCount % KVFS_WEAR_LEVEL_PERIOD) != 0 || g_ulKvfsSafeClose) return erased;
    // Static wear levelling: move the coldest block in use into this worn
    // erased block. The caller's own node is never moved: the caller holds
    // its block number and tags.
    UINT32 e = erased->ulEraseCount;
    KVFS_BLOCK_NODE *cold = NULL;
    for (UINT32 b = 0; b <= kvfs_EraseBucket(e) && cold == NULL; b++) {
      if (Dev->astUsed[b].pHead == NULL) continue;
      cold = Dev->astUsed[b].pHead;
      if (cold == Busy) cold = cold->pNext;
      break;
    }
    if (cold == NULL || cold->ulEraseCount >= e) return erased;
    KVFS_STATUS status = kvfs_BlockCpy(Dev, erased, cold);
    if (status == KVFS_ERR_NO_BI_OR_BUF) return erased;
    if (status == KVFS_ERR_CPY_WRITE) {
      MarkBadBlock(Dev, erased, KVFS_BAD_WRITE);
      continue;
    }
    if (status == KVFS_OK) {
      SwapBlocks(erased, cold);
      SwapEraseCounts(Dev, cold, erased);
      kvfs_ExpireBlockInfoOfBlock(Dev, cold->ulBlockNum);
    }
    if (EraseWithRecord(Dev, erased) != KVFS_OK) {
      MarkBadBlock(Dev, erased, KVFS_BAD_ERASE);
      continue;
    }
    return erased;
  }
}

KVFS_STATUS kvfs_WriteBlockEraseTime(KVFS_DEVICE *Dev, UINT32 Block, KVFS_BLOCK_NODE *Node) {
  UINT32 pds = KvfsPds(Dev);
  UINT8 *page = (UINT8 *)kvfs_Malloc(Dev, pds + KVFS_TAG_SIZE);
  if (page == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_WriteBlockEraseTime]:malloc return fail\r\n", 1, 2, 3, 4);
    return KVFS_ERR_NO_MEMORY;
  }
  kvfs_MemSet(page, pds + KVFS_TAG_SIZE, 0xFF);
  Node->ulEraseCount++;
  KvfsPut32(page + KVFS_ERASE_OFF_MAGIC, KVFS_ERASE_MAGIC);
  KvfsPut32(page + KVFS_ERASE_OFF_COUNT, Node->ulEraseCount);
  KVFS_STATUS status = Dev->pOps->pfuncWritePage(Dev, Block, 0, page, page + pds);
  kvfs_Free(Dev, page);
  if (status != KVFS_OK) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_WriteBlockEraseTime]:write page return error\r\n", 1, 2, 3, 4);
    return KVFS_ERR_PAGE_WRITE;
  }
  return KVFS_OK;
}

KVFS_STATUS ReleaseBlock(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node) {
  Node->iHeaderPage = -1;
  kvfs_ExpireBlockInfoOfBlock(Dev, Node->ulBlockNum);
  KVFS_STATUS erase = Dev->pOps->pfuncEraseBlock(Dev, Node->ulBlockNum);
  kvfs_WriteBlockEraseTime(Dev, Node->ulBlockNum, Node);
  if (erase != KVFS_OK) {
    kvfs_FindBadBlock(Dev, Node->ulBlockNum, KVFS_BAD_ERASE);
    MarkBadBlock(Dev, Node, KVFS_BAD_ERASE);
    return erase;
  }
  PutErasedBlock(Dev, Node);
  return KVFS_OK;
}

VOID kvfs_RetireFailedBlock(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node) {
  kvfs_ExpireBlockInfoOfBlock(Dev, Node->ulBlockNum);
  MarkBadBlock(Dev, Node, KVFS_BAD_WRITE);
}

// ======================= Copies =======================

// Written data pages of a block whose tags are loaded.
static UINT32 WrittenPages(KVFS_DEVICE *Dev, KVFS_BLOCK_INFO *Info) {
  return KvfsDataPages(Dev) - FreePageCount(Dev, Info);
}

KVFS_STATUS kvfs_BlockCpy(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Dest, KVFS_BLOCK_NODE *Src) {
  KVFS_PAGE_BUF *buf = kvfs_GetRemainBuf(Dev);
  if (buf == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_BlockCpy]:No remain page buffer\n", 1, 2, 3, 4);
    return KVFS_ERR_NO_BI_OR_BUF;
  }
  KVFS_STATUS status = KVFS_OK;
  if (Src->ucType == KVFS_TYPE_DIR) {
    INT32 header = Src->iHeaderPage;
    if (header < 0) {
      KVFS_BLOCK_INFO *info = kvfs_GetBlockInfo(Dev, Src->ulBlockNum);
      if (info != NULL) {
        header = FindPageInBlock(Dev, info, 0);
        kvfs_PutBackBlockInfo(Dev, info);
      }
    }
    UINT32 flip = 0;
    BOOLEAN read = header >= 0 &&
                   kvfs_FillPageBufFromFlash(Dev, buf, Src->ulBlockNum, (UINT32)header, FALSE, &flip) == KVFS_OK;
    if (!read) read = kvfs_RecoverDir(Dev, Src, buf) == KVFS_OK;
    if (!read) {
      KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_BlockCpy]:read error, blockNum: %d, pageNum: %d\n", Src->ulBlockNum, header, 3,
               4);
      status = KVFS_ERR_CPY_READ;
    } else if (kvfs_FlushPageBufToFlash(Dev, buf, Dest->ulBlockNum, 0, FALSE, KvfsGet32(buf->pTag + KVFS_TAG_OFF_SEQ),
                                        KVFS_BATCH_END) != KVFS_OK) {
      KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_BlockCpy]:write error, blockNum: %d, pageNum: 0\n", Dest->ulBlockNum, 2, 3, 4);
      status = KVFS_ERR_CPY_WRITE;
    } else {
      Src->iHeaderPage = 0;
    }
    kvfs_PutBackBuf(Dev, buf);
    return status;
  }
  KVFS_BLOCK_INFO *info = kvfs_GetBlockInfo(Dev, Src->ulBlockNum);
  if (info == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_BlockCpy]:No free block info\n", 1, 2, 3, 4);
    kvfs_PutBackBuf(Dev, buf);
    return KVFS_ERR_NO_BI_OR_BUF;
  }
  if (kvfs_LoadBlockInfo(Dev, info, KVFS_ALL_PAGES, &Src->ulBitFlip) != KVFS_OK) {
    kvfs_PutBackBlockInfo(Dev, info);
    kvfs_PutBackBuf(Dev, buf);
    return KVFS_ERR_NO_BI_OR_BUF;
  }
  UINT32 seq = KvfsGet32(info->pPages[0].aucTag + KVFS_TAG_OFF_SEQ);
  INT32 written = (INT32)WrittenPages(Dev, info);
  INT32 committed = kvfs_LastCommittedIndex(info, written);
  for (INT32 i = 0; i < written; i++) {
    UINT32 flip = 0;
    if (kvfs_FillPageBufFromFlash(Dev, buf, Src->ulBlockNum, (UINT32)i, FALSE, &flip) != KVFS_OK) {
      KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_BlockCpy]:read data from flash failed\n", 1, 2, 3, 4);
      status = KVFS_ERR_CPY_READ;
      break;
    }
    if (kvfs_FlushPageBufToFlash(Dev, buf, Dest->ulBlockNum, (UINT32)i, FALSE, seq,
                                 kvfs_CopyBatchByte(i, committed)) != KVFS_OK) {
      KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_BlockCpy]:flush data to flash error\n", 1, 2, 3, 4);
      status = KVFS_ERR_CPY_WRITE;
      break;
    }
  }
  kvfs_ExpireBlockInfo(Dev, info, KVFS_ALL_PAGES);
  kvfs_PutBackBlockInfo(Dev, info);
  kvfs_PutBackBuf(Dev, buf);
  return status;
}

// Drops cached pages of the object past the kept page IDs.
static VOID DropPagesFrom(KVFS_DEVICE *Dev, UINT32 FatherID, UINT32 ObjectID, UINT32 FirstDropped) {
  for (UINT32 p = FirstDropped; p < KvfsDataPages(Dev); p++) {
    KVFS_PAGE_BUF *buf = kvfs_IsInBuf(Dev, FatherID, ObjectID, p);
    if (buf == NULL) continue;
    kvfs_PutBackBuf(Dev, buf);
    if (buf->usRefCount == 0) kvfs_ClearBuf(Dev, buf);
  }
}

KVFS_STATUS kvfs_CopyBlockToNew(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node, UINT32 Type, UINT32 NewSize,
                                UINT32 SetSize) {
  if (Dev == NULL || Node == NULL || NewSize > Node->ulSize) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_CopyBlockToNew]:para is error!pDev:0x%x,pNodeOld:0x%x!\r\n", Dev, Node, 3, 4);
    return KVFS_ERR_COPY_SIZE;
  }
  kvfs_FlushAllPageBuf(Dev, 0);
  UINT32 pds = KvfsPds(Dev);
  UINT32 g = NewSize / pds + (Type == KVFS_TYPE_DATA ? 0 : 1);
  UINT32 m = NewSize % pds;
  UINT32 kept = g + (m > 0 ? 1 : 0);
  if (kept > KvfsDataPages(Dev)) kept = KvfsDataPages(Dev);
  KVFS_BLOCK_INFO *info = kvfs_GetBlockInfo(Dev, Node->ulBlockNum);
  if (info == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_CopyBlockToNew]:there is no free block info?\n", 1, 2, 3, 4);
    return KVFS_ERR_NO_BI_OR_BUF;
  }
  if (kvfs_LoadBlockInfo(Dev, info, KVFS_ALL_PAGES, &Node->ulBitFlip) != KVFS_OK) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_CopyBlockToNew]:load block info error?\n", 1, 2, 3, 4);
    kvfs_PutBackBlockInfo(Dev, info);
    return KVFS_ERR_BI_LOAD;
  }
  KVFS_BLOCK_NODE *fresh = kvfs_GetErased(Dev, Node);
  if (fresh == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_CopyBlockToNew]:there is no erased block ?\n", 1, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_NO_SPACE;
    kvfs_PutBackBlockInfo(Dev, info);
    return KVFS_ERR_NO_ERASED;
  }
  fresh->ulNameSum = Node->ulNameSum;
  UINT32 seq = kvfs_NextSeq(Dev);
  BOOLEAN ok = TRUE;
  BOOLEAN writeFailed = FALSE;
  INT32 newHeader = -1;
  // The last page actually written closes the batch.
  INT32 lastToWrite = -1;
  for (UINT32 p = 0; p < kept; p++) {
    KVFS_PAGE_BUF *cached = kvfs_IsInBuf(Dev, Node->ulFatherID, Node->ulObjectID, p);
    if (cached != NULL) {
      kvfs_PutBackBuf(Dev, cached);
      lastToWrite = (INT32)p;
    } else if (FindPageInBlock(Dev, info, p) >= 0) {
      lastToWrite = (INT32)p;
    }
  }
  // A fresh block whose program fails is retired and the copy starts over
  // on another (three blocks at most).
  for (UINT32 attempt = 0; attempt < 3; attempt++) {
    ok = TRUE;
    writeFailed = FALSE;
    for (UINT32 p = 0; p < kept && ok; p++) {
      KVFS_PAGE_BUF *buf = kvfs_IsInBuf(Dev, Node->ulFatherID, Node->ulObjectID, p);
      if (buf == NULL) {
        INT32 index = FindPageInBlock(Dev, info, p);
        KVFS_LOG(KVFS_LOG_TRACE, "[kvfs_CopyBlockToNew]:find best page num is %d page id is %d block number is %d ?\n",
                 index, p, Node->ulBlockNum, 4);
        if ((INT32)p > lastToWrite) break;
        buf = kvfs_GetFreeBuf(Dev);
        if (buf == NULL) {
          ok = FALSE;
          break;
        }
        UINT32 flip = 0;
        if (index < 0) {
          // Never written: an empty page keeps the written part gap-free.
          kvfs_SetFillerPage(Dev, buf, Type, Node->ulFatherID, Node->ulObjectID, p);
        } else if (kvfs_FillPageBufFromFlash(Dev, buf, Node->ulBlockNum, (UINT32)index, TRUE, &flip) != KVFS_OK) {
          BOOLEAN rebuilt = p == 0 && Type == KVFS_TYPE_DIR && kvfs_RecoverDir(Dev, Node, buf) == KVFS_OK;
          if (!rebuilt) {
            kvfs_PutBackBuf(Dev, buf);
            kvfs_ClearBuf(Dev, buf);
            ok = FALSE;
            break;
          }
        }
      }
      buf->ulFatherID = Node->ulFatherID;
      if (p == kept - 1 && m > 0) {
        // The page now ends at the new size: its bytes past it are gone for
        // good, also after a remount that takes sizes from the page lengths.
        kvfs_MemSet(buf->pData + m, pds - m, 0xFF);
        if (buf->usLength > m) buf->usLength = (UINT16)m;
      }
      UINT8 batch = (INT32)p == lastToWrite ? KVFS_BATCH_END : KVFS_BATCH_CONTINUES;
      if (kvfs_FlushPageBufToFlash(Dev, buf, fresh->ulBlockNum, p, buf->usState != KVFS_BUF_DIRTY, seq, batch) !=
          KVFS_OK) {
        writeFailed = TRUE;
        ok = FALSE;
      } else if (p == 0 && Type != KVFS_TYPE_DATA) {
        fresh->ulNameSum = KvfsGet16(buf->pTag + KVFS_TAG_OFF_NAME_SUM);
        newHeader = 0;
      }
      kvfs_PutBackBuf(Dev, buf);
    }
    if (ok || !writeFailed || attempt == 2) break;
    kvfs_RetireFailedBlock(Dev, fresh);
    writeFailed = FALSE;
    fresh = kvfs_GetErased(Dev, Node);
    if (fresh == NULL) {
      ok = FALSE;
      break;
    }
    fresh->ulNameSum = Node->ulNameSum;
  }
  kvfs_PutBackBlockInfo(Dev, info);
  if (!ok) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_CopyBlockToNew]:copy to new block error ?\n", 1, 2, 3, 4);
    if (fresh != NULL) {
      if (writeFailed) kvfs_RetireFailedBlock(Dev, fresh); else ReleaseBlock(Dev, fresh);
    }
    kvfs_UndoSeq(Dev);
    // The cache may hold the shortened last page: the flash still has the old.
    DropPagesFrom(Dev, Node->ulFatherID, Node->ulObjectID, 0);
    return KVFS_ERR_COPY_NEW;
  }
  KVFS_LOG(KVFS_LOG_TRACE, "[kvfs_CopyBlockToNew]:copy block %d to new block %d ok\n", Node->ulBlockNum,
           fresh->ulBlockNum, 3, 4);
  DropPagesFrom(Dev, Node->ulFatherID, Node->ulObjectID, kept);
  SwapEraseCounts(Dev, Node, fresh);
  SwapBlocks(Node, fresh);
  if (SetSize == 1) Node->ulSize = NewSize;
  Node->ucCompact = 1;
  Node->ulNameSum = fresh->ulNameSum;
  Node->iHeaderPage = newHeader;
  fresh->iHeaderPage = -1;
  kvfs_ExpireBlockInfoOfBlock(Dev, fresh->ulBlockNum);
  ReleaseBlock(Dev, fresh);
  return KVFS_OK;
}

KVFS_STATUS kvfs_RecoverBlock(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node, KVFS_FLUSH_CTX *Ctx) {
  if (Dev == NULL || Node == NULL || !kvfs_BlockInRange(Dev, Node->ulBlockNum)) return KVFS_ERR_PARAM;
  KVFS_BLOCK_NODE *fresh = kvfs_GetErased(Dev, Node);
  if (fresh == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_RecoverBlock]:there is no free block?.\n", 1, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_NO_SPACE;
    return KVFS_ERR_NO_ERASED;
  }
  KVFS_BLOCK_INFO *info = kvfs_GetBlockInfo(Dev, Node->ulBlockNum);
  if (info == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_RecoverBlock]:there is no free blockinfo?.\n", 1, 2, 3, 4);
    PutErasedBlock(Dev, fresh);
    return KVFS_ERR_NO_BI_OR_BUF;
  }
  UINT32 pds = KvfsPds(Dev);
  UINT8 *page = (UINT8 *)kvfs_Malloc(Dev, pds + KVFS_TAG_SIZE);
  if (page == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "alloc mem error????.\n", 1, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_NO_MEMORY;
    PutErasedBlock(Dev, fresh);  // the erased block goes back, not lost
    kvfs_PutBackBlockInfo(Dev, info);
    return KVFS_ERR_NO_MEMORY;
  }
  KVFS_STATUS result = KVFS_FAIL;
  for (UINT32 attempt = 0; attempt < 3; attempt++) {
    if (kvfs_LoadBlockInfo(Dev, info, KVFS_ALL_PAGES, &Node->ulBitFlip) != KVFS_OK) {
      ReleaseBlock(Dev, fresh);
      result = KVFS_ERR_BI_LOAD;
      break;
    }
    UINT32 seq = kvfs_NextSeq(Dev);
    INT32 limit = (INT32)WrittenPages(Dev, info);
    if (Ctx != NULL && Ctx->iFailedPage >= 0 && Ctx->iFailedPage < limit) limit = Ctx->iFailedPage;
    INT32 committed = kvfs_LastCommittedIndex(info, limit);
    BOOLEAN writeFailed = FALSE;
    BOOLEAN readFailed = FALSE;
    for (INT32 i = 0; i < limit; i++) {
      UINT32 flip = 0;
      if (Dev->pOps->pfuncLoadPage(Dev, Node->ulBlockNum, (UINT32)i + 1, page, page + pds, &flip) != KVFS_OK) {
        KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_RecoverBlock]:read data from flash error?? block is %d, pageNum is %d.\n",
                 Node->ulBlockNum, i, 3, 4);
        readFailed = TRUE;
        break;
      }
      KvfsPut32(page + pds + KVFS_TAG_OFF_SEQ, seq);
      page[pds + KVFS_TAG_OFF_BATCH] = kvfs_CopyBatchByte(i, committed);
      if (Dev->pOps->pfuncWritePage(Dev, fresh->ulBlockNum, (UINT32)i + 1, page, page + pds) != KVFS_OK) {
        KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_RecoverBlock]:write data to flash error?? block is %d, pageNum is %d.\n",
                 fresh->ulBlockNum, i, 3, 4);
        writeFailed = TRUE;
        break;
      }
    }
    if (readFailed) {
      ReleaseBlock(Dev, fresh);
      g_iKvfsErrNo = KVFS_ENO_RECOVER_READ;
      result = KVFS_ERR_RECOVER_READ;
      break;
    }
    if (writeFailed) {
      kvfs_UndoSeq(Dev);
      kvfs_RetireFailedBlock(Dev, fresh);
      fresh = attempt < 2 ? kvfs_GetErased(Dev, Node) : NULL;
      if (fresh == NULL) {
        result = attempt < 2 ? KVFS_ERR_NO_ERASED : KVFS_FAIL;
        break;
      }
      continue;
    }
    KVFS_LOG(KVFS_LOG_TRACE, "[kvfs_RecoverBlock]:recover old block %d to new block %d successfully.\n",
             Node->ulBlockNum, fresh->ulBlockNum, 3, 4);
    if (Ctx != NULL) Ctx->ulSeq = seq;
    UINT32 oldBlock = Node->ulBlockNum;
    SwapEraseCounts(Dev, Node, fresh);
    SwapBlocks(Node, fresh);
    kvfs_ExpireBlockInfo(Dev, info, KVFS_ALL_PAGES);
    MarkBadBlock(Dev, fresh, KVFS_BAD_WRITE);
    kvfs_ExpireBlockInfoOfBlock(Dev, oldBlock);
    result = KVFS_OK;
    break;
  }
  kvfs_Free(Dev, page);
  kvfs_PutBackBlockInfo(Dev, info);
  return result;
}

KVFS_STATUS kvfs_RecoverBitFlipsNode(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node) {
  if (Node == NULL || !Node->ulBitFlip) return KVFS_OK;
  KVFS_BLOCK_NODE *fresh = kvfs_GetErasedWithoutReservation(Dev);
  if (fresh == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_RecoverBitFlipsNode]:No erased block for pDev: 0x%x, block: %d\n", Dev,
             Node->ulBlockNum, 3, 4);
    return KVFS_FAIL;
  }
  KVFS_STATUS status = kvfs_BlockCpy(Dev, fresh, Node);
  if (status == KVFS_OK) {
    SwapBlocks(fresh, Node);
    SwapEraseCounts(Dev, Node, fresh);
    Node->ulBitFlip = 0;
  } else {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_RecoverBitFlipsNode]:kvfs_BlockCpy failed, pDev: 0x%x, block: %d\n", Dev,
             Node->ulBlockNum, 3, 4);
  }
  if (status == KVFS_ERR_CPY_WRITE) {
    kvfs_RetireFailedBlock(Dev, fresh);
  } else {
    ReleaseBlock(Dev, fresh);
  }
  return KVFS_OK;
}

KVFS_STATUS kvfs_RecoverDir(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node, KVFS_PAGE_BUF *Buf) {
  if (Node == NULL || Buf == NULL || Node->pNameRec == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_RecoverDir]:buffer is invalide?", 1, 2, 3, 4);
    return KVFS_ERR_PARAM;
  }
  KVFS_BLOCK_NODE *fresh = kvfs_GetErasedWithoutReservation(Dev);
  if (fresh == NULL) {
    KVFS_LOG(KVFS_LOG_TRACE, "[kvfs_RecoverDir]:there is no free block?.\n", 1, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_NO_SPACE;
    Node->pNameRec = NULL;
    Node->ulNameRecFlag = 0;
    return KVFS_ERR_NO_ERASED;
  }
  UINT32 pds = KvfsPds(Dev);
  kvfs_MemSet(Buf->pData, pds, 0xFF);
  kvfs_MemSet(Buf->pData, KVFS_OBJECT_HEADER_BYTES, 0);
  UINT32 now = g_pfnKvfsNow != NULL ? g_pfnKvfsNow() : 0;
  KvfsPut32(Buf->pData + 0, 0x01000001u);
  KvfsPut32(Buf->pData + 4, now);
  KvfsPut32(Buf->pData + 8, now);
  CONST CHAR8 *name = (CONST CHAR8 *)Node->pNameRec;
  UINT32 len = 0;
  while (len < KVFS_NAME_MAX && name[len] != 0) {
    Buf->pData[KVFS_HEADER_NAME_OFFSET + len] = (UINT8)name[len];
    len++;
  }
  KvfsPut32(Buf->pData + KVFS_HEADER_NAME_LEN_OFFSET, len);
  Buf->ulType = KVFS_TYPE_DIR;
  Buf->ulFatherID = Node->ulFatherID;
  Buf->ulObjectID = Node->ulObjectID;
  Buf->ulPageID = 0;
  Buf->usLength = KVFS_OBJECT_HEADER_BYTES;
  for (UINT32 attempt = 0; attempt < 2; attempt++) {
    if (kvfs_FlushPageBufToFlash(Dev, Buf, fresh->ulBlockNum, 0, FALSE, kvfs_NextSeq(Dev), KVFS_BATCH_END) ==
        KVFS_OK) {
      SwapEraseCounts(Dev, Node, fresh);
      SwapBlocks(Node, fresh);
      Node->iHeaderPage = 0;
      Node->ucCompact = 1;
      kvfs_ExpireBlockInfoOfBlock(Dev, fresh->ulBlockNum);
      MarkBadBlock(Dev, fresh, KVFS_BAD_READ);
      return KVFS_OK;
    }
    kvfs_RetireFailedBlock(Dev, fresh);
    fresh = attempt == 0 ? kvfs_GetErased(Dev, Node) : NULL;
    if (fresh == NULL) break;
  }
  Node->pNameRec = NULL;
  Node->ulNameRecFlag = 0;
  return fresh == NULL ? KVFS_ERR_NO_ERASED : KVFS_ERR_PAGE_WRITE;
}
