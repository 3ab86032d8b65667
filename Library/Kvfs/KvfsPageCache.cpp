// kvfs page buffer cache and page I/O.
//
// Every flush writes an object's dirty pages as one batch: all pages but the
// last carry KVFS_BATCH_CONTINUES in tag byte 3, so the mount can tell a
// batch that a power cut interrupted and drop it whole.
#include "Kvfs/KvfsPageCache.h"

#include "Kvfs/KvfsBadBlock.h"
#include "Kvfs/KvfsBlockMg.h"
#include "Kvfs/KvfsHwEcc.h"

KVFS_DIR_NAME_FN g_pfnKvfsUpdateDirName = NULL;

// ======================= Lists =======================

static VOID Unlink(KVFS_DEVICE *Dev, KVFS_PAGE_BUF *Buf) {
  if (Buf->ucIsRemain) return;
  KVFS_PAGE_BUF **head = Buf->ucInDirty ? &Dev->pDirtyHead : &Dev->pCleanHead;
  KVFS_PAGE_BUF **tail = Buf->ucInDirty ? &Dev->pDirtyTail : &Dev->pCleanTail;
  if (Buf->pPrev != NULL) Buf->pPrev->pNext = Buf->pNext; else if (*head == Buf) *head = Buf->pNext;
  if (Buf->pNext != NULL) Buf->pNext->pPrev = Buf->pPrev; else if (*tail == Buf) *tail = Buf->pPrev;
  Buf->pNext = Buf->pPrev = NULL;
}

static VOID Append(KVFS_PAGE_BUF **Head, KVFS_PAGE_BUF **Tail, KVFS_PAGE_BUF *Buf) {
  Buf->pPrev = *Tail;
  Buf->pNext = NULL;
  if (*Tail != NULL) (*Tail)->pNext = Buf; else *Head = Buf;
  *Tail = Buf;
}

static VOID Prepend(KVFS_PAGE_BUF **Head, KVFS_PAGE_BUF **Tail, KVFS_PAGE_BUF *Buf) {
  Buf->pPrev = NULL;
  Buf->pNext = *Head;
  if (*Head != NULL) (*Head)->pPrev = Buf; else *Tail = Buf;
  *Head = Buf;
}

static VOID ResetContent(KVFS_DEVICE *Dev, KVFS_PAGE_BUF *Buf) {
  kvfs_MemSet(Buf->pData, KvfsPds(Dev), 0xFF);
  kvfs_MemSet(Buf->pTag, KVFS_TAG_SIZE, 0xFF);
  Buf->ulType = 0;
  Buf->ulFatherID = 0;
  Buf->ulObjectID = 0;
  Buf->ulPageID = 0;
  Buf->usLength = 0;
  Buf->usLowModified = 0;
}

KVFS_PAGE_BUF *kvfs_GetFreeBuf(KVFS_DEVICE *Dev) {
  if (Dev == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_GetFreeBuf]:para is error!pDev:0x%x!\r\n", Dev, 2, 3, 4);
    return NULL;
  }
  for (KVFS_PAGE_BUF *b = Dev->pCleanHead; b != NULL; b = b->pNext) {
    if (b->usRefCount != 0) continue;
    ResetContent(Dev, b);
    b->usState = KVFS_BUF_EMPTY;
    b->usRefCount = 1;
    return b;
  }
  KVFS_LOG(KVFS_LOG_TRACE, "[kvfs_GetFreeBuf]:can't find a free pagebuf\n", 1, 2, 3, 4);
  return NULL;
}

KVFS_PAGE_BUF *kvfs_GetRemainBuf(KVFS_DEVICE *Dev) {
  if (Dev == NULL || Dev->pRemainBuf == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_GetRemainBuf]:para is error!pDev:0x%x!\r\n", Dev, 2, 3, 4);
    return NULL;
  }
  KVFS_PAGE_BUF *b = Dev->pRemainBuf;
  ResetContent(Dev, b);
  b->usRefCount = 1;
  return b;
}

KVFS_STATUS kvfs_PutBackBuf(KVFS_DEVICE *Dev, KVFS_PAGE_BUF *Buf) {
  if (Dev == NULL || Buf == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_PutBackBuf]:para is error!pDev:0x%x!\r\n", Dev, 2, 3, 4);
    return KVFS_ERR_PARAM;
  }
  if (Buf->usRefCount == 0) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_PutBackBuf]:the buffer is not used \n", 1, 2, 3, 4);
    return KVFS_ERR_BUF_NOT_USED;
  }
  Buf->usRefCount--;
  return KVFS_OK;
}

static BOOLEAN KeyMatches(CONST KVFS_PAGE_BUF *B, UINT32 FatherID, UINT32 ObjectID, UINT32 PageID) {
  return B->ulFatherID == FatherID && B->ulObjectID == ObjectID && B->ulPageID == PageID;
}

KVFS_PAGE_BUF *kvfs_FindPageBufInList(KVFS_DEVICE *Dev, KVFS_PAGE_BUF *ListHead, UINT32 FatherID, UINT32 ObjectID,
                                      UINT32 PageID) {
  for (KVFS_PAGE_BUF *b = ListHead; b != NULL; b = b->pNext) {
    if (b->usState != KVFS_BUF_EMPTY && KeyMatches(b, FatherID, ObjectID, PageID)) return b;
  }
  return NULL;
}

KVFS_PAGE_BUF *kvfs_IsInBuf(KVFS_DEVICE *Dev, UINT32 FatherID, UINT32 ObjectID, UINT32 PageID) {
  if (Dev == NULL) return NULL;
  KVFS_PAGE_BUF *hit = NULL;
  for (KVFS_PAGE_BUF *b = Dev->pCleanHead; b != NULL && hit == NULL; b = b->pNext) {
    if (b->usState == KVFS_BUF_VALID && KeyMatches(b, FatherID, ObjectID, PageID)) hit = b;
  }
  if (hit == NULL) hit = kvfs_FindPageBufInList(Dev, Dev->pDirtyHead, FatherID, ObjectID, PageID);
  if (hit != NULL) hit->usRefCount++;
  return hit;
}

