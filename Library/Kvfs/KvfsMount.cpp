// Mount of a kvfs device.
//
// Power-cut rules. kvfs writes so that a single power cut at any program or
// erase leaves every object with either its old or its new content, and
// the mount restores that state:
//  1. Batches. The pages one flush (or one block copy) writes to a block
//     form a batch; every page of it but the last says "continues" in tag
//     byte 3. Pages after the last completed batch of a block are
//     unfinished: the mount drops them (the block is rewritten without them
//     to a fresh block, the old one erased and reused, not retired). A torn
//     last page (its tag unreadable, nothing written after it) is such a
//     page. A copy that never completed a batch holds nothing.
//  2. Newest complete copy wins. Several blocks may claim the same object
//     block (type, father ID, object ID) when a copy, a move or a release
//     was cut short. Among the copies with a completed batch the one with
//     the highest sequence number wins; equal numbers (a wear-levelling
//     copy keeps its number) go to the copy with more completed pages. The
//     others are erased and reused.
//  3. Erase records. A block without a valid erase record and without data
//     (an erase cut before its record, a torn record, a torn erase) is
//     erased again and gets a record; its lost erase count is taken as the
//     average of the device's known counts.
//  4. Sequence numbers. The counter is set to the highest number found in
//     any readable tag, so every later write is newer than all of them.
//  5. Bad blocks come from the kvfs marks (checked with their CRC, so a
//     torn page is never taken for a mark) and from the bad block table.
//     Factory marks are read only while formatting: a blank device (no
//     erase record anywhere) or, when no bad block table exists yet, the
//     blocks that still lack an erase record (a format cut short). A
//     format ends by writing the (possibly empty) bad block table.
//  Repairs copy before they erase, so a cut during a mount is recovered by
//  the next mount under the same rules. An unreadable page with written
//  pages after it is a real read error: its block is rewritten without it
//  and retired.
#include "Kvfs/KvfsMount.h"

#include <Library/BaseLib.h>

#include "Kvfs/KvfsBadBlock.h"
#include "Kvfs/KvfsBlockMg.h"
#include "Kvfs/KvfsCrc32.h"
#include "Kvfs/KvfsHwEcc.h"
#include "Kvfs/KvfsNandBinding.h"
#include "Kvfs/KvfsPageCache.h"

// What the scan made of a block.
#define SCAN_ERASED 0
#define SCAN_NEEDS_ERASE 1   // no data and no valid erase record
#define SCAN_USED 2          // holds a completed batch
#define SCAN_DEAD 3          // written, but no completed batch
#define SCAN_LOSER 4         // an older copy of a block that has a newer one
#define SCAN_BAD 5

#define RECORD_VALID 0
#define RECORD_ERASED 1
#define RECORD_UNREADABLE 2
#define RECORD_FOREIGN 3

typedef struct {
  UINT8 ucClass;
  UINT8 ucRecord;
  UINT8 ucType;
  UINT8 ucNeedsRepair;     // unfinished or unreadable pages to leave behind
  UINT8 ucReadError;       // an unreadable page with written pages after it
  UINT8 ucBadType;
  UINT8 ucListed;          // named by the bad block table
  UINT8 ucCompact;         // page ID i at index i throughout the completed part
  INT16 sCommitted;        // last page index of the last completed batch, -1 none
  INT16 sHeader;           // newest page ID 0 within the completed part, -1 none
  UINT16 usWritten;        // data pages written, unreadable ones included
  UINT32 ulEraseCount;
  UINT32 ulSeq;
  UINT32 ulFather;
  UINT32 ulObject;
  UINT32 ulSize;           // end of the last non-empty newest page (the node size)
  UINT32 ulNameSum;
} KVFS_SCAN;

// Scratch of one block's scan: page ID and length per data page index.
typedef struct {
  UINT32 *pulPageID;
  UINT16 *pusLength;
  UINT8 *pucReadable;
} KVFS_SCAN_PAGES;

static BOOLEAN IsKvfsMark(CONST UINT8 *Spare) {
  if (Spare[0] != KVFS_BAD_MARK_BYTE) return FALSE;
  for (UINT32 i = 1; i < KVFS_BAD_MARK_CRC_SPAN; i++) {
    if (Spare[i] != 0) return FALSE;
  }
  return KvfsGet32(Spare + KVFS_BAD_MARK_CRC_OFFSET) == kvfs_Crc32(Spare, KVFS_BAD_MARK_CRC_SPAN);
}

static UINT32 Chunk(KVFS_DEVICE *Dev, UINT32 Block, UINT32 Page) { return Block * KvfsPagesPerBlock(Dev) + Page; }

static UINT32 ReadSpare(KVFS_DEVICE *Dev, UINT32 Block, UINT32 Page, UINT8 *Tag) {
  UINT32 flip = 0;
  kvfs_MemSet(Tag, KVFS_TAG_SIZE, 0xFF);
  return Dev->_NAND_ReadWithHEcc(Chunk(Dev, Block, Page), KvfsPds(Dev), Dev->strAttr.usSpareSize, Tag, &flip);
}

