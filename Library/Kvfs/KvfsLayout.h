// kvfs layout and device model: on-flash formats (erase record, page tag),
// the block node, page buffer and block info records, the device record and
// its static table, object keys, sequence numbers, object ID allocation,
// the name sum, erase-count buckets, the debug logger, memory and the lock
// hooks.
#ifndef KVFS_LAYOUT_H_
#define KVFS_LAYOUT_H_

#include <Uefi/UefiBaseType.h>

#include "Kvfs/KvfsStatus.h"

// ---- Limits and constants ----
#define KVFS_MAX_DEVICES 10
#define KVFS_HANDLES_PER_DEVICE 32
#define KVFS_OBJECTS_PER_DEVICE 33  // 32 for callers + 1 reserved
#define KVFS_MAX_RANGES 4
#define KVFS_DEVICE_NAME_MAX 16
#define KVFS_TAG_SIZE 44
#define KVFS_OBJECT_HEADER_BYTES 448
#define KVFS_HEADER_NAME_LEN_OFFSET 188
#define KVFS_HEADER_NAME_OFFSET 192
#define KVFS_NAME_MAX 255
#define KVFS_DIR_HASH_BUCKETS 32
#define KVFS_FILE_HASH_BUCKETS 64
#define KVFS_DATA_HASH_BUCKETS 512
#define KVFS_ERASE_BUCKETS 13
#define KVFS_ERASE_BUCKET_SHIFT 13  // 8192 erases per bucket
#define KVFS_RESERVED_ERASED 4
#define KVFS_WEAR_LEVEL_PERIOD 64
#define KVFS_PENDING_BAD_RECORDS 5
#define KVFS_PENDING_FREE ((UINT32)-2)
#define KVFS_ALL_PAGES (-16)
#define KVFS_NO_PAGE (-2)
#define KVFS_MODULE_ID 0x58035000u
#define KVFS_ROOT_FATHER_ID 0xFFFFFFFDu
#define KVFS_NO_OBJECT_ID 0xFFFFFFFFu

// Object types (tag byte 1, page buffer and node type).
#define KVFS_TYPE_DIR 0
#define KVFS_TYPE_FILE 1
#define KVFS_TYPE_DATA 2
#define KVFS_TYPE_BAD_TABLE 3
#define KVFS_TYPE_NONE 0xFF

// Bad types.
#define KVFS_BAD_ERASE 1
#define KVFS_BAD_WRITE 2
#define KVFS_BAD_READ 3

// ---- Erase record (page index 0 of a block) ----
#define KVFS_ERASE_MAGIC 0xA5A5A5A5u
#define KVFS_ERASE_OFF_MAGIC 0
#define KVFS_ERASE_OFF_COUNT 4

// ---- PageTag (spare area of a data page), little-endian ----
#define KVFS_TAG_OFF_BAD 0        // 0xFF on every good page
#define KVFS_TAG_OFF_TYPE 1
#define KVFS_TAG_OFF_WRITTEN 2    // 1 once written, 0xFF erased
#define KVFS_TAG_OFF_BATCH 3      // see KVFS_BATCH_*
#define KVFS_TAG_OFF_SEQ 4
#define KVFS_TAG_OFF_PAGE_ID 8
#define KVFS_TAG_OFF_NAME_SUM 12
#define KVFS_TAG_OFF_LENGTH 14
#define KVFS_TAG_OFF_FATHER 16
#define KVFS_TAG_OFF_OBJECT 20
#define KVFS_TAG_OFF_END 28       // 0xFF
#define KVFS_TAG_USED_BYTES 29    // the tag bytes that must fit the spare

// Byte 3 of a tag tells the mount where the pages written by one flush (or
// one block copy) end. Every page of such a batch but the last carries
// KVFS_BATCH_CONTINUES; the last keeps the erased value, so pages written
// without batch marks read as complete. A block whose last written pages
// still say "continues" lost the end of its batch to a power cut.
#define KVFS_BATCH_END 0xFF
#define KVFS_BATCH_CONTINUES 0xFE