KVFS_STATUS kvfs_InsertToPageBufList(KVFS_DEVICE *Dev, KVFS_PAGE_BUF *Buf, BOOLEAN Empty) {
  if (Dev == NULL || Buf == NULL || Buf->ucIsRemain) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_InsertToPageBufList]:para is error!pDev:0x%x!\r\n", Dev, 2, 3, 4);
    return KVFS_ERR_PARAM;
  }
  kvfs_GlobalLock();
  Unlink(Dev, Buf);
  Buf->ucInDirty = 0;
  if (Empty) {
    Buf->usState = KVFS_BUF_EMPTY;
    Prepend(&Dev->pCleanHead, &Dev->pCleanTail, Buf);
  } else {
    Buf->usState = KVFS_BUF_VALID;
    Append(&Dev->pCleanHead, &Dev->pCleanTail, Buf);
  }
  kvfs_GlobalUnLock();
  return KVFS_OK;
}

KVFS_STATUS kvfs_InsertToDirtyList(KVFS_DEVICE *Dev, KVFS_PAGE_BUF *Buf) {
  if (Dev == NULL || Buf == NULL || Buf->ucIsRemain) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_InsertToDirtyList]:para is error!pDev:0x%x!\r\n", Dev, 2, 3, 4);
    return KVFS_ERR_PARAM;
  }
  kvfs_GlobalLock();
  if (!(Buf->ucInDirty && Buf->usState == KVFS_BUF_DIRTY)) {
    Unlink(Dev, Buf);
    Buf->ucInDirty = 1;
    Buf->usState = KVFS_BUF_DIRTY;
    Append(&Dev->pDirtyHead, &Dev->pDirtyTail, Buf);
  }
  kvfs_GlobalUnLock();
  return KVFS_OK;
}

KVFS_STATUS kvfs_ClearBuf(KVFS_DEVICE *Dev, KVFS_PAGE_BUF *Buf) {
  if (Dev == NULL || Buf == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_ClearBuf]:para is error!pDev:0x%x!\r\n", Dev, 2, 3, 4);
    return KVFS_ERR_PARAM;
  }
  if (Buf->usRefCount != 0) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_ClearBuf]:the buffer is not used \n", 1, 2, 3, 4);
    return KVFS_ERR_BUF_NOT_USED;
  }
  ResetContent(Dev, Buf);
  if (Buf->ucIsRemain) return KVFS_OK;
  return kvfs_InsertToPageBufList(Dev, Buf, TRUE);
}

// Empties a buffer whatever its count: its holder keeps a reference to an
// empty buffer and puts it back as usual.
static VOID DropBuf(KVFS_DEVICE *Dev, KVFS_PAGE_BUF *Buf) {
  UINT16 refs = Buf->usRefCount;
  Buf->usRefCount = 0;
  kvfs_ClearBuf(Dev, Buf);
  Buf->usRefCount = refs;
}

static VOID EmptyList(KVFS_DEVICE *Dev, KVFS_PAGE_BUF *Head) {
  KVFS_PAGE_BUF *b = Head;
  while (b != NULL) {
    KVFS_PAGE_BUF *next = b->pNext;
    if (b->usRefCount == 0 && b->usState != KVFS_BUF_EMPTY) kvfs_ClearBuf(Dev, b);
    else if (b->ucInDirty) DropBuf(Dev, b);
    b = next;
  }
}

VOID kvfs_BufSetValidEmpty(KVFS_DEVICE *Dev) { EmptyList(Dev, Dev->pCleanHead); }
VOID kvfs_BufSetDirtyEmpty(KVFS_DEVICE *Dev) { EmptyList(Dev, Dev->pDirtyHead); }
VOID kvfs_BufSetAllEmpty(KVFS_DEVICE *Dev) {
  kvfs_BufSetDirtyEmpty(Dev);
  kvfs_BufSetValidEmpty(Dev);
}

KVFS_STATUS kvfs_BufIsAllFree(KVFS_DEVICE *Dev) {
  for (KVFS_PAGE_BUF *b = Dev->pCleanHead; b != NULL; b = b->pNext) {
    if (b->usRefCount != 0) {
      KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_BufIsAllFree]:buffer has been used!usRefCount:0x%!\r\n", b->usRefCount, 2, 3, 4);
      return KVFS_ERR_BUF_NOT_USED;
    }
  }
  if (Dev->pDirtyHead != NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_BufIsAllFree]:pPageBuf is not null!pPageBuf:0x%!\r\n", Dev->pDirtyHead, 2, 3, 4);
    return KVFS_ERR_BUF_IN_USE;
  }
  return KVFS_OK;
}

UINT32 kvfs_CntSameNodePageBuf(KVFS_DEVICE *Dev, KVFS_PAGE_BUF *ListHead, CONST KVFS_BLOCK_NODE *Node) {
  UINT32 count = 0;
  for (KVFS_PAGE_BUF *b = ListHead; b != NULL; b = b->pNext) {
    if (b->ulFatherID == Node->ulFatherID && b->ulObjectID == Node->ulObjectID) count++;
  }
  return count;
}

UINT32 kvfs_PageBufInUse(KVFS_DEVICE *Dev) {
  UINT32 count = 0;
  for (KVFS_PAGE_BUF *b = Dev->pCleanHead; b != NULL; b = b->pNext) count += b->usRefCount > 0 ? 1 : 0;
  for (KVFS_PAGE_BUF *b = Dev->pDirtyHead; b != NULL; b = b->pNext) count += b->usRefCount > 0 ? 1 : 0;
  if (Dev->pRemainBuf != NULL && Dev->pRemainBuf->usRefCount > 0) count++;
  return count;
}

VOID kvfs_DropObjectCache(KVFS_DEVICE *Dev, UINT32 FatherID, UINT32 ObjectID, UINT32 Block) {
  kvfs_ExpireBlockInfoOfBlock(Dev, Block);
  for (UINT32 pass = 0; pass < 2; pass++) {
    KVFS_PAGE_BUF *b = pass == 0 ? Dev->pDirtyHead : Dev->pCleanHead;
    while (b != NULL) {
      KVFS_PAGE_BUF *next = b->pNext;
      if (b->usState != KVFS_BUF_EMPTY && b->ulFatherID == FatherID && b->ulObjectID == ObjectID) DropBuf(Dev, b);
      b = next;
    }
  }
}

VOID kvfs_SetFillerPage(KVFS_DEVICE *Dev, KVFS_PAGE_BUF *Buf, UINT32 Type, UINT32 FatherID, UINT32 ObjectID,
                        UINT32 PageID) {
  ResetContent(Dev, Buf);
  Buf->ulType = Type;
  Buf->ulFatherID = FatherID;
  Buf->ulObjectID = ObjectID;
  Buf->ulPageID = PageID;
}

// ======================= One page =======================