static VOID ScanEraseRecord(KVFS_DEVICE *Dev, UINT32 Block, KVFS_SCAN *Scan) {
  UINT8 head[8];
  UINT32 flip = 0;
  if (Dev->_NAND_ReadWithHEcc(Chunk(Dev, Block, 0), 0, sizeof(head), head, &flip) != 0) {
    Scan->ucRecord = RECORD_UNREADABLE;
  } else if (KvfsGet32(head + KVFS_ERASE_OFF_MAGIC) == KVFS_ERASE_MAGIC) {
    Scan->ucRecord = RECORD_VALID;
    Scan->ulEraseCount = KvfsGet32(head + KVFS_ERASE_OFF_COUNT);
  } else {
    BOOLEAN erased = TRUE;
    for (UINT32 i = 0; i < sizeof(head); i++) erased = erased && head[i] == 0xFF;
    Scan->ucRecord = erased ? RECORD_ERASED : RECORD_FOREIGN;
  }
}

// Reads the tags of a block up to its first erased page. Pages holds, per
// data page index, the page ID and length of readable written pages.
static VOID ScanTags(KVFS_DEVICE *Dev, UINT32 Block, KVFS_SCAN *Scan, KVFS_SCAN_PAGES *Pages, UINT32 *MaxSeq) {
  UINT8 tag[KVFS_TAG_SIZE];
  BOOLEAN haveKey = FALSE;
  INT32 lastUnreadable = -1;
  Scan->sCommitted = -1;
  for (UINT32 i = 0; i < KvfsDataPages(Dev); i++) {
    UINT32 ret = ReadSpare(Dev, Block, i + 1, tag);
    Pages->pucReadable[i] = 0;
    if (i < 2 && IsKvfsMark(tag)) {
      Scan->ucClass = SCAN_BAD;
      Scan->ucBadType = KVFS_BAD_WRITE;
      return;
    }
    if (ret == 0 && KvfsTagIsErased(tag)) break;
    Scan->usWritten = (UINT16)(i + 1);
    if (ret != 0) {
      lastUnreadable = (INT32)i;
      continue;
    }
    UINT32 seq = KvfsGet32(tag + KVFS_TAG_OFF_SEQ);
    if (seq > *MaxSeq) *MaxSeq = seq;
    if (!haveKey) {
      haveKey = TRUE;
      Scan->ucType = tag[KVFS_TAG_OFF_TYPE];
      Scan->ulFather = KvfsGet32(tag + KVFS_TAG_OFF_FATHER);
      Scan->ulObject = KvfsGet32(tag + KVFS_TAG_OFF_OBJECT);
      Scan->ulSeq = seq;
    }
    Pages->pucReadable[i] = 1;
    Pages->pulPageID[i] = KvfsGet32(tag + KVFS_TAG_OFF_PAGE_ID);
    Pages->pusLength[i] = KvfsGet16(tag + KVFS_TAG_OFF_LENGTH);
    if (Pages->pulPageID[i] == 0) Scan->ulNameSum = KvfsGet16(tag + KVFS_TAG_OFF_NAME_SUM);
    if (tag[KVFS_TAG_OFF_BATCH] == KVFS_BATCH_END) Scan->sCommitted = (INT16)i;
  }
  if (Scan->usWritten == 0) {
    Scan->ucClass = Scan->ucRecord == RECORD_VALID ? SCAN_ERASED : SCAN_NEEDS_ERASE;
    return;
  }
  if (Scan->sCommitted < 0 || Scan->ucType > KVFS_TYPE_BAD_TABLE) {
    Scan->ucClass = SCAN_DEAD;
    return;
  }
  Scan->ucClass = SCAN_USED;
  Scan->ucReadError = lastUnreadable >= 0 && lastUnreadable < (INT32)Scan->usWritten - 1;
  Scan->ucNeedsRepair = Scan->usWritten != Scan->sCommitted + 1 || lastUnreadable >= 0;
  // Sizes, name sum and header from the newest copies of the completed part.
  UINT32 pds = KvfsPds(Dev);
  Scan->sHeader = -1;
  Scan->ulSize = 0;
  Scan->ulNameSum = 0;
  Scan->ucCompact = 1;
  for (INT32 i = 0; i <= Scan->sCommitted; i++) {
    if (!Pages->pucReadable[i] || Pages->pulPageID[i] != (UINT32)i) Scan->ucCompact = 0;
  }
  for (INT32 i = 0; i <= Scan->sCommitted; i++) {
    if (!Pages->pucReadable[i]) continue;
    UINT32 pid = Pages->pulPageID[i];
    BOOLEAN newest = TRUE;
    for (INT32 j = i + 1; j <= Scan->sCommitted && newest; j++) {
      if (Pages->pucReadable[j] && Pages->pulPageID[j] == pid) newest = FALSE;
    }
    if (!newest) continue;
    UINT32 end = 0;
    // Empty pages only hold a page ID's place in a block written in one go.
    if (Pages->pusLength[i] == 0) {
      if (pid == 0) Scan->sHeader = (INT16)i;
      continue;
    }
    if (Scan->ucType == KVFS_TYPE_FILE && pid > 0) end = (pid - 1) * pds + Pages->pusLength[i];
    if (Scan->ucType == KVFS_TYPE_DATA || Scan->ucType == KVFS_TYPE_BAD_TABLE) end = pid * pds + Pages->pusLength[i];
    if (end > Scan->ulSize) Scan->ulSize = end;
    if (pid == 0) Scan->sHeader = (INT16)i;
  }
  if (Scan->ucType == KVFS_TYPE_DIR || Scan->ucType == KVFS_TYPE_FILE) {
    UINT8 headTag[KVFS_TAG_SIZE];
    if (Scan->sHeader >= 0 && ReadSpare(Dev, Block, (UINT32)Scan->sHeader + 1, headTag) == 0) {
      Scan->ulNameSum = KvfsGet16(headTag + KVFS_TAG_OFF_NAME_SUM);
    }
  } else {
    Scan->ulNameSum = 0;
  }
}

