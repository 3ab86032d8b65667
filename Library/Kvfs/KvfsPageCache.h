// kvfs page buffer cache and page I/O: the clean and dirty lists of page
// buffers, moving bytes between callers and one page of an object, and the
// flush of an object's dirty pages (appended in place, copied to a new
// block with the object's other pages, or written to the first block of a
// new object).
#ifndef KVFS_PAGE_CACHE_H_
#define KVFS_PAGE_CACHE_H_

#include "Kvfs/KvfsLayout.h"

KVFS_PAGE_BUF *kvfs_GetFreeBuf(KVFS_DEVICE *Dev);
KVFS_PAGE_BUF *kvfs_GetRemainBuf(KVFS_DEVICE *Dev);
KVFS_STATUS kvfs_PutBackBuf(KVFS_DEVICE *Dev, KVFS_PAGE_BUF *Buf);
KVFS_PAGE_BUF *kvfs_IsInBuf(KVFS_DEVICE *Dev, UINT32 FatherID, UINT32 ObjectID, UINT32 PageID);
KVFS_PAGE_BUF *kvfs_FindPageBufInList(KVFS_DEVICE *Dev, KVFS_PAGE_BUF *ListHead, UINT32 FatherID, UINT32 ObjectID,
                                      UINT32 PageID);
KVFS_STATUS kvfs_InsertToPageBufList(KVFS_DEVICE *Dev, KVFS_PAGE_BUF *Buf, BOOLEAN Empty);
KVFS_STATUS kvfs_InsertToDirtyList(KVFS_DEVICE *Dev, KVFS_PAGE_BUF *Buf);
KVFS_STATUS kvfs_ClearBuf(KVFS_DEVICE *Dev, KVFS_PAGE_BUF *Buf);
VOID kvfs_BufSetValidEmpty(KVFS_DEVICE *Dev);
VOID kvfs_BufSetDirtyEmpty(KVFS_DEVICE *Dev);
VOID kvfs_BufSetAllEmpty(KVFS_DEVICE *Dev);
KVFS_STATUS kvfs_BufIsAllFree(KVFS_DEVICE *Dev);
UINT32 kvfs_CntSameNodePageBuf(KVFS_DEVICE *Dev, KVFS_PAGE_BUF *ListHead, CONST KVFS_BLOCK_NODE *Node);
// Drops every cached page (clean or dirty, not held) of an object and
// expires its block's tags.
VOID kvfs_DropObjectCache(KVFS_DEVICE *Dev, UINT32 FatherID, UINT32 ObjectID, UINT32 Block);

// Makes Buf an empty page (length 0) of the object: it fills the index of
// a page ID that was never written when a block is written in one go.
VOID kvfs_SetFillerPage(KVFS_DEVICE *Dev, KVFS_PAGE_BUF *Buf, UINT32 Type, UINT32 FatherID, UINT32 ObjectID,
                        UINT32 PageID);

KVFS_STATUS kvfs_FillPageBufFromFlash(KVFS_DEVICE *Dev, KVFS_PAGE_BUF *Buf, UINT32 Block, UINT32 Index,
                                      BOOLEAN MakeValid, UINT32 *BitFlip);
// Batch: KVFS_BATCH_END on the last page of a flush or copy, else
// KVFS_BATCH_CONTINUES.
KVFS_STATUS kvfs_FlushPageBufToFlash(KVFS_DEVICE *Dev, KVFS_PAGE_BUF *Buf, UINT32 Block, UINT32 Index,
                                     BOOLEAN MakeValid, UINT32 Seq, UINT8 Batch);

UINT32 kvfs_pageRead(KVFS_DEVICE *Dev, UINT8 *Out, UINT32 Length, UINT32 Offset, UINT32 Type, UINT32 PageID,
                     KVFS_BLOCK_NODE *Node);
UINT32 kvfs_pageWrite(KVFS_DEVICE *Dev, VOID *Object, CONST UINT8 *Data, UINT32 Length, UINT32 Offset,
                      UINT32 PageID, UINT32 Type, UINT32 FatherID, UINT32 ObjectID, UINT32 FlushNow,
                      UINT32 NewBlock);
KVFS_STATUS kvfs_FlushAllPageBuf(KVFS_DEVICE *Dev, UINT32 NewBlock);
KVFS_STATUS kvfs_pageCtrl(KVFS_DEVICE *Dev, UINT32 Operation, UINT32 Argument);

// Page buffers with usRefCount above 0 (every path puts back what it took).
UINT32 kvfs_PageBufInUse(KVFS_DEVICE *Dev);

// Hook of the objects layer: refreshes (Set = 0) or sets (Set = 1) a
// directory's name record from a header page. NULL while none is linked.
typedef KVFS_STATUS (*KVFS_DIR_NAME_FN)(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node, CONST UINT8 *Header, UINT32 Set);
extern KVFS_DIR_NAME_FN g_pfnKvfsUpdateDirName;

#endif  // KVFS_PAGE_CACHE_H_