KVFS_STATUS kvfs_FillPageBufFromFlash(KVFS_DEVICE *Dev, KVFS_PAGE_BUF *Buf, UINT32 Block, UINT32 Index,
                                      BOOLEAN MakeValid, UINT32 *BitFlip) {
  if (Dev == NULL || Buf == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_FillPageBufFromFlash]:para is error!pDev:0x%x!\r\n", Dev, 2, 3, 4);
    return KVFS_ERR_PARAM;
  }
  KVFS_STATUS status = KVFS_OK;
  for (UINT32 attempt = 0; attempt < 3; attempt++) {
    status = Dev->pOps->pfuncLoadPage(Dev, Block, Index + 1, Buf->pData, Buf->pTag, BitFlip);
    if (status == KVFS_OK) break;
    if (status == KVFS_ERR_NAND) {
      KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_FillPageBufFromFlash]:ecc error? block num is %d ,pageNum is %d\n", Block, Index,
               3, 4);
    } else if (attempt == 2) {
      KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_FillPageBufFromFlash]:read from flash error? block num is %d ,pageNum is %d\n",
               Block, Index, 3, 4);
    }
  }
  if (status != KVFS_OK) {
    // Only a page that no attempt could read makes the block suspect.
    kvfs_FindBadBlock(Dev, Block, KVFS_BAD_READ);
    return status;
  }
  Buf->usLength = KvfsGet16(Buf->pTag + KVFS_TAG_OFF_LENGTH);
  if (Buf->usLength > KvfsPds(Dev)) Buf->usLength = (UINT16)KvfsPds(Dev);
  Buf->ulFatherID = KvfsGet32(Buf->pTag + KVFS_TAG_OFF_FATHER);
  Buf->ulObjectID = KvfsGet32(Buf->pTag + KVFS_TAG_OFF_OBJECT);
  Buf->ulPageID = KvfsGet32(Buf->pTag + KVFS_TAG_OFF_PAGE_ID);
  Buf->ulType = Buf->pTag[KVFS_TAG_OFF_TYPE];
  Buf->usLowModified = 0;
  if (MakeValid) kvfs_InsertToPageBufList(Dev, Buf, FALSE);
  return KVFS_OK;
}

static UINT16 HeaderNameSum(KVFS_DEVICE *Dev, CONST UINT8 *Data) {
  UINT32 len = KvfsGet32(Data + KVFS_HEADER_NAME_LEN_OFFSET);
  UINT32 room = KvfsPds(Dev) - KVFS_HEADER_NAME_OFFSET;
  if (len > KVFS_NAME_MAX) len = KVFS_NAME_MAX;
  if (len > room) len = room;
  return kvfs_NameSum((CONST CHAR8 *)(Data + KVFS_HEADER_NAME_OFFSET), len);
}

KVFS_STATUS kvfs_FlushPageBufToFlash(KVFS_DEVICE *Dev, KVFS_PAGE_BUF *Buf, UINT32 Block, UINT32 Index,
                                     BOOLEAN MakeValid, UINT32 Seq, UINT8 Batch) {
  if (Dev == NULL || Buf == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_FlushPageBufToFlash]:para is error!pDev:0x%x!\r\n", Dev, 2, 3, 4);
    return KVFS_ERR_PARAM;
  }
  UINT8 *tag = Buf->pTag;
  kvfs_MemSet(tag, KVFS_TAG_SIZE, 0xFF);
  tag[KVFS_TAG_OFF_BAD] = 0xFF;
  tag[KVFS_TAG_OFF_TYPE] = (UINT8)Buf->ulType;
  tag[KVFS_TAG_OFF_WRITTEN] = 1;
  tag[KVFS_TAG_OFF_BATCH] = Batch;
  KvfsPut32(tag + KVFS_TAG_OFF_SEQ, Seq);
  KvfsPut32(tag + KVFS_TAG_OFF_PAGE_ID, Buf->ulPageID);
  BOOLEAN header = Buf->ulPageID == 0 && (Buf->ulType == KVFS_TYPE_DIR || Buf->ulType == KVFS_TYPE_FILE);
  KvfsPut16(tag + KVFS_TAG_OFF_NAME_SUM, header ? HeaderNameSum(Dev, Buf->pData) : 0);
  KvfsPut16(tag + KVFS_TAG_OFF_LENGTH, Buf->usLength);
  KvfsPut32(tag + KVFS_TAG_OFF_FATHER, Buf->ulFatherID);
  KvfsPut32(tag + KVFS_TAG_OFF_OBJECT, Buf->ulObjectID);
  tag[KVFS_TAG_OFF_END] = 0xFF;
  if (Dev->pOps->pfuncWritePage(Dev, Block, Index + 1, Buf->pData, Buf->pTag) != KVFS_OK) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_FlushPageBufToFlash]:pfuncWritePage error, block %d, page %d\n", Block, Index, 3,
             4);
    kvfs_FindBadBlock(Dev, Block, KVFS_BAD_WRITE);
    return KVFS_ERR_PAGE_WRITE;
  }
  if (MakeValid) kvfs_InsertToPageBufList(Dev, Buf, FALSE);
  return KVFS_OK;
}

// ======================= Flush =======================

static KVFS_PAGE_BUF *DirtyOf(KVFS_DEVICE *Dev, UINT32 FatherID, UINT32 ObjectID, UINT32 PageID) {
  for (KVFS_PAGE_BUF *b = Dev->pDirtyHead; b != NULL; b = b->pNext) {
    if (KeyMatches(b, FatherID, ObjectID, PageID)) return b;
  }
  return NULL;
}

// Highest page ID among the object's dirty buffers below Limit, or -1.
static INT32 HighestDirty(KVFS_DEVICE *Dev, UINT32 FatherID, UINT32 ObjectID, UINT32 Limit) {
  INT32 high = -1;
  for (KVFS_PAGE_BUF *b = Dev->pDirtyHead; b != NULL; b = b->pNext) {
    if (b->ulFatherID == FatherID && b->ulObjectID == ObjectID && b->ulPageID < Limit && (INT32)b->ulPageID > high) {
      high = (INT32)b->ulPageID;
    }
  }
  return high;
}

// After a successful batch: the object's dirty pages below Limit are clean
// copies of the flash now.
static VOID MakeObjectValid(KVFS_DEVICE *Dev, UINT32 FatherID, UINT32 ObjectID, UINT32 Limit) {
  KVFS_PAGE_BUF *b = Dev->pDirtyHead;
  while (b != NULL) {
    KVFS_PAGE_BUF *next = b->pNext;
    if (b->ulFatherID == FatherID && b->ulObjectID == ObjectID && b->ulPageID < Limit) {
      kvfs_InsertToPageBufList(Dev, b, FALSE);
    }
    b = next;
  }
}