static BOOLEAN SameObjectBlock(CONST KVFS_SCAN *A, CONST KVFS_SCAN *B) {
  return A->ucType == B->ucType && A->ulFather == B->ulFather && A->ulObject == B->ulObject;
}

// True when A is the newer complete copy.
static BOOLEAN Newer(CONST KVFS_SCAN *A, CONST KVFS_SCAN *B) {
  if (A->ulSeq != B->ulSeq) return A->ulSeq > B->ulSeq;
  return A->sCommitted > B->sCommitted;
}

static VOID ResolveCopies(KVFS_DEVICE *Dev, KVFS_SCAN *Scans, KVFS_MOUNT_REPORT *Report) {
  for (UINT32 i = 0; i < Dev->ulNodeCount; i++) {
    if (Scans[i].ucClass != SCAN_USED) continue;
    for (UINT32 j = i + 1; j < Dev->ulNodeCount && Scans[i].ucClass == SCAN_USED; j++) {
      if (Scans[j].ucClass != SCAN_USED) continue;
      // Only one bad block table: the newest, whatever its object ID.
      BOOLEAN clash = SameObjectBlock(&Scans[i], &Scans[j]) ||
                      (Scans[i].ucType == KVFS_TYPE_BAD_TABLE && Scans[j].ucType == KVFS_TYPE_BAD_TABLE);
      if (!clash) continue;
      if (Newer(&Scans[j], &Scans[i])) {
        Scans[i].ucClass = SCAN_LOSER;
      } else {
        Scans[j].ucClass = SCAN_LOSER;
      }
      Report->ulSuperseded++;
    }
  }
}

// Reads the bad block table of the winning type-3 block; listed blocks go
// to the bad class. Returns TRUE when a table was found and readable.
static BOOLEAN ReadBadBlockTable(KVFS_DEVICE *Dev, KVFS_SCAN *Scans, KVFS_SCAN_PAGES *Pages) {
  INT32 table = -1;
  for (UINT32 i = 0; i < Dev->ulNodeCount && table < 0; i++) {
    if (Scans[i].ucClass == SCAN_USED && Scans[i].ucType == KVFS_TYPE_BAD_TABLE) table = (INT32)i;
  }
  if (table < 0) return FALSE;
  UINT32 block = Dev->pNodes[table].ulBlockNum;
  KVFS_SCAN *scan = &Scans[table];
  UINT32 maxSeq = 0;
  KVFS_SCAN again = *scan;
  ScanTags(Dev, block, &again, Pages, &maxSeq);
  UINT32 pds = KvfsPds(Dev);
  UINT8 *page = (UINT8 *)kvfs_Malloc(Dev, pds);
  if (page == NULL) return FALSE;
  UINT32 perPage = pds / KVFS_BBT_RECORD_SIZE;
  UINT32 total = 0;
  UINT32 seen = 0;
  BOOLEAN ok = TRUE;
  BOOLEAN headRead = FALSE;
  for (UINT32 pid = 0; ok && !(headRead && seen >= total); pid++) {
    INT32 index = -1;
    for (INT32 i = scan->sCommitted; i >= 0 && index < 0; i--) {
      if (Pages->pucReadable[i] && Pages->pulPageID[i] == pid) index = i;
    }
    UINT32 flip = 0;
    if (index < 0 || Dev->_NAND_ReadWithHEcc(Chunk(Dev, block, (UINT32)index + 1), 0, pds, page, &flip) != 0) break;
    UINT32 records = Pages->pusLength[index] / KVFS_BBT_RECORD_SIZE;
    if (records > perPage) records = perPage;
    for (UINT32 r = 0; r < records; r++) {
      CONST UINT8 *rec = page + r * KVFS_BBT_RECORD_SIZE;
      if (pid == 0 && r == 0) {
        if (KvfsGet32(rec) != KVFS_BBT_HEAD_MAGIC) {
          KVFS_LOG(KVFS_LOG_ERROR,
                   "[KVFS_CheckAndGetBadBLockTable]:the magic code of first record  is error =  ox%x \n",
                   KvfsGet32(rec), 2, 3, 4);
          ok = FALSE;
          break;
        }
        total = KvfsGet32(rec + 4);
        headRead = TRUE;
        KVFS_LOG(KVFS_LOG_TRACE, "[KVFS_CheckAndGetBadBlockTable]:there are %d bad block record in table \n", total,
                 2, 3, 4);
        continue;
      }
      if (seen >= total) break;
      seen++;
      UINT32 magic = KvfsGet32(rec);
      if (seen == total && magic != KVFS_BBT_LAST_MAGIC) {
        KVFS_LOG(KVFS_LOG_ERROR, "[KVFS_CheckAndGetBadBLockTable]:the magic code of last record  is error =  ox%x \n",
                 magic, 2, 3, 4);
      }
      UINT32 bad = KvfsGet32(rec + 4);
      UINT32 type = KvfsGet32(rec + 8);
      INT32 pos = kvfs_BlockPosition(Dev, bad);
      if (pos < 0) continue;
      KVFS_SCAN *listed = &Scans[pos];
      if (listed->ucClass == SCAN_BAD) {
        KVFS_LOG(KVFS_LOG_TRACE,
                 "[KVFS_CheckAndGetBadBLockTable]:find the bad block record(has in badblock list) : block number is %d "
                 "bad tyep is %d \n",
                 bad, type, 3, 4);
      } else if (listed->ucClass == SCAN_USED) {
        continue;  // holds completed data: keep it
      } else {
        KVFS_LOG(KVFS_LOG_TRACE,
                 "[KVFS_CheckAndGetBadBLockTable]:find the bad block record : block number is %d bad tyep is %d \n",
                 bad, type, 3, 4);
      }
      listed->ucClass = SCAN_BAD;
      listed->ucListed = 1;
      listed->ucBadType = (UINT8)type;
      listed->ulEraseCount = KvfsGet32(rec + 12);
      listed->ucRecord = RECORD_VALID;
    }
  }
  kvfs_Free(Dev, page);
  return TRUE;
}