static inline UINT32 KvfsGet32(CONST UINT8 *Bytes) {
  return (UINT32)Bytes[0] | ((UINT32)Bytes[1] << 8) | ((UINT32)Bytes[2] << 16) | ((UINT32)Bytes[3] << 24);
}
static inline UINT16 KvfsGet16(CONST UINT8 *Bytes) { return (UINT16)(Bytes[0] | (Bytes[1] << 8)); }
static inline VOID KvfsPut32(UINT8 *Bytes, UINT32 Value) {
  Bytes[0] = (UINT8)Value;
  Bytes[1] = (UINT8)(Value >> 8);
  Bytes[2] = (UINT8)(Value >> 16);
  Bytes[3] = (UINT8)(Value >> 24);
}
static inline VOID KvfsPut16(UINT8 *Bytes, UINT16 Value) {
  Bytes[0] = (UINT8)Value;
  Bytes[1] = (UINT8)(Value >> 8);
}
static inline BOOLEAN KvfsTagIsErased(CONST UINT8 *Tag) { return Tag[KVFS_TAG_OFF_WRITTEN] == 0xFF; }

// ---- Records ----
struct KVFS_DEVICE;

// Where a block node is (a node is in exactly one place).
#define KVFS_NODE_NOWHERE 0
#define KVFS_NODE_ERASED 1
#define KVFS_NODE_USED 2
#define KVFS_NODE_BAD 3
#define KVFS_NODE_SNAPSHOT 4
#define KVFS_NODE_SECOND 5

typedef struct KVFS_BLOCK_NODE {
  struct KVFS_BLOCK_NODE *pNext;  // erase-count bucket list
  struct KVFS_BLOCK_NODE *pPrev;
  UINT32 ulFatherID;
  UINT32 ulObjectID;
  UINT32 ulBlockNum;
  UINT32 ulSize;         // file: file size; data block: bytes held; else 0
  UINT32 ulNameSum;
  UINT32 ulEraseCount;
  UINT32 ulBitFlip;      // a read of the block reported corrected bit errors
  UINT32 ulBadType;      // KVFS_BAD_*
  INT32 iHeaderPage;     // data page index of the newest header copy, -1 unknown
  UINT32 ulNameRecFlag;  // directory name record (objects layer)
  VOID *pNameRec;
  struct KVFS_BLOCK_NODE *pHashNext;  // hash bucket, bad list or second list
  UINT8 ucWhere;         // KVFS_NODE_*
  UINT8 ucType;          // object type while used, else KVFS_TYPE_NONE
  UINT8 ucCompact;       // page ID i at data page index i, each once: read directly
} KVFS_BLOCK_NODE;

typedef struct {
  KVFS_BLOCK_NODE *pHead;
  KVFS_BLOCK_NODE *pTail;
} KVFS_NODE_LIST;

#define KVFS_BUF_EMPTY 0
#define KVFS_BUF_VALID 1
#define KVFS_BUF_DIRTY 2

typedef struct KVFS_PAGE_BUF {
  struct KVFS_PAGE_BUF *pNext;
  struct KVFS_PAGE_BUF *pPrev;
  UINT32 ulType;
  UINT32 ulFatherID;
  UINT32 ulObjectID;
  UINT32 ulPageID;
  UINT16 usState;
  UINT16 usRefCount;
  UINT16 usLength;       // valid bytes from offset 0
  UINT16 usLowModified;  // lowest modified offset
  UINT8 *pData;          // page_data_size bytes, the tag right after them
  UINT8 *pTag;           // KVFS_TAG_SIZE bytes
  UINT8 ucInDirty;       // which list holds it (implementation)
  UINT8 ucIsRemain;
} KVFS_PAGE_BUF;

#define KVFS_BI_EXPIRED 0x01

typedef struct {
  UINT8 ucFlag;
  UINT8 aucTag[KVFS_TAG_SIZE];
} KVFS_BLOCK_INFO_PAGE;

typedef struct KVFS_BLOCK_INFO {
  struct KVFS_BLOCK_INFO *pNext;
  struct KVFS_BLOCK_INFO *pPrev;
  UINT32 ulBlockNum;
  INT32 iExpiredCount;
  UINT32 refCount;
  KVFS_BLOCK_INFO_PAGE *pPages;  // one per data page (P-1)
} KVFS_BLOCK_INFO;

typedef struct KVFS_CORRUPT_NOTE {
  struct KVFS_CORRUPT_NOTE *pNext;
  KVFS_BLOCK_NODE *pNode;
} KVFS_CORRUPT_NOTE;

typedef struct {
  UINT32 ulBlockNum;  // KVFS_PENDING_FREE when free
  UINT32 ulBadType;
} KVFS_PENDING_BAD;