// Dirty pages of the object that no block of it can hold (page ID past the
// block) are dropped: left in the dirty list they would keep the flush
// loop going for ever.
static BOOLEAN DropUnwritable(KVFS_DEVICE *Dev, UINT32 FatherID, UINT32 ObjectID) {
  BOOLEAN dropped = FALSE;
  KVFS_PAGE_BUF *b = Dev->pDirtyHead;
  while (b != NULL) {
    KVFS_PAGE_BUF *next = b->pNext;
    if (b->ulFatherID == FatherID && b->ulObjectID == ObjectID) {
      KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_FlushAllPageBuf]: drop page %d of object %d, no room in a block\n", b->ulPageID,
               ObjectID, 3, 4);
      DropBuf(Dev, b);
      dropped = TRUE;
    }
    b = next;
  }
  return dropped;
}

static KVFS_STATUS FailFlush(KVFS_DEVICE *Dev, KVFS_STATUS Status) {
  kvfs_BufSetDirtyEmpty(Dev);
  return Status;
}

// Pages an object keeps when it moves to a new block.
static INT32 PagesToCopy(KVFS_DEVICE *Dev, UINT32 Type, UINT32 Size) {
  UINT32 pds = KvfsPds(Dev);
  UINT32 pages = KvfsDataPages(Dev);
  switch (Type) {
    case KVFS_TYPE_DIR: return 1;
    case KVFS_TYPE_FILE: {
      if (Size == 0) return 1;
      if (Size == 1) return 2;
      UINT32 l = (Size - 1) / pds + 2;
      return (INT32)(l < pages - 2 ? l : pages - 2);
    }
    case KVFS_TYPE_DATA:
    case KVFS_TYPE_BAD_TABLE: {
      if (Size < 2) return 1;
      UINT32 l = (Size - 1) / pds + 1;
      return (INT32)(l < pages ? l : pages);
    }
    default: return -1;
  }
}

// Highest page ID a block of this type holds, plus one.
static UINT32 PageLimit(KVFS_DEVICE *Dev, UINT32 Type) {
  if (Type == KVFS_TYPE_DIR) return 1;
  if (Type == KVFS_TYPE_FILE) return KvfsDataPages(Dev) - 2;
  return KvfsDataPages(Dev);
}

// Path A: the dirty pages fit behind the written part of the node's block.
// Returns 1 when they do not fit (the caller copies to a new block).
static KVFS_STATUS FlushAppend(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node, UINT32 Type, UINT32 FatherID,
                               UINT32 ObjectID) {
  UINT32 limit = PageLimit(Dev, Type);
  UINT32 d = 0;
  for (KVFS_PAGE_BUF *b = Dev->pDirtyHead; b != NULL; b = b->pNext) {
    if (b->ulFatherID == FatherID && b->ulObjectID == ObjectID && b->ulPageID < limit) d++;
  }
  KVFS_BLOCK_INFO *info = kvfs_GetBlockInfo(Dev, Node->ulBlockNum);
  if (info == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_FlushAllPageBuf]:can't get free blockInfo ?\n", 1, 2, 3, 4);
    return KVFS_ERR_NO_BI_OR_BUF;
  }
  // Only the tags that locate the end of the written part are read here;
  // a block the pages do not fit into is not read any further.
  if (kvfs_LoadBlockInfo(Dev, info, 0, &Node->ulBitFlip) != KVFS_OK) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_FlushAllPageBuf]:kvfs_load block Info error? ?\n", 1, 2, 3, 4);
    kvfs_PutBackBlockInfo(Dev, info);
    return KVFS_ERR_BI_LOAD;
  }
  UINT32 f = FreePageCount(Dev, info);
  KVFS_LOG(KVFS_LOG_TRACE, "[kvfs_FlushAllPageBuf]: dirtyPageCout is %d ,freePageCount is %d \n", d, f, 3, 4);
  if (f < d || d == 0) {
    kvfs_PutBackBlockInfo(Dev, info);
    return d == 0 ? KVFS_OK : 1;
  }
  KVFS_FLUSH_CTX ctx;
  ctx.ulSeq = KvfsTagIsErased(info->pPages[0].aucTag) ? kvfs_NextSeq(Dev)
                                                      : KvfsGet32(info->pPages[0].aucTag + KVFS_TAG_OFF_SEQ);
  ctx.iFailedPage = -1;
  kvfs_PutBackBlockInfo(Dev, info);
  UINT32 next = KvfsDataPages(Dev) - f;
  UINT32 written = 0;
  for (UINT32 pid = 0; pid < limit; pid++) {
    KVFS_PAGE_BUF *buf = DirtyOf(Dev, FatherID, ObjectID, pid);
    if (buf == NULL) continue;
    UINT8 batch = written + 1 == d ? KVFS_BATCH_END : KVFS_BATCH_CONTINUES;
    if (kvfs_FlushPageBufToFlash(Dev, buf, Node->ulBlockNum, next, FALSE, ctx.ulSeq, batch) != KVFS_OK) {
      ctx.iFailedPage = (INT32)next;
      if (kvfs_RecoverBlock(Dev, Node, &ctx) != KVFS_OK ||
          kvfs_FlushPageBufToFlash(Dev, buf, Node->ulBlockNum, next, FALSE, ctx.ulSeq, batch) != KVFS_OK) {
        KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_FlushAllPageBuf]: Flush err, blk %d, page %d\n", Node->ulBlockNum, next, 3,
                 4);
        kvfs_ExpireBlockInfoOfBlock(Dev, Node->ulBlockNum);
        return KVFS_ERR_FLUSH;
      }
    }
    if (pid != next) Node->ucCompact = 0;
    KVFS_BLOCK_INFO *cached = kvfs_IsInBlockInfoList(Dev, Node->ulBlockNum);
    kvfs_ExpireBlockInfo(Dev, cached, (INT32)next);
    if (pid == 0 && (Type == KVFS_TYPE_DIR || Type == KVFS_TYPE_FILE)) {
      Node->ulNameSum = KvfsGet16(buf->pTag + KVFS_TAG_OFF_NAME_SUM);
      Node->iHeaderPage = (INT32)next;
    }
    next++;
    written++;
  }
  MakeObjectValid(Dev, FatherID, ObjectID, limit);
  return KVFS_OK;
}