// ---- Pools ----

static KVFS_STATUS AllocatePools(KVFS_DEVICE *Dev) {
  UINT32 pds = KvfsPds(Dev);
  UINT32 pages = KvfsDataPages(Dev);
  Dev->pNodes = (KVFS_BLOCK_NODE *)kvfs_Malloc(Dev, Dev->ulNodeCount * sizeof(KVFS_BLOCK_NODE));
  Dev->ulBufCount = pages + KVFS_PAGE_BUF_SPARES;
  Dev->pBufPool = (KVFS_PAGE_BUF *)kvfs_Malloc(Dev, (Dev->ulBufCount + 1) * sizeof(KVFS_PAGE_BUF));
  Dev->pBufMem = (UINT8 *)kvfs_Malloc(Dev, (Dev->ulBufCount + 1) * (pds + KVFS_TAG_SIZE));
  Dev->ulBlockInfoCount = KVFS_BLOCK_INFO_COUNT;
  Dev->pBlockInfoPool = (KVFS_BLOCK_INFO *)kvfs_Malloc(
      Dev, KVFS_BLOCK_INFO_COUNT * (sizeof(KVFS_BLOCK_INFO) + pages * sizeof(KVFS_BLOCK_INFO_PAGE)));
  Dev->ulNoteCount = KVFS_CORRUPT_NOTE_COUNT;
  Dev->pNotePool = (KVFS_CORRUPT_NOTE *)kvfs_Malloc(Dev, KVFS_CORRUPT_NOTE_COUNT * sizeof(KVFS_CORRUPT_NOTE));
  if (Dev->pNodes == NULL || Dev->pBufPool == NULL || Dev->pBufMem == NULL || Dev->pBlockInfoPool == NULL ||
      Dev->pNotePool == NULL) {
    return KVFS_ERR_NO_MEMORY;
  }
  kvfs_MemSet(Dev->pNodes, Dev->ulNodeCount * sizeof(KVFS_BLOCK_NODE), 0);
  kvfs_MemSet(Dev->pBufPool, (Dev->ulBufCount + 1) * sizeof(KVFS_PAGE_BUF), 0);
  for (UINT32 i = 0; i <= Dev->ulBufCount; i++) {
    KVFS_PAGE_BUF *buf = &Dev->pBufPool[i];
    buf->pData = Dev->pBufMem + i * (pds + KVFS_TAG_SIZE);
    buf->pTag = buf->pData + pds;
    kvfs_MemSet(buf->pData, pds + KVFS_TAG_SIZE, 0xFF);
    if (i == Dev->ulBufCount) {
      buf->ucIsRemain = 1;
      Dev->pRemainBuf = buf;
    } else {
      kvfs_InsertToPageBufList(Dev, buf, TRUE);
    }
  }
  UINT8 *pageArea = (UINT8 *)(Dev->pBlockInfoPool + KVFS_BLOCK_INFO_COUNT);
  for (UINT32 i = 0; i < KVFS_BLOCK_INFO_COUNT; i++) {
    KVFS_BLOCK_INFO *info = &Dev->pBlockInfoPool[i];
    kvfs_MemSet(info, sizeof(*info), 0);
    info->pPages = (KVFS_BLOCK_INFO_PAGE *)(pageArea + i * pages * sizeof(KVFS_BLOCK_INFO_PAGE));
    info->ulBlockNum = 0xFFFFFFFFu;
    kvfs_MemSet(info->pPages, pages * sizeof(KVFS_BLOCK_INFO_PAGE), 0xFF);
    info->iExpiredCount = (INT32)pages;
    info->pPrev = Dev->pBlockInfoTail;
    if (Dev->pBlockInfoTail != NULL) Dev->pBlockInfoTail->pNext = info; else Dev->pBlockInfoHead = info;
    Dev->pBlockInfoTail = info;
  }
  for (UINT32 i = 0; i < KVFS_CORRUPT_NOTE_COUNT; i++) {
    Dev->pNotePool[i].pNode = NULL;
    Dev->pNotePool[i].pNext = Dev->pNoteFree;
    Dev->pNoteFree = &Dev->pNotePool[i];
  }
  Dev->ulNoteFreeCount = KVFS_CORRUPT_NOTE_COUNT;
  for (UINT32 i = 0; i < KVFS_PENDING_BAD_RECORDS; i++) Dev->astPending[i].ulBlockNum = KVFS_PENDING_FREE;
  return KVFS_OK;
}

