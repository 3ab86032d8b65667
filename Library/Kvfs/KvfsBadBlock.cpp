// kvfs bad blocks: pending records, marking, the recovery pass and the bad
// block table.
#include "Kvfs/KvfsBadBlock.h"

#include "Kvfs/KvfsBlockMg.h"
#include "Kvfs/KvfsHwEcc.h"
#include "Kvfs/KvfsPageCache.h"

// Frees the records of blocks that no object uses: block recovery moved the
// object away, or the block is on the bad list already.
static VOID FreeSettledRecords(KVFS_DEVICE *Dev) {
  for (UINT32 i = 0; i < KVFS_PENDING_BAD_RECORDS; i++) {
    KVFS_PENDING_BAD *rec = &Dev->astPending[i];
    if (rec->ulBlockNum != KVFS_PENDING_FREE && kvfs_FindNodeByBlock(Dev, rec->ulBlockNum) == NULL) {
      rec->ulBlockNum = KVFS_PENDING_FREE;
    }
  }
}

VOID kvfs_FindBadBlock(KVFS_DEVICE *Dev, UINT32 Block, UINT32 BadType) {
  if (Dev == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_FindBadBlock]:input param error!pDev is null!\n\r", 1, 2, 3, 4);
    return;
  }
  if (!kvfs_BlockInRange(Dev, Block)) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_FindBadBlock]:block num %d out of range!\n\r", Block, 2, 3, 4);
    return;
  }
  for (UINT32 i = 0; i < KVFS_PENDING_BAD_RECORDS; i++) {
    if (Dev->astPending[i].ulBlockNum == Block) {
      if (BadType > Dev->astPending[i].ulBadType) Dev->astPending[i].ulBadType = BadType;
      return;
    }
  }
  UINT32 slot = KVFS_PENDING_BAD_RECORDS;
  for (UINT32 i = 0; i < KVFS_PENDING_BAD_RECORDS && slot == KVFS_PENDING_BAD_RECORDS; i++) {
    if (Dev->astPending[i].ulBlockNum == KVFS_PENDING_FREE) slot = i;
  }
  if (slot == KVFS_PENDING_BAD_RECORDS) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_FindBadBlock]:no space record the bad block!i=%d\n\r", slot, 2, 3, 4);
    // Records are found inside flushes and copies, where the full recovery
    // pass could drop the very object being written. Only the records whose
    // block no object uses any more are settled here; the full pass runs at
    // the objects layer's safe points.
    FreeSettledRecords(Dev);
    for (UINT32 i = 0; i < KVFS_PENDING_BAD_RECORDS && slot == KVFS_PENDING_BAD_RECORDS; i++) {
      if (Dev->astPending[i].ulBlockNum == KVFS_PENDING_FREE) slot = i;
    }
    if (slot == KVFS_PENDING_BAD_RECORDS) slot = 0;
  }
  Dev->astPending[slot].ulBlockNum = Block;
  Dev->astPending[slot].ulBadType = BadType;
  KVFS_LOG(KVFS_LOG_TRACE, "[kvfs_FindBadBlock]:find bad block %d bad type is %d!i=%d\n\r", Block, BadType, slot, 4);
}

VOID MarkBadBlock(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node, UINT32 BadType) {
  if (Node == NULL || Node->ucWhere == KVFS_NODE_BAD) return;
  Dev->pOps->pfuncMakeBadBlockMark(Dev, Node->ulBlockNum);
  kvfs_ExpireBlockInfoOfBlock(Dev, Node->ulBlockNum);
  Node->ulBadType = BadType;
  Node->ucWhere = KVFS_NODE_BAD;
  Node->ucType = KVFS_TYPE_NONE;
  kvfs_InsertToHashList(Dev, &Dev->stBadList, Node);
}

VOID kvfs_TakeCorruptNote(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node) {
  KVFS_CORRUPT_NOTE *note = Dev->pNoteFree;
  if (note == NULL) return;
  Dev->pNoteFree = note->pNext;
  note->pNode = Node;
  note->pNext = Dev->pNoteUsed;
  Dev->pNoteUsed = note;
  if (Dev->ulNoteFreeCount > 0) Dev->ulNoteFreeCount--;
}

// Drops the cached state of a node, takes it out of use and erases it.
static VOID DropAndRelease(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node, UINT32 Type) {
  kvfs_DropObjectCache(Dev, Node->ulFatherID, Node->ulObjectID, Node->ulBlockNum);
  kvfs_BreakFromComEntry(Dev, Node, Type);
  ReleaseBlock(Dev, Node);
}

static KVFS_BLOCK_NODE *FindFileNode(KVFS_DEVICE *Dev, UINT32 FileID) {
  for (KVFS_BLOCK_NODE *n = Dev->astFileHash[FileID & (KVFS_FILE_HASH_BUCKETS - 1)].pHead; n != NULL;
       n = n->pHashNext) {
    if (n->ulObjectID == FileID) return n;
  }
  return NULL;
}

// Releases the data blocks of a file from ordinal 1 up to the first
// missing one, skipping the ordinal already taken out.
static VOID ReleaseDataBlocks(KVFS_DEVICE *Dev, UINT32 FileID, UINT32 SkipOrdinal) {
  for (UINT32 k = 1;; k++) {
    if (k == SkipOrdinal) continue;
    KVFS_BLOCK_NODE *data = kvfs_FindNode(Dev, KVFS_TYPE_DATA, FileID, k);
    if (data == NULL) break;
    DropAndRelease(Dev, data, KVFS_TYPE_DATA);
  }
}