// Writes pages 0 .. Count-1 of the object to a fresh block: its dirty pages
// and, from OldInfo (NULL for a new object), the newest copies of the
// others. Sets *WriteFailed when a program of the fresh block failed.
static KVFS_STATUS WriteObjectPages(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Fresh, KVFS_BLOCK_INFO *OldInfo,
                                    UINT32 OldBlock, UINT32 Type, UINT32 FatherID, UINT32 ObjectID, UINT32 Count, UINT32 Seq,
                                    BOOLEAN *WriteFailed) {
  *WriteFailed = FALSE;
  INT32 last = -1;
  for (UINT32 p = 0; p < Count; p++) {
    if (DirtyOf(Dev, FatherID, ObjectID, p) != NULL || (OldInfo != NULL && FindPageInBlock(Dev, OldInfo, p) >= 0)) {
      last = (INT32)p;
    }
  }
  for (UINT32 p = 0; (INT32)p <= last; p++) {
    UINT8 batch = (INT32)p == last ? KVFS_BATCH_END : KVFS_BATCH_CONTINUES;
    KVFS_PAGE_BUF *buf = DirtyOf(Dev, FatherID, ObjectID, p);
    BOOLEAN remain = FALSE;
    if (buf == NULL) {
      INT32 index = OldInfo != NULL ? FindPageInBlock(Dev, OldInfo, p) : KVFS_NO_PAGE;
      buf = kvfs_GetRemainBuf(Dev);
      if (buf == NULL) return KVFS_ERR_FLUSH;
      remain = TRUE;
      if (index < 0) {
        if (OldInfo != NULL) {
          KVFS_LOG(KVFS_LOG_TRACE, "[kvfs_FlushAllPageBuf]: can't find page %d in block %d??\n", p, OldBlock, 3, 4);
        }
        // A page never written still takes its index, empty: the written
        // part of a block has no gaps.
        kvfs_SetFillerPage(Dev, buf, Type, FatherID, ObjectID, p);
      } else {
        UINT32 flip = 0;
        if (kvfs_FillPageBufFromFlash(Dev, buf, OldBlock, (UINT32)index, FALSE, &flip) != KVFS_OK) {
          kvfs_PutBackBuf(Dev, buf);
          return KVFS_ERR_FLUSH;
        }
      }
    }
    KVFS_STATUS status = kvfs_FlushPageBufToFlash(Dev, buf, Fresh->ulBlockNum, p, FALSE, Seq, batch);
    if (status == KVFS_OK && p == 0 && (buf->ulType == KVFS_TYPE_DIR || buf->ulType == KVFS_TYPE_FILE)) {
      Fresh->ulNameSum = KvfsGet16(buf->pTag + KVFS_TAG_OFF_NAME_SUM);
      Fresh->iHeaderPage = 0;
    }
    if (remain) kvfs_PutBackBuf(Dev, buf);
    if (status != KVFS_OK) {
      *WriteFailed = TRUE;
      return KVFS_ERR_FLUSH;
    }
  }
  return KVFS_OK;
}

// Takes another fresh block after a failed program (three blocks at most).
static KVFS_BLOCK_NODE *NextFreshBlock(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Failed, KVFS_BLOCK_NODE *Busy,
                                       BOOLEAN HonourReserve) {
  kvfs_RetireFailedBlock(Dev, Failed);
  return HonourReserve ? kvfs_GetErased(Dev, Busy) : kvfs_GetErasedWithoutReservation(Dev);
}

// Path B: the node moves to a fresh block with its current pages.
static KVFS_STATUS FlushToNewBlock(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node, UINT32 Type, UINT32 FatherID,
                                   UINT32 ObjectID, UINT32 NewBlock) {
  KVFS_BLOCK_NODE *fresh = NewBlock ? kvfs_GetErased(Dev, Node) : kvfs_GetErasedWithoutReservation(Dev);
  if (fresh == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_FlushAllPageBuf]: there is no erased block ?\n", 1, 2, 3, 4);
    return FailFlush(Dev, KVFS_ERR_NO_ERASED);
  }
  INT32 count = PagesToCopy(Dev, Type, Node->ulSize);
  if (count < 0) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_FlushAllPageBuf]: invalid type (0x%x)?\n", Type, 2, 3, 4);
    ReleaseBlock(Dev, fresh);
    return FailFlush(Dev, KVFS_ERR_FLUSH);
  }
  // Dirty pages past the size (written ahead of a size update) move too.
  INT32 high = HighestDirty(Dev, FatherID, ObjectID, PageLimit(Dev, Type));
  if (high + 1 > count) count = high + 1;
  // The old block's tags are needed only for pages that are not dirty.
  BOOLEAN allDirty = TRUE;
  for (INT32 p = 0; p < count && allDirty; p++) allDirty = DirtyOf(Dev, FatherID, ObjectID, (UINT32)p) != NULL;
  KVFS_BLOCK_INFO *info = kvfs_GetBlockInfo(Dev, Node->ulBlockNum);
  if (info == NULL ||
      (!allDirty && kvfs_LoadBlockInfo(Dev, info, KVFS_ALL_PAGES, &Node->ulBitFlip) != KVFS_OK)) {
    if (info != NULL) kvfs_PutBackBlockInfo(Dev, info);
    PutErasedBlock(Dev, fresh);
    return FailFlush(Dev, KVFS_ERR_FLUSH);
  }
  fresh->ulNameSum = Node->ulNameSum;
  UINT32 seq = kvfs_NextSeq(Dev);
  KVFS_STATUS status = KVFS_ERR_FLUSH;
  for (UINT32 attempt = 0; attempt < 3 && fresh != NULL; attempt++) {
    BOOLEAN writeFailed = FALSE;
    status = WriteObjectPages(Dev, fresh, info, Node->ulBlockNum, Type, FatherID, ObjectID, (UINT32)count, seq,
                              &writeFailed);
    if (status == KVFS_OK || !writeFailed) break;
    fresh = NextFreshBlock(Dev, fresh, Node, NewBlock != 0);
    if (fresh != NULL) fresh->ulNameSum = Node->ulNameSum;
  }
  kvfs_PutBackBlockInfo(Dev, info);
  if (status != KVFS_OK || fresh == NULL) {
    if (fresh != NULL) ReleaseBlock(Dev, fresh);
    return FailFlush(Dev, KVFS_ERR_FLUSH);
  }
  MakeObjectValid(Dev, FatherID, ObjectID, (UINT32)count);
  UINT32 oldBlock = Node->ulBlockNum;
  UINT32 old = Node->ulEraseCount;
  Node->ulEraseCount = fresh->ulEraseCount;
  fresh->ulEraseCount = old;
  kvfs_MoveUsedBucket(Dev, Node, old);
  Node->ulBlockNum = fresh->ulBlockNum;
  Node->ulNameSum = fresh->ulNameSum;
  Node->iHeaderPage = (Type == KVFS_TYPE_DIR || Type == KVFS_TYPE_FILE) ? 0 : -1;
  Node->ucCompact = 1;
  fresh->ulBlockNum = oldBlock;
  fresh->iHeaderPage = -1;
  kvfs_ExpireBlockInfoOfBlock(Dev, Node->ulBlockNum);
  ReleaseBlock(Dev, fresh);
  kvfs_ExpireBlockInfoOfBlock(Dev, oldBlock);
  return KVFS_OK;
}