static VOID FreePools(KVFS_DEVICE *Dev) {
  kvfs_Free(Dev, Dev->pNodes);
  kvfs_Free(Dev, Dev->pBufPool);
  kvfs_Free(Dev, Dev->pBufMem);
  kvfs_Free(Dev, Dev->pBlockInfoPool);
  kvfs_Free(Dev, Dev->pNotePool);
}

// ---- Repairs and erasing ----

// Erases a block that the scan found without usable content and gives it
// an erase record.
static VOID EraseIntoPool(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node) {
  if (Dev->pOps->pfuncEraseBlock(Dev, Node->ulBlockNum) != KVFS_OK) {
    MarkBadBlock(Dev, Node, KVFS_BAD_ERASE);
    return;
  }
  if (kvfs_WriteBlockEraseTime(Dev, Node->ulBlockNum, Node) != KVFS_OK) {
    kvfs_RetireFailedBlock(Dev, Node);
    return;
  }
  PutErasedBlock(Dev, Node);
}

// Rewrites a used block's completed part, newest copy of each page once, to
// a fresh block. The old block is erased and reused, or retired when one of
// its pages was unreadable in the middle.
static VOID RepairBlock(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node, KVFS_SCAN *Scan, KVFS_SCAN_PAGES *Pages) {
  KVFS_SCAN again = *Scan;
  UINT32 maxSeq = 0;
  ScanTags(Dev, Node->ulBlockNum, &again, Pages, &maxSeq);
  INT32 maxPid = -1;
  for (INT32 i = 0; i <= Scan->sCommitted; i++) {
    if (Pages->pucReadable[i] && (INT32)Pages->pulPageID[i] > maxPid) maxPid = (INT32)Pages->pulPageID[i];
  }
  if (maxPid >= (INT32)KvfsDataPages(Dev)) maxPid = (INT32)KvfsDataPages(Dev) - 1;
  KVFS_PAGE_BUF *buf = kvfs_GetRemainBuf(Dev);
  UINT32 seq = kvfs_NextSeq(Dev);
  KVFS_BLOCK_NODE *fresh = NULL;
  BOOLEAN done = FALSE;
  for (UINT32 attempt = 0; attempt < 3 && !done; attempt++) {
    fresh = kvfs_GetErasedWithoutReservation(Dev);
    if (fresh == NULL) break;
    done = TRUE;
    for (INT32 pid = 0; pid <= maxPid && done; pid++) {
      INT32 index = -1;
      for (INT32 i = Scan->sCommitted; i >= 0 && index < 0; i--) {
        if (Pages->pucReadable[i] && (INT32)Pages->pulPageID[i] == pid) index = i;
      }
      UINT32 flip = 0;
      if (index < 0 ||
          Dev->pOps->pfuncLoadPage(Dev, Node->ulBlockNum, (UINT32)index + 1, buf->pData, buf->pTag, &flip) != KVFS_OK) {
        kvfs_SetFillerPage(Dev, buf, Scan->ucType, Node->ulFatherID, Node->ulObjectID, (UINT32)pid);
      } else {
        buf->ulType = Scan->ucType;
        buf->ulFatherID = Node->ulFatherID;
        buf->ulObjectID = Node->ulObjectID;
        buf->ulPageID = (UINT32)pid;
        buf->usLength = KvfsGet16(buf->pTag + KVFS_TAG_OFF_LENGTH);
      }
      UINT8 batch = pid == maxPid ? KVFS_BATCH_END : KVFS_BATCH_CONTINUES;
      if (kvfs_FlushPageBufToFlash(Dev, buf, fresh->ulBlockNum, (UINT32)pid, FALSE, seq, batch) != KVFS_OK) {
        done = FALSE;
      }
    }
    if (!done) kvfs_RetireFailedBlock(Dev, fresh);
  }
  kvfs_PutBackBuf(Dev, buf);
  if (!done) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_Mount]:can't repair block %d\n", Node->ulBlockNum, 2, 3, 4);
    return;
  }
  UINT32 old = Node->ulEraseCount;
  Node->ulEraseCount = fresh->ulEraseCount;
  fresh->ulEraseCount = old;
  kvfs_MoveUsedBucket(Dev, Node, old);
  fresh->ulBlockNum ^= Node->ulBlockNum;
  Node->ulBlockNum ^= fresh->ulBlockNum;
  fresh->ulBlockNum ^= Node->ulBlockNum;
  Node->iHeaderPage = (Scan->ucType == KVFS_TYPE_DIR || Scan->ucType == KVFS_TYPE_FILE) ? 0 : -1;
  Node->ucCompact = 1;
  if (Scan->ucReadError) {
    MarkBadBlock(Dev, fresh, KVFS_BAD_READ);
  } else {
    EraseIntoPool(Dev, fresh);
  }
}