typedef struct {
  UINT32 ulFirst;
  UINT32 ulLast;
} KVFS_BLOCK_RANGE;

typedef struct {
  UINT32 ulBlockDataBytes;  // (P-1) x page_data_size
  UINT16 page_data_size;
  UINT16 usSpareSize;
  UINT16 usUsablePages;     // P-1
} KVFS_ATTR;

typedef struct {
  UINT32 ulErases;
  UINT32 ulPageWrites;
  UINT32 ulDataReads;
  UINT32 ulTagWrites;
  UINT32 ulTagReads;
} KVFS_STATS;

// NAND driver entries the page layer calls (0 success, else failure).
typedef UINT32 (*KVFS_NAND_READ_FN)(UINT32 Chunk, UINT32 Offset, UINT32 Length, UINT8 *Buffer, UINT32 *BitFlip);
typedef UINT32 (*KVFS_NAND_WRITE_FN)(UINT32 Chunk, UINT32 Offset, UINT32 Length, CONST UINT8 *Buffer);
typedef UINT32 (*KVFS_NAND_ERASE_FN)(UINT32 Block);
typedef UINT32 (*KVFS_NAND_FACTORY_MARK_FN)(UINT32 Chunk, UINT8 *Mark);

struct KVFS_PAGE_OPS;

typedef struct KVFS_DEVICE {
  UINT16 usDevNum;
  UINT8 ucInUse;
  UINT8 ucMounted;
  KVFS_ATTR strAttr;
  UINT32 ulAttributes;
  CHAR8 szName[KVFS_DEVICE_NAME_MAX];
  UINT32 ulRangeCount;
  KVFS_BLOCK_RANGE astRange[KVFS_MAX_RANGES];
  CONST struct KVFS_PAGE_OPS *pOps;
  KVFS_NAND_READ_FN _NAND_ReadWithHEcc;
  KVFS_NAND_ERASE_FN _NAND_Erase;
  KVFS_NAND_WRITE_FN _NAND_WriteWithHEcc;
  KVFS_NAND_FACTORY_MARK_FN _NAND_GetFactorMark;
  UINT32 ulPageDataLen;
  KVFS_STATS stStat;
  UINT32 ulUseCount;
  UINT32 ulSeq;
  UINT32 ulReserve;
  KVFS_BLOCK_INFO *pBlockInfoHead;
  KVFS_BLOCK_INFO *pBlockInfoTail;
  KVFS_PAGE_BUF *pDirtyHead;
  KVFS_PAGE_BUF *pDirtyTail;
  KVFS_PAGE_BUF *pCleanHead;
  KVFS_PAGE_BUF *pCleanTail;
  KVFS_NODE_LIST astErased[KVFS_ERASE_BUCKETS];
  KVFS_NODE_LIST astUsed[KVFS_ERASE_BUCKETS];
  UINT32 ulErasedCount;
  UINT32 ulAllocCount;
  KVFS_NODE_LIST astDirHash[KVFS_DIR_HASH_BUCKETS];
  KVFS_NODE_LIST astFileHash[KVFS_FILE_HASH_BUCKETS];
  KVFS_NODE_LIST astDataHash[KVFS_DATA_HASH_BUCKETS];
  KVFS_BLOCK_NODE *pBadTable;
  KVFS_NODE_LIST stSecondList;
  UINT32 ulSecondCount;
  KVFS_NODE_LIST stBadList;
  UINT32 ulBadCount;
  UINT32 ulBadChanged;
  KVFS_BLOCK_NODE *pNodes;
  UINT32 ulNodeCount;
  KVFS_CORRUPT_NOTE *pNoteFree;
  KVFS_CORRUPT_NOTE *pNoteUsed;
  UINT32 ulNoteFreeCount;
  VOID *apNameSlab[3];
  KVFS_PENDING_BAD astPending[KVFS_PENDING_BAD_RECORDS];
  VOID *pSnapShot;
  // Pools the mount allocated (freed by the unmount).
  KVFS_PAGE_BUF *pRemainBuf;
  KVFS_PAGE_BUF *pBufPool;
  UINT32 ulBufCount;
  UINT8 *pBufMem;
  KVFS_BLOCK_INFO *pBlockInfoPool;
  UINT32 ulBlockInfoCount;
  KVFS_CORRUPT_NOTE *pNotePool;
  UINT32 ulNoteCount;
} KVFS_DEVICE;