// Path C: the first block of a new object.
static KVFS_STATUS FlushNewObject(KVFS_DEVICE *Dev, UINT32 Type, UINT32 FatherID, UINT32 ObjectID) {
  KVFS_BLOCK_NODE *fresh = kvfs_GetErased(Dev, NULL);
  if (fresh == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_FlushAllPageBuf]:there is no erased block?\n", 1, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_NO_SPACE;
    return FailFlush(Dev, KVFS_ERR_NO_ERASED);
  }
  UINT32 limit = PageLimit(Dev, Type);
  INT32 high = HighestDirty(Dev, FatherID, ObjectID, limit);
  UINT32 seq = kvfs_NextSeq(Dev);
  KVFS_STATUS status = KVFS_ERR_FLUSH;
  for (UINT32 attempt = 0; attempt < 3 && fresh != NULL; attempt++) {
    BOOLEAN writeFailed = FALSE;
    status = WriteObjectPages(Dev, fresh, NULL, 0, Type, FatherID, ObjectID, (UINT32)(high + 1), seq, &writeFailed);
    if (status == KVFS_OK || !writeFailed) break;
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_FlushAllPageBuf]: Flush err again, blk %d, page %d\n", fresh->ulBlockNum, 0, 3,
             4);
    fresh = NextFreshBlock(Dev, fresh, NULL, TRUE);
  }
  if (status != KVFS_OK || fresh == NULL) {
    if (fresh != NULL) ReleaseBlock(Dev, fresh);
    return FailFlush(Dev, KVFS_ERR_FLUSH);
  }
  fresh->ulFatherID = FatherID;
  fresh->ulObjectID = ObjectID;
  fresh->ulSize = 0;
  fresh->ucCompact = 1;
  UINT32 pds = KvfsPds(Dev);
  for (KVFS_PAGE_BUF *b = Dev->pDirtyHead; b != NULL; b = b->pNext) {
    if (b->ulFatherID != FatherID || b->ulObjectID != ObjectID || b->ulPageID >= limit) continue;
    UINT32 end = 0;
    if (Type == KVFS_TYPE_FILE && b->ulPageID > 0) end = (b->ulPageID - 1) * pds + b->usLength;
    if (Type == KVFS_TYPE_DATA || Type == KVFS_TYPE_BAD_TABLE) end = b->ulPageID * pds + b->usLength;
    if (end > fresh->ulSize) fresh->ulSize = end;
  }
  MakeObjectValid(Dev, FatherID, ObjectID, limit);
  kvfs_InsertToComEntry(Dev, fresh, Type);
  kvfs_ExpireBlockInfoOfBlock(Dev, fresh->ulBlockNum);
  return KVFS_OK;
}

KVFS_STATUS kvfs_FlushAllPageBuf(KVFS_DEVICE *Dev, UINT32 NewBlock) {
  if (Dev == NULL) return KVFS_ERR_PARAM;
  KVFS_STATUS result = KVFS_OK;
  while (Dev->pDirtyHead != NULL) {
    KVFS_PAGE_BUF *first = Dev->pDirtyHead;
    UINT32 type = first->ulType;
    UINT32 father = first->ulFatherID;
    UINT32 object = first->ulObjectID;
    KVFS_BLOCK_NODE *node = kvfs_FindNode(Dev, type, father, object);
    KVFS_STATUS status;
    if (node == NULL) {
      status = FlushNewObject(Dev, type, father, object);
    } else {
      status = NewBlock ? 1 : FlushAppend(Dev, node, type, father, object);
      if (status == 1) status = FlushToNewBlock(Dev, node, type, father, object, NewBlock);
    }
    if (status != KVFS_OK) {
      if (status == KVFS_ERR_NO_BI_OR_BUF || status == KVFS_ERR_BI_LOAD || status == KVFS_ERR_FLUSH) {
        FailFlush(Dev, status);
      }
      return status;
    }
    if (DropUnwritable(Dev, father, object)) result = KVFS_ERR_FLUSH;
  }
  return result;
}

KVFS_STATUS kvfs_pageCtrl(KVFS_DEVICE *Dev, UINT32 Operation, UINT32 Argument) {
  if (Operation == 0) return kvfs_FlushAllPageBuf(Dev, Argument);
  if (Operation == 1) {
    switch (Argument) {
      case 0: kvfs_BufSetValidEmpty(Dev); return KVFS_OK;
      case 1: kvfs_BufSetDirtyEmpty(Dev); return KVFS_OK;
      case 2: kvfs_BufSetAllEmpty(Dev); return KVFS_OK;
      default: break;
    }
  }
  return KVFS_ERR_PARAM;
}

// ======================= Page I/O =======================

static VOID AfterBitFlips(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node) {
  if (Node != NULL && Node->ulBitFlip) {
    kvfs_FlushAllPageBuf(Dev, 0);
    kvfs_RecoverBitFlipsNode(Dev, Node);
  }
}

static BOOLEAN IsDirHeaderAccess(UINT32 Type, UINT32 PageID, UINT32 Length, UINT32 Offset) {
  return Type == KVFS_TYPE_DIR && PageID == 0 && Length >= KVFS_OBJECT_HEADER_BYTES && Offset == 0;
}