// ---- Mount ----

static KVFS_DEVICE *FreeSlot(VOID) {
  KVFS_DEVICE *table = kvfs_GetDeviceTable();
  for (UINT32 i = 0; i < KVFS_MAX_DEVICES; i++) {
    if (!table[i].ucInUse) return &table[i];
  }
  return NULL;
}

static VOID SetName(KVFS_DEVICE *Dev, CONST CHAR8 *Name) {
  UINT32 i = 0;
  for (; Name[i] != 0 && i + 1 < KVFS_DEVICE_NAME_MAX; i++) Dev->szName[i] = Name[i];
  Dev->szName[i] = 0;
}

static UINT32 AverageEraseCount(KVFS_SCAN *Scans, UINT32 Count) {
  UINT64 sum = 0;
  UINT32 known = 0;
  for (UINT32 i = 0; i < Count; i++) {
    if (Scans[i].ucRecord == RECORD_VALID && Scans[i].ucClass != SCAN_BAD) {
      sum += Scans[i].ulEraseCount;
      known++;
    }
  }
  return known == 0 ? 0 : (UINT32)((sum + known - 1) / known);
}

static BOOLEAN FactoryBad(KVFS_DEVICE *Dev, UINT32 Block) {
  UINT32 bad = 0;
  return Dev->pOps->pfuncCheckFactoryBadBlock(Dev, Block, &bad) == KVFS_OK && bad != 0;
}

// Builds nodes, lists and tables from the scan; erases and repairs.
static VOID BuildDevice(KVFS_DEVICE *Dev, KVFS_SCAN *Scans, KVFS_SCAN_PAGES *Pages, BOOLEAN HaveTable,
                        KVFS_MOUNT_REPORT *Report) {
  BOOLEAN ReadFactoryMarks = !HaveTable;
  BOOLEAN unlisted = FALSE;
  UINT32 average = AverageEraseCount(Scans, Dev->ulNodeCount);
  UINT32 filePages = KvfsDataPages(Dev) - 2;  // P-3: header + P-4 data pages
  for (UINT32 i = 0; i < Dev->ulNodeCount; i++) {
    KVFS_BLOCK_NODE *node = &Dev->pNodes[i];
    KVFS_SCAN *scan = &Scans[i];
    node->ulEraseCount = scan->ucRecord == RECORD_VALID ? scan->ulEraseCount : average;
    node->iHeaderPage = -1;
    node->ucType = KVFS_TYPE_NONE;
    if (ReadFactoryMarks && scan->ucClass != SCAN_USED && scan->ucClass != SCAN_BAD &&
        scan->ucRecord != RECORD_VALID && FactoryBad(Dev, node->ulBlockNum)) {
      scan->ucClass = SCAN_BAD;
      scan->ucBadType = KVFS_BAD_ERASE;
    }
    switch (scan->ucClass) {
      case SCAN_BAD:
        node->ulBadType = scan->ucBadType;
        node->ucWhere = KVFS_NODE_BAD;
        unlisted = unlisted || !scan->ucListed;
        kvfs_InsertToHashList(Dev, &Dev->stBadList, node);
        break;
      case SCAN_ERASED:
        PutErasedBlock(Dev, node);
        break;
      case SCAN_USED:
        node->ulFatherID = scan->ulFather;
        node->ulObjectID = scan->ulObject;
        node->ulSize = scan->ucType == KVFS_TYPE_DIR ? 0 : scan->ulSize;
        node->ulNameSum = scan->ulNameSum;
        node->iHeaderPage = scan->sHeader;
        node->ucCompact = scan->ucCompact;
        kvfs_InsertToComEntry(Dev, node, scan->ucType);
        break;
      default:
        break;  // erased below
    }
  }
  // The table is written again only when it misses a bad block.
  Dev->ulBadChanged = !HaveTable || unlisted;
  // A file's size reaches into its data blocks.
  UINT32 pds = KvfsPds(Dev);
  for (UINT32 b = 0; b < KVFS_DATA_HASH_BUCKETS; b++) {
    for (KVFS_BLOCK_NODE *data = Dev->astDataHash[b].pHead; data != NULL; data = data->pHashNext) {
      if (data->ulObjectID == 0) continue;
      for (KVFS_BLOCK_NODE *file = Dev->astFileHash[data->ulFatherID & (KVFS_FILE_HASH_BUCKETS - 1)].pHead;
           file != NULL; file = file->pHashNext) {
        if (file->ulObjectID != data->ulFatherID) continue;
        UINT32 end = (filePages - 1) * pds + (data->ulObjectID - 1) * Dev->strAttr.ulBlockDataBytes + data->ulSize;
        if (end > file->ulSize) file->ulSize = end;
      }
    }
  }
  // Blocks without usable content go back to the pool first: the repairs
  // below need fresh blocks.
  for (UINT32 i = 0; i < Dev->ulNodeCount; i++) {
    KVFS_SCAN *scan = &Scans[i];
    if (scan->ucClass == SCAN_NEEDS_ERASE || scan->ucClass == SCAN_DEAD || scan->ucClass == SCAN_LOSER) {
      if (scan->ucClass == SCAN_NEEDS_ERASE && scan->ucRecord != RECORD_VALID) Report->ulErasedWithoutRecord++;
      if (scan->ucClass == SCAN_DEAD) Report->ulDeadCopies++;
      EraseIntoPool(Dev, &Dev->pNodes[i]);
    }
  }
  for (UINT32 i = 0; i < Dev->ulNodeCount; i++) {
    if (Scans[i].ucClass == SCAN_USED && Scans[i].ucNeedsRepair) {
      RepairBlock(Dev, &Dev->pNodes[i], &Scans[i], Pages);
      Report->ulRepaired++;
    }
  }
}