// Derived geometry.
static inline UINT32 KvfsPagesPerBlock(CONST KVFS_DEVICE *Dev) { return (UINT32)Dev->strAttr.usUsablePages + 1; }
static inline UINT32 KvfsDataPages(CONST KVFS_DEVICE *Dev) { return Dev->strAttr.usUsablePages; }
static inline UINT32 KvfsPds(CONST KVFS_DEVICE *Dev) { return Dev->strAttr.page_data_size; }

// ---- Global state ----
extern INT32 g_iKvfsErrNo;
extern UINT32 g_ulKvfsSafeClose;
extern UINT32 g_ulKvfsSnapShotEnable;
extern UINT32 g_ulKvfsDebugLevel;

// Hook of the objects layer: nonzero when an open object uses the ID as its
// object or father ID. NULL while no objects layer is linked.
typedef BOOLEAN (*KVFS_OPEN_OBJECT_USES_ID)(KVFS_DEVICE *Dev, UINT32 Id);
extern KVFS_OPEN_OBJECT_USES_ID g_pfnKvfsOpenObjectUsesId;

// ---- Device table ----
KVFS_DEVICE *kvfs_GetDeviceTable(VOID);
KVFS_DEVICE *kvfs_GetDevice(UINT32 DevNum);
VOID kvfs_ReleaseDevice(KVFS_DEVICE *Dev);

// ---- Blocks ----
BOOLEAN kvfs_BlockInRange(CONST KVFS_DEVICE *Dev, UINT32 Block);
// Position of the block in the device's ranges, or -1.
INT32 kvfs_BlockPosition(CONST KVFS_DEVICE *Dev, UINT32 Block);
// The node that describes the block now, or NULL.
KVFS_BLOCK_NODE *kvfs_NodeOfBlock(KVFS_DEVICE *Dev, UINT32 Block);
// Block state from its first two data pages: 0xE0 bad, 0xFF erased, 1 used.
UINT32 kvfs_BlockState(KVFS_DEVICE *Dev, UINT32 Block);
UINT32 kvfs_EraseBucket(UINT32 EraseCount);

// ---- Sequence numbers ----
UINT32 kvfs_NextSeq(KVFS_DEVICE *Dev);
VOID kvfs_UndoSeq(KVFS_DEVICE *Dev);
UINT32 kvfs_BlockSeq(KVFS_DEVICE *Dev, UINT32 Block);

// ---- Keys ----
UINT32 kvfs_AllocObjectID(KVFS_DEVICE *Dev);
UINT16 kvfs_NameSum(CONST CHAR8 *Name, UINT32 Length);

// ---- Logging and memory ----
VOID kvfs_DebugLog(UINT32 ModuleId, UINT32 LevelWord, UINT32 Level, CONST CHAR8 *Format, UINTN Arg1, UINTN Arg2,
                   UINTN Arg3, UINTN Arg4);
#define KVFS_LOG_TRACE 0
#define KVFS_LOG_INFO 1
#define KVFS_LOG_ERROR 2
#define KVFS_LOG(Level, Format, A1, A2, A3, A4)                                                         \
  kvfs_DebugLog(KVFS_MODULE_ID, g_ulKvfsDebugLevel, (Level), (Format), (UINTN)(A1), (UINTN)(A2), (UINTN)(A3), \
                (UINTN)(A4))
VOID *kvfs_Malloc(KVFS_DEVICE *Dev, UINTN Size);
VOID kvfs_Free(KVFS_DEVICE *Dev, VOID *Buffer);
VOID kvfs_MemSet(VOID *Buffer, UINTN Length, UINT8 Value);
VOID kvfs_MemCpy(VOID *Destination, CONST VOID *Source, UINTN Length);

// ---- Lock hooks (empty on the single boot-services thread) ----
VOID kvfs_GlobalLock(VOID);
VOID kvfs_GlobalUnLock(VOID);
VOID kvfs_DeviceLock(KVFS_DEVICE *Dev);
VOID kvfs_DeviceUnLock(KVFS_DEVICE *Dev);
KVFS_STATUS kvfs_DeviceLockByNum(UINT32 DevNum);
KVFS_STATUS kvfs_DeviceUnLockByNum(UINT32 DevNum);

#endif  // KVFS_LAYOUT_H_
