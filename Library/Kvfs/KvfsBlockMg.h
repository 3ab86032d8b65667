// kvfs block management: the block info cache (the tags of a block's data
// pages, loaded lazily), the erased pool by erase-count bucket with its
// reserve and static wear levelling, erasing and releasing blocks, the hash
// tables and used buckets, and the copies that move an object to another
// block.
#ifndef KVFS_BLOCK_MG_H_
#define KVFS_BLOCK_MG_H_

#include "Kvfs/KvfsLayout.h"

// ---- Block info cache ----
KVFS_BLOCK_INFO *kvfs_IsInBlockInfoList(KVFS_DEVICE *Dev, UINT32 Block);
KVFS_BLOCK_INFO *kvfs_GetBlockInfo(KVFS_DEVICE *Dev, UINT32 Block);
KVFS_STATUS kvfs_LoadBlockInfo(KVFS_DEVICE *Dev, KVFS_BLOCK_INFO *Info, INT32 Page, UINT32 *BitFlip);
VOID kvfs_ExpireBlockInfo(KVFS_DEVICE *Dev, KVFS_BLOCK_INFO *Info, INT32 Page);
VOID kvfs_ExpireAllBlockInfo(KVFS_DEVICE *Dev);
// Expires the cached tags of a block, if it has an entry (every erase and
// every move of a block's content does this).
VOID kvfs_ExpireBlockInfoOfBlock(KVFS_DEVICE *Dev, UINT32 Block);
KVFS_STATUS kvfs_PutBackBlockInfo(KVFS_DEVICE *Dev, KVFS_BLOCK_INFO *Info);
INT32 FindPageInBlock(KVFS_DEVICE *Dev, KVFS_BLOCK_INFO *Info, UINT32 PageID);
UINT32 FreePageCount(KVFS_DEVICE *Dev, KVFS_BLOCK_INFO *Info);
BOOLEAN IsPageErased(KVFS_DEVICE *Dev, KVFS_BLOCK_INFO *Info, UINT32 Index);
// Entries with refCount above 0 (every path puts back what it took).
UINT32 kvfs_BlockInfoInUse(KVFS_DEVICE *Dev);

// ---- Lists ----
// Bucket lists (erased and used buckets) link through pNext/pPrev; the
// erased count follows the erased buckets.
KVFS_STATUS kvfs_InsertToList(KVFS_DEVICE *Dev, KVFS_NODE_LIST *List, KVFS_BLOCK_NODE *Node);
KVFS_STATUS kvfs_BreakFromList(KVFS_DEVICE *Dev, KVFS_NODE_LIST *List, KVFS_BLOCK_NODE *Node);
// Hash buckets, the bad block list and the second list link through
// pHashNext; the bad list keeps its count and changed flag, the second list
// its count.
KVFS_STATUS kvfs_InsertToHashList(KVFS_DEVICE *Dev, KVFS_NODE_LIST *List, KVFS_BLOCK_NODE *Node);
KVFS_STATUS kvfs_BreakFromHashList(KVFS_DEVICE *Dev, KVFS_NODE_LIST *List, KVFS_BLOCK_NODE *Node);
KVFS_STATUS kvfs_InsertToComEntry(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node, UINT32 Type);
KVFS_STATUS kvfs_BreakFromComEntry(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node, UINT32 Type);
KVFS_BLOCK_NODE *kvfs_FindNode(KVFS_DEVICE *Dev, UINT32 Type, UINT32 FatherID, UINT32 ObjectID);
// The node in use that holds the block (directory, file, data or bad table).
KVFS_BLOCK_NODE *kvfs_FindNodeByBlock(KVFS_DEVICE *Dev, UINT32 Block);
// Moves a used node to the bucket of its erase count after the count changed.
VOID kvfs_MoveUsedBucket(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node, UINT32 OldEraseCount);
KVFS_STATUS kvfs_BlockMgExamination(KVFS_DEVICE *Dev);

// ---- Erased pool ----
// Busy: the node the caller is working on; wear levelling never moves it.
KVFS_BLOCK_NODE *kvfs_GetErased(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Busy);
KVFS_BLOCK_NODE *kvfs_GetErasedWithoutReservation(KVFS_DEVICE *Dev);
VOID PutErasedBlock(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node);
KVFS_STATUS ReleaseBlock(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node);
KVFS_STATUS kvfs_WriteBlockEraseTime(KVFS_DEVICE *Dev, UINT32 Block, KVFS_BLOCK_NODE *Node);
// A block whose program failed never returns to the pool: it is marked bad.
VOID kvfs_RetireFailedBlock(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node);

// ---- Copies and recovery ----
typedef struct {
  UINT32 ulSeq;        // sequence the caller's following writes use
  INT32 iFailedPage;   // data page index whose write failed: copy below it
} KVFS_FLUSH_CTX;

KVFS_STATUS kvfs_BlockCpy(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Dest, KVFS_BLOCK_NODE *Src);
KVFS_STATUS kvfs_CopyBlockToNew(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node, UINT32 Type, UINT32 NewSize,
                                UINT32 SetSize);
KVFS_STATUS kvfs_RecoverBlock(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node, KVFS_FLUSH_CTX *Ctx);
KVFS_STATUS kvfs_RecoverBitFlipsNode(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node);
struct KVFS_PAGE_BUF;
KVFS_STATUS kvfs_RecoverDir(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node, KVFS_PAGE_BUF *Buf);

// Clock of the objects layer (seconds since 1970) for rebuilt headers; 0
// while none is linked.
typedef UINT32 (*KVFS_NOW_FN)(VOID);
extern KVFS_NOW_FN g_pfnKvfsNow;

// Batch byte of page Index in a copy of a block whose last completed batch
// ends at LastCommitted: the copy completes exactly what the original did.
UINT8 kvfs_CopyBatchByte(INT32 Index, INT32 LastCommitted);
// Highest data page index below Limit whose tag closes a batch, or -1.
INT32 kvfs_LastCommittedIndex(KVFS_BLOCK_INFO *Info, INT32 Limit);

#endif  // KVFS_BLOCK_MG_H_