static VOID FillReport(KVFS_DEVICE *Dev, KVFS_MOUNT_REPORT *Report) {
  Report->ulErasedBlocks = Dev->ulErasedCount;
  Report->ulBadBlocks = Dev->ulBadCount;
  Report->ulUsedBlocks = Dev->ulNodeCount - Dev->ulErasedCount - Dev->ulBadCount;
  Report->ulMaxSeq = Dev->ulSeq;
}

KVFS_STATUS kvfs_Mount(CONST CHAR8 *Name, CONST KVFS_BLOCK_RANGE *Ranges, UINT32 RangeCount,
                       KVFS_MOUNT_REPORT *Report, KVFS_DEVICE **Device) {
  if (Name == NULL || Ranges == NULL || RangeCount == 0 || RangeCount > KVFS_MAX_RANGES || Device == NULL) {
    return KVFS_ERR_PARAM;
  }
  KVFS_MOUNT_REPORT localReport;
  if (Report == NULL) Report = &localReport;
  kvfs_MemSet(Report, sizeof(*Report), 0);
  KVFS_DEVICE *dev = FreeSlot();
  if (dev == NULL) return KVFS_ERR_NOT_FOUND;
  UINT16 number = (UINT16)(dev - kvfs_GetDeviceTable());
  kvfs_MemSet(dev, sizeof(*dev), 0);
  dev->usDevNum = number;
  KVFS_NAND_GEOMETRY geometry;
  KVFS_STATUS status = kvfs_BindNand(dev, &geometry);
  if (status != KVFS_OK) return status;
  UINT32 nodes = 0;
  for (UINT32 r = 0; r < RangeCount; r++) {
    if (Ranges[r].ulFirst > Ranges[r].ulLast || Ranges[r].ulLast >= geometry.ulBlockCount) return KVFS_ERR_PARAM;
    dev->astRange[r] = Ranges[r];
    nodes += Ranges[r].ulLast - Ranges[r].ulFirst + 1;
  }
  if (nodes <= KVFS_RESERVED_ERASED) return KVFS_ERR_PARAM;
  dev->ulRangeCount = RangeCount;
  dev->strAttr.page_data_size = (UINT16)geometry.ulPageSize;
  dev->strAttr.usSpareSize = (UINT16)geometry.ulSpareSize;
  dev->strAttr.usUsablePages = (UINT16)(geometry.ulPagesPerBlock - 1);
  dev->strAttr.ulBlockDataBytes = (geometry.ulPagesPerBlock - 1) * geometry.ulPageSize;
  dev->ulPageDataLen = geometry.ulPageSize;
  dev->ulNodeCount = nodes;
  SetName(dev, Name);
  kvfs_SetEccMode(dev, " HwEcc");
  dev->ucInUse = 1;

  status = AllocatePools(dev);
  KVFS_SCAN *scans = (KVFS_SCAN *)kvfs_Malloc(dev, nodes * sizeof(KVFS_SCAN));
  UINT32 pages = KvfsDataPages(dev);
  KVFS_SCAN_PAGES scratch;
  scratch.pulPageID = (UINT32 *)kvfs_Malloc(dev, pages * sizeof(UINT32));
  scratch.pusLength = (UINT16 *)kvfs_Malloc(dev, pages * sizeof(UINT16));
  scratch.pucReadable = (UINT8 *)kvfs_Malloc(dev, pages);
  if (status != KVFS_OK || scans == NULL || scratch.pulPageID == NULL || scratch.pusLength == NULL ||
      scratch.pucReadable == NULL) {
    kvfs_Free(dev, scans);
    kvfs_Free(dev, scratch.pulPageID);
    kvfs_Free(dev, scratch.pusLength);
    kvfs_Free(dev, scratch.pucReadable);
    FreePools(dev);
    kvfs_MemSet(dev, sizeof(*dev), 0);
    g_iKvfsErrNo = KVFS_ENO_NO_MEMORY;
    return KVFS_ERR_NO_MEMORY;
  }
  kvfs_MemSet(scans, nodes * sizeof(KVFS_SCAN), 0);

  UINT32 maxSeq = 0;
  BOOLEAN anyRecord = FALSE;
  for (UINT32 i = 0; i < nodes; i++) {
    UINT32 block = 0;
    UINT32 base = 0;
    for (UINT32 r = 0; r < RangeCount; r++) {
      UINT32 span = Ranges[r].ulLast - Ranges[r].ulFirst + 1;
      if (i < base + span) {
        block = Ranges[r].ulFirst + (i - base);
        break;
      }
      base += span;
    }
    dev->pNodes[i].ulBlockNum = block;
    ScanEraseRecord(dev, block, &scans[i]);
    ScanTags(dev, block, &scans[i], &scratch, &maxSeq);
    if (scans[i].ucRecord == RECORD_VALID) anyRecord = TRUE;
  }
  BOOLEAN blank = !anyRecord;
  if (blank) {
    // A blank device: every block is erased anew and checked for a factory mark.
    for (UINT32 i = 0; i < nodes; i++) {
      if (scans[i].ucClass != SCAN_BAD) scans[i].ucClass = SCAN_NEEDS_ERASE;
    }
    Report->ulFormatted = 1;
  }
  ResolveCopies(dev, scans, Report);
  BOOLEAN haveTable = !blank && ReadBadBlockTable(dev, scans, &scratch);
  dev->ulSeq = maxSeq;
  BuildDevice(dev, scans, &scratch, haveTable, Report);
  if (blank) Report->ulErasedWithoutRecord = 0;

  kvfs_Free(dev, scans);
  kvfs_Free(dev, scratch.pulPageID);
  kvfs_Free(dev, scratch.pusLength);
  kvfs_Free(dev, scratch.pucReadable);
  dev->ulReserve = dev->ulErasedCount < KVFS_RESERVED_ERASED ? 1 : 0;
  dev->ucMounted = 1;
  // The table records the bad list when it changed (new marks, a format).
  if (dev->ulBadChanged) WriteBadBlockTable(dev);
  kvfs_ExpireAllBlockInfo(dev);
  FillReport(dev, Report);
  *Device = dev;
  return KVFS_OK;
}

