// kvfs bad blocks as the core uses them: pending records of failing blocks,
// marking a block bad (on flash and on the bad block list), the recovery
// pass over the pending records, and the bad block table.
#ifndef KVFS_BAD_BLOCK_H_
#define KVFS_BAD_BLOCK_H_

#include "Kvfs/KvfsLayout.h"

#define KVFS_BBT_HEAD_MAGIC 0xEEEEEEEEu
#define KVFS_BBT_RECORD_MAGIC 0xA5A5A5A5u
#define KVFS_BBT_LAST_MAGIC 0x0CCCCCCCu
#define KVFS_BBT_RECORD_SIZE 16

VOID kvfs_FindBadBlock(KVFS_DEVICE *Dev, UINT32 Block, UINT32 BadType);
VOID MarkBadBlock(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node, UINT32 BadType);
VOID kvfs_RecoverBadBlock(KVFS_DEVICE *Dev);
KVFS_STATUS WriteBadBlockTable(KVFS_DEVICE *Dev);
// Records a corruption note for the node (nothing when no note is free).
VOID kvfs_TakeCorruptNote(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node);

#endif  // KVFS_BAD_BLOCK_H_