UINT32 kvfs_pageWrite(KVFS_DEVICE *Dev, VOID *Object, CONST UINT8 *Data, UINT32 Length, UINT32 Offset,
                      UINT32 PageID, UINT32 Type, UINT32 FatherID, UINT32 ObjectID, UINT32 FlushNow,
                      UINT32 NewBlock) {
  if (g_ulKvfsSafeClose) {
    g_iKvfsErrNo = KVFS_ENO_CLOSED;
    return 0;
  }
  if (Dev == NULL || Data == NULL) {
    g_iKvfsErrNo = KVFS_ENO_INVALID_PARAM;
    return 0;
  }
  KVFS_BLOCK_NODE *node = kvfs_FindNode(Dev, Type, FatherID, ObjectID);
  if (node == NULL && Dev->ulReserve && Dev->ulErasedCount < KVFS_RESERVED_ERASED) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_pageWrite]:there is no free block!\n", 1, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_NO_SPACE;
    return 0;
  }
  if (Offset + Length > Dev->ulPageDataLen || Offset + Length < Offset) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_pageWrite]:the length of data %d is longer than the page length %d?\n",
             Offset + Length, Dev->ulPageDataLen, 3, 4);
    return 0;
  }
  if (PageID >= PageLimit(Dev, Type)) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_pageWrite]:page ID %d out of the block?\n", PageID, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_INVALID_PARAM;
    return 0;
  }
  KVFS_PAGE_BUF *first = Dev->pDirtyHead;
  if (first != NULL && (first->ulFatherID != FatherID || first->ulObjectID != ObjectID)) kvfs_FlushAllPageBuf(Dev, 0);

  KVFS_PAGE_BUF *buf = kvfs_IsInBuf(Dev, FatherID, ObjectID, PageID);
  if (buf != NULL) {
    node = kvfs_FindNode(Dev, Type, FatherID, ObjectID);
    if (node == NULL) {
      kvfs_FlushAllPageBuf(Dev, NewBlock);
      node = kvfs_FindNode(Dev, Type, FatherID, ObjectID);
    }
    if (node == NULL) {
      KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_pageWrite]:can't write the word to a null node\n", 1, 2, 3, 4);
      g_iKvfsErrNo = KVFS_ENO_NODE_NOT_FOUND;
      kvfs_PutBackBuf(Dev, buf);
      return 0;
    }
    kvfs_MemCpy(buf->pData + Offset, Data, Length);
    UINT16 oldLength = buf->usLength;
    if (Offset + Length > buf->usLength) buf->usLength = (UINT16)(Offset + Length);
    if (Offset < buf->usLowModified) buf->usLowModified = (UINT16)Offset;
    buf->ulType = Type;
    if (Type == KVFS_TYPE_DATA || Type == KVFS_TYPE_BAD_TABLE) node->ulSize += buf->usLength - oldLength;
    kvfs_InsertToDirtyList(Dev, buf);
    kvfs_PutBackBuf(Dev, buf);
  } else {
    if (Dev->ulErasedCount == 0) {
      KVFS_LOG(KVFS_LOG_TRACE, "[kvfs_pageWrite]:no free block !\n", 1, 2, 3, 4);
      g_iKvfsErrNo = KVFS_ENO_NO_SPACE;
      return 0;
    }
    buf = kvfs_GetFreeBuf(Dev);
    if (buf == NULL) {
      kvfs_FlushAllPageBuf(Dev, 0);
      buf = kvfs_GetFreeBuf(Dev);
    }
    if (buf == NULL) {
      KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_pageWrite]:no free page buf!\n", 1, 2, 3, 4);
      g_iKvfsErrNo = KVFS_ENO_NO_PAGE_BUF;
      return 0;
    }
    node = kvfs_FindNode(Dev, Type, FatherID, ObjectID);
    if (node == NULL) {
      kvfs_FlushAllPageBuf(Dev, 0);
      node = kvfs_FindNode(Dev, Type, FatherID, ObjectID);
      if (node == NULL && Offset > 0) {
        KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_pageWrite]:Don't find the node!\n", 1, 2, 3, 4);
        g_iKvfsErrNo = KVFS_ENO_NOT_ON_FLASH;
        kvfs_PutBackBuf(Dev, buf);
        kvfs_ClearBuf(Dev, buf);
        return 0;
      }
    }
    if (node != NULL && (Offset > 0 || Length < Dev->ulPageDataLen)) {
      // A partial page starts from the page's current content.
      KVFS_BLOCK_INFO *info = kvfs_GetBlockInfo(Dev, node->ulBlockNum);
      if (info == NULL) {
        KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_pageWrite]:can't get free block info?\n", 1, 2, 3, 4);
        kvfs_PutBackBuf(Dev, buf);
        kvfs_ClearBuf(Dev, buf);
        return 0;
      }
      if (kvfs_LoadBlockInfo(Dev, info, KVFS_ALL_PAGES, &node->ulBitFlip) != KVFS_OK) {
        KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_pageWrite]:load block info error?\n", 1, 2, 3, 4);
        kvfs_PutBackBlockInfo(Dev, info);
        kvfs_PutBackBuf(Dev, buf);
        kvfs_ClearBuf(Dev, buf);
        return 0;
      }
      INT32 index = FindPageInBlock(Dev, info, PageID);
      kvfs_PutBackBlockInfo(Dev, info);
      if (index >= 0 &&
          kvfs_FillPageBufFromFlash(Dev, buf, node->ulBlockNum, (UINT32)index, TRUE, &node->ulBitFlip) != KVFS_OK) {
        KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_pageWrite]:can't read the word from flash?\n", 1, 2, 3, 4);
        BOOLEAN rebuilt = Type == KVFS_TYPE_DIR && PageID == 0 && kvfs_RecoverDir(Dev, node, buf) == KVFS_OK;
        if (!rebuilt) {
          kvfs_PutBackBuf(Dev, buf);
          kvfs_ClearBuf(Dev, buf);
          return 0;
        }
      }
    }
    UINT16 oldLength = buf->usLength;
    kvfs_MemCpy(buf->pData + Offset, Data, Length);
    buf->ulType = Type;
    buf->ulFatherID = FatherID;
    buf->ulObjectID = ObjectID;
    buf->ulPageID = PageID;
    if (Offset + Length > buf->usLength) buf->usLength = (UINT16)(Offset + Length);
    buf->usLowModified = oldLength == 0 ? (UINT16)Offset : (Offset < buf->usLowModified ? (UINT16)Offset
                                                                                         : buf->usLowModified);
    kvfs_InsertToDirtyList(Dev, buf);
    if (node == NULL) {
      KVFS_STATUS status = kvfs_FlushAllPageBuf(Dev, 1);
      if (status == KVFS_ERR_NO_ERASED) {
        KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_pageWrite]:no erase block!ulRet:0x%x\n", status, 2, 3, 4);
        g_iKvfsErrNo = KVFS_ENO_NO_SPACE;
        kvfs_PutBackBuf(Dev, buf);
        return 0;
      }
      node = kvfs_FindNode(Dev, Type, FatherID, ObjectID);
      if (node == NULL) {
        KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_pageWrite]:flush the page to flash but can't find the node?\n", 1, 2, 3, 4);
        g_iKvfsErrNo = KVFS_ENO_NOT_ON_FLASH;
        kvfs_PutBackBuf(Dev, buf);
        return 0;
      }
    }
    if (Type == KVFS_TYPE_DATA || Type == KVFS_TYPE_BAD_TABLE) {
      UINT32 end = buf->usLength + PageID * Dev->ulPageDataLen;
      if (end > node->ulSize) node->ulSize = end;
    }
    kvfs_PutBackBuf(Dev, buf);
  }
  AfterBitFlips(Dev, node);
  if (FlushNow && kvfs_FlushAllPageBuf(Dev, NewBlock) != KVFS_OK) return 0;
  if (IsDirHeaderAccess(Type, PageID, Length, Offset) && g_pfnKvfsUpdateDirName != NULL) {
    if (g_pfnKvfsUpdateDirName(Dev, node, Data, 0) != KVFS_OK) {
      KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_pageWrite]:UpdateDirNameBUffer error\n", 1, 2, 3, 4);
    }
  }
  return Length;
}