KVFS_STATUS kvfs_MountCfcard(KVFS_MOUNT_REPORT *Report, KVFS_DEVICE **Device) {
  KVFS_DEVICE probe;
  kvfs_MemSet(&probe, sizeof(probe), 0);
  KVFS_NAND_GEOMETRY geometry;
  KVFS_STATUS status = kvfs_BindNand(&probe, &geometry);
  if (status != KVFS_OK) return status;
  UINT32 blockBytes = geometry.ulPageSize * geometry.ulPagesPerBlock;
  KVFS_BLOCK_RANGE range;
  range.ulFirst = KVFS_CFCARD_FIRST_BYTE / blockBytes;
  range.ulLast = geometry.ulBlockCount - 1;
  if (range.ulFirst + KVFS_RESERVED_ERASED * 4 > range.ulLast) range.ulFirst = 0;
  return kvfs_Mount(KVFS_CFCARD_NAME, &range, 1, Report, Device);
}

KVFS_STATUS kvfs_Unmount(KVFS_DEVICE *Dev) {
  if (Dev == NULL || !Dev->ucInUse) return KVFS_ERR_PARAM;
  KVFS_STATUS status = KVFS_OK;
  if (Dev->ucMounted) status = kvfs_FlushAllPageBuf(Dev, 0);
  FreePools(Dev);
  kvfs_MemSet(Dev, sizeof(*Dev), 0);
  return status;
}

VOID kvfs_ForgetDevices(VOID) {
  kvfs_MemSet(kvfs_GetDeviceTable(), sizeof(KVFS_DEVICE) * KVFS_MAX_DEVICES, 0);
  g_ulKvfsSafeClose = 0;
  g_iKvfsErrNo = 0;
}