VOID kvfs_RecoverBadBlock(KVFS_DEVICE *Dev) {
  if (Dev == NULL) return;
  for (UINT32 i = 0; i < KVFS_PENDING_BAD_RECORDS; i++) {
    KVFS_PENDING_BAD *rec = &Dev->astPending[i];
    if (rec->ulBlockNum == KVFS_PENDING_FREE) continue;
    if (rec->ulBadType < KVFS_BAD_ERASE || rec->ulBadType > KVFS_BAD_READ) {
      KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_RecoverBadBlock]:invalid error type %d ,block number is %d .\r\n",
               rec->ulBadType, rec->ulBlockNum, 3, 4);
      rec->ulBlockNum = KVFS_PENDING_FREE;
      continue;
    }
    KVFS_BLOCK_NODE *node = kvfs_FindNodeByBlock(Dev, rec->ulBlockNum);
    if (node == NULL) {
      KVFS_LOG(KVFS_LOG_TRACE, "[kvfs_RecoverBadBlock]:can't find node. type is %d, block number is %d \r\n",
               rec->ulBadType, rec->ulBlockNum, 3, 4);
      rec->ulBlockNum = KVFS_PENDING_FREE;
      continue;
    }
    if (rec->ulBadType == KVFS_BAD_WRITE) continue;  // block recovery moves the object off it
    KVFS_LOG(KVFS_LOG_TRACE, "[kvfs_RecoverBadBlock]:bad block: %d , bad type: %d.\r\n", rec->ulBlockNum,
             rec->ulBadType, 3, 4);
    UINT32 type = node->ucType;
    UINT32 father = node->ulFatherID;
    UINT32 object = node->ulObjectID;
    kvfs_DropObjectCache(Dev, father, object, node->ulBlockNum);
    kvfs_BreakFromComEntry(Dev, node, type);
    MarkBadBlock(Dev, node, rec->ulBadType);
    rec->ulBlockNum = KVFS_PENDING_FREE;
    if (type == KVFS_TYPE_DATA) {
      KVFS_BLOCK_NODE *file = FindFileNode(Dev, father);
      if (file != NULL) {
        kvfs_TakeCorruptNote(Dev, file);
        DropAndRelease(Dev, file, KVFS_TYPE_FILE);
      }
      ReleaseDataBlocks(Dev, father, object);
    } else if (type == KVFS_TYPE_FILE) {
      kvfs_TakeCorruptNote(Dev, node);
      ReleaseDataBlocks(Dev, object, 0);
    }
  }
  if (Dev->ulBadChanged) WriteBadBlockTable(Dev);
}

KVFS_STATUS WriteBadBlockTable(KVFS_DEVICE *Dev) {
  UINT32 objectId = Dev->pBadTable != NULL ? Dev->pBadTable->ulObjectID : kvfs_AllocObjectID(Dev);
  if (objectId == KVFS_NO_OBJECT_ID) return KVFS_ERR_NOT_FOUND;
  KVFS_LOG(KVFS_LOG_TRACE, "BadTable Object id is %d \n ", objectId, 2, 3, 4);
  UINT32 pds = KvfsPds(Dev);
  UINT8 *page = (UINT8 *)kvfs_Malloc(Dev, pds);
  if (page == NULL) return KVFS_ERR_NO_MEMORY;
  UINT32 perPage = pds / KVFS_BBT_RECORD_SIZE;
  UINT32 n = Dev->ulBadCount;
  kvfs_MemSet(page, pds, 0xFF);
  KvfsPut32(page + 0, KVFS_BBT_HEAD_MAGIC);
  KvfsPut32(page + 4, n);
  UINT32 inPage = 1;
  UINT32 pageId = 0;
  KVFS_STATUS status = KVFS_OK;
  KVFS_BLOCK_NODE *node = Dev->stBadList.pHead;
  for (UINT32 i = 0; i < n && status == KVFS_OK; i++) {
    if (node == NULL) {
      KVFS_LOG(KVFS_LOG_ERROR, "the bad block node is NULL ? pageNum is %d , i is %d, badblockcount is %d \n ",
               pageId, i, n, 4);
      break;
    }
    UINT8 *rec = page + inPage * KVFS_BBT_RECORD_SIZE;
    KvfsPut32(rec + 0, i + 1 == n ? KVFS_BBT_LAST_MAGIC : KVFS_BBT_RECORD_MAGIC);
    KvfsPut32(rec + 4, node->ulBlockNum);
    KvfsPut32(rec + 8, node->ulBadType);
    KvfsPut32(rec + 12, node->ulEraseCount);
    node = node->pHashNext;
    if (++inPage == perPage) {
      KVFS_LOG(KVFS_LOG_TRACE, "pageNum is %d ,i is %d, boundary is %d \n ", pageId, i, perPage, 4);
      if (kvfs_pageWrite(Dev, NULL, page, pds, 0, pageId, KVFS_TYPE_BAD_TABLE, 0, objectId, 1, 0) != pds) {
        status = KVFS_FAIL;
      }
      pageId++;
      inPage = 0;
      kvfs_MemSet(page, pds, 0xFF);
    }
  }
  if (status == KVFS_OK && inPage > 0) {
    UINT32 length = inPage * KVFS_BBT_RECORD_SIZE;
    if (kvfs_pageWrite(Dev, NULL, page, length, 0, pageId, KVFS_TYPE_BAD_TABLE, 0, objectId, 1, 0) != length) {
      status = KVFS_FAIL;
    }
  }
  if (status == KVFS_OK) Dev->ulBadChanged = 0;
  kvfs_Free(Dev, page);
  return status;
}