static UINT32 CopyOut(UINT8 *Out, UINT32 Length, UINT32 Offset, CONST KVFS_PAGE_BUF *Buf) {
  if (Offset >= Buf->usLength) return 0;
  UINT32 count = Buf->usLength - Offset;
  if (count > Length) count = Length;
  kvfs_MemCpy(Out, Buf->pData + Offset, count);
  return count;
}

// The data page index of the newest copy of PageID in the node's block.
static INT32 SearchPage(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node, UINT32 Type, UINT32 PageID) {
  KVFS_BLOCK_INFO *info = kvfs_GetBlockInfo(Dev, Node->ulBlockNum);
  if (info == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_pageRead]:can't get free block info?\n", 1, 2, 3, 4);
    return KVFS_NO_PAGE;
  }
  if (kvfs_LoadBlockInfo(Dev, info, KVFS_ALL_PAGES, &Node->ulBitFlip) != KVFS_OK) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_pageRead]:load block info error?\n", 1, 2, 3, 4);
    kvfs_PutBackBlockInfo(Dev, info);
    return KVFS_NO_PAGE;
  }
  INT32 index = FindPageInBlock(Dev, info, PageID);
  kvfs_PutBackBlockInfo(Dev, info);
  if (index < 0) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_pageRead]:can't find page ID %d in block %d?!\n", PageID, Node->ulBlockNum, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_NOT_ON_FLASH;
    return KVFS_NO_PAGE;
  }
  if (PageID == 0 && (Type == KVFS_TYPE_DIR || Type == KVFS_TYPE_FILE)) Node->iHeaderPage = index;
  return index;
}

UINT32 kvfs_pageRead(KVFS_DEVICE *Dev, UINT8 *Out, UINT32 Length, UINT32 Offset, UINT32 Type, UINT32 PageID,
                     KVFS_BLOCK_NODE *Node) {
  if (g_ulKvfsSafeClose) {
    g_iKvfsErrNo = KVFS_ENO_CLOSED;
    return 0;
  }
  if (Dev == NULL || Out == NULL || Node == NULL) {
    g_iKvfsErrNo = KVFS_ENO_INVALID_PARAM;
    return 0;
  }
  UINT32 copied = 0;
  KVFS_PAGE_BUF *buf = kvfs_IsInBuf(Dev, Node->ulFatherID, Node->ulObjectID, PageID);
  if (buf != NULL) {
    copied = CopyOut(Out, Length, Offset, buf);
    kvfs_PutBackBuf(Dev, buf);
  } else {
    buf = kvfs_GetFreeBuf(Dev);
    if (buf == NULL) {
      kvfs_FlushAllPageBuf(Dev, 0);
      buf = kvfs_GetFreeBuf(Dev);
    }
    if (buf == NULL) {
      KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_pageRead]:no free page buf!\n", 1, 2, 3, 4);
      g_iKvfsErrNo = KVFS_ENO_NO_PAGE_BUF;
      return 0;
    }
    BOOLEAN header = PageID == 0 && (Type == KVFS_TYPE_DIR || Type == KVFS_TYPE_FILE);
    BOOLEAN direct = FALSE;
    INT32 index;
    if (header && Node->iHeaderPage >= 0 && (UINT32)Node->iHeaderPage < KvfsDataPages(Dev)) {
      index = Node->iHeaderPage;
      direct = TRUE;
    } else if (!header && Node->ucCompact) {
      // Written in page ID order with no copy superseded: the page ID is
      // its index (a full data block in particular), no tags needed.
      index = (INT32)PageID;
      direct = TRUE;
    } else {
      index = SearchPage(Dev, Node, Type, PageID);
    }
    BOOLEAN ok = index >= 0;
    for (UINT32 attempt = 0; ok && attempt < 2; attempt++) {
      if (kvfs_FillPageBufFromFlash(Dev, buf, Node->ulBlockNum, (UINT32)index, TRUE, &Node->ulBitFlip) != KVFS_OK) {
        KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_pageRead]:can't read data from flash?!\n", 1, 2, 3, 4);
        ok = Type == KVFS_TYPE_DIR && PageID == 0 && kvfs_RecoverDir(Dev, Node, buf) == KVFS_OK;
        if (ok) kvfs_InsertToPageBufList(Dev, buf, FALSE);
        break;
      }
      if (KeyMatches(buf, Node->ulFatherID, Node->ulObjectID, PageID)) break;
      // A direct guess that missed (the page was rewritten elsewhere in the
      // block, or the header moved): search the tags once.
      ok = direct && attempt == 0;
      if (ok) {
        index = SearchPage(Dev, Node, Type, PageID);
        ok = index >= 0;
      }
    }
    if (!ok) {
      kvfs_PutBackBuf(Dev, buf);
      kvfs_ClearBuf(Dev, buf);
      return 0;
    }
    copied = CopyOut(Out, Length, Offset, buf);
    kvfs_PutBackBuf(Dev, buf);
    AfterBitFlips(Dev, Node);
  }
  if (IsDirHeaderAccess(Type, PageID, Length, Offset) && Node->pNameRec == NULL && g_pfnKvfsUpdateDirName != NULL &&
      copied >= KVFS_OBJECT_HEADER_BYTES) {
    g_pfnKvfsUpdateDirName(Dev, Node, Out, 1);
  }
  return copied;
}
