// kvfs objects, handles and directories: the file-system face of kvfs.
// Paths are resolved to objects through the hash tables; an object opened
// by several handles is shared; data moves through kvfs_pageRead and
// kvfs_pageWrite.
#ifndef KVFS_OBJECT_H_
#define KVFS_OBJECT_H_

#include "Kvfs/KvfsLayout.h"

// Handle flag bits.
#define KVFS_HANDLE_IN_USE 0x1
#define KVFS_HANDLE_RDONLY 0x2
#define KVFS_HANDLE_WRONLY 0x4
#define KVFS_HANDLE_APPEND 0x8
#define KVFS_HANDLE_EXCL 0x10

// kvfs open flags.
#define KVFS_O_WRONLY 0x1
#define KVFS_O_RDWR 0x2
#define KVFS_O_APPEND 0x8
#define KVFS_O_CREAT 0x100
#define KVFS_O_TRUNC 0x200
#define KVFS_O_EXCL 0x400
#define KVFS_O_DIR 0x1000

#define KVFS_US_CREATONLY 0x10000000u
#define KVFS_ATTR_RDONLY 0x1
#define KVFS_ATTR_DIR 0x10

// Header fields (offsets in the 448-byte object header).
#define KVFS_HDR_OFF_TYPE 0
#define KVFS_HDR_OFF_CTIME 4
#define KVFS_HDR_OFF_MTIME 8
#define KVFS_HDR_OFF_ATIME 12
#define KVFS_HDR_OFF_ATTR 16
#define KVFS_HDR_TYPE_FILE 0x00000001u
#define KVFS_HDR_TYPE_DIR 0x01000001u

#define KVFS_PATH_BUF 256
#define KVFS_MAX_COMPONENTS 33
#define KVFS_NAME_BUF 256

// Object statuses of this layer.
#define KVFS_ERR_OBJ_HEADER ((KVFS_STATUS)0x460E0001)
#define KVFS_ERR_OBJ_LOOKUP ((KVFS_STATUS)0x460E0004)
#define KVFS_ERR_OBJ_OTHER_TYPE ((KVFS_STATUS)0x460E0005)
#define KVFS_ERR_OBJ_NAME_LONG ((KVFS_STATUS)0x460E0006)
#define KVFS_ERR_OBJ_CREATE ((KVFS_STATUS)0x460E0007)
#define KVFS_ERR_OBJ_MISSING ((KVFS_STATUS)0x460E0008)
#define KVFS_ERR_OBJ_FILL ((KVFS_STATUS)0x460E0009)
#define KVFS_ERR_TRUNC_DIR ((KVFS_STATUS)0x460E000A)
#define KVFS_ERR_TRUNC_BEYOND ((KVFS_STATUS)0x460E000B)
#define KVFS_ERR_TRUNC_NO_BLOCK ((KVFS_STATUS)0x460E000C)
#define KVFS_ERR_NO_FIRST ((KVFS_STATUS)0x460E000D)
#define KVFS_ERR_NO_NEXT ((KVFS_STATUS)0x460E000E)
#define KVFS_ERR_DEL_OPEN_FAIL ((KVFS_STATUS)0x460E000F)
#define KVFS_ERR_DEL_IS_OPEN ((KVFS_STATUS)0x460E0010)
#define KVFS_ERR_DEL_CORRUPT ((KVFS_STATUS)0x460E0012)
#define KVFS_ERR_DEL_PATH ((KVFS_STATUS)0x46090000)
#define KVFS_ERR_RDONLY ((KVFS_STATUS)0x46090003)
#define KVFS_ERR_NO_INFO ((KVFS_STATUS)0x46090005)
#define KVFS_ERR_PATH_LONG ((KVFS_STATUS)0x46100001)
#define KVFS_ERR_NAME_CHAR ((KVFS_STATUS)0x46100002)
#define KVFS_ERR_PATH_REGULATE ((KVFS_STATUS)0x46100004)

typedef struct {
  UINT8 ucInUse;
  UINT8 ucCorrupt;
  CHAR8 *pName;        // the last component as written (case kept)
  UINT32 ulNameLen;
  UINT32 ulNameSum;
  KVFS_DEVICE *pDev;
  UINT32 ulMode;
  UINT32 ulType;       // KVFS_TYPE_DIR, KVFS_TYPE_FILE or KVFS_TYPE_BAD_TABLE
  UINT32 ulFirstBlockPages;  // P-4
  UINT32 ulFatherID;
  KVFS_BLOCK_NODE *pNode;    // NULL for the root
  UINT32 ulObjectID;
  UINT32 ulTypeWord;
  UINT32 ulCreateTime;
  UINT32 ulModified;
  UINT32 ulModifyTime;
  UINT32 ulAccessTime;
  UINT32 ulAttributes;
  UINT32 openSucc;
  UINT32 useCount;
} KvfsObject;

typedef struct {
  UINT32 ulFlags;
  UINT32 ulPosition;
  KvfsObject *pObject;
  // Directory iterator.
  UINT32 ulPhase;          // 0 directories, 1 files
  UINT32 ulBucket;
  UINT32 ulCounter;        // entries returned so far
  KVFS_BLOCK_NODE *pLast;  // copy of the node returned last (points at stLastCopy)
  KVFS_BLOCK_NODE stLastCopy;
} KvfsHandle;

// ---- Handle and object tables (KvfsObjectTable.cpp) ----
KvfsHandle *kvfs_HandleTable(UINT32 DevNum);
KvfsObject *kvfs_ObjectTable(UINT32 DevNum);
// The handle of a handle number, in use and on a mounted device; else NULL.
KvfsHandle *kvfs_GetHandle(INT32 HandleNum);
KvfsObject *kvfs_GetObject(KVFS_DEVICE *Dev);
KvfsObject *kvfs_GetRemainObject(KVFS_DEVICE *Dev);
// Frees the name copy, releases the device and zeroes the record.
VOID kvfs_PutObject(KvfsObject *Object);
VOID kvfs_PutHandle(KvfsHandle *Handle);
// Object records and handles in use on the device (tests and leak checks).
UINT32 kvfs_ObjectsInUse(UINT32 DevNum);
UINT32 kvfs_HandlesInUse(UINT32 DevNum);
// Links the objects layer into the core (hooks for object IDs, directory
// name records and the clock). Idempotent.
VOID kvfs_ObjectsInit(VOID);
// Drops every handle and object record without touching pool memory: for a
// firmware that starts again (see kvfs_ForgetDevices).
VOID kvfs_ForgetObjects(VOID);
// Closes what is still open on the device, frees its directory name
// records and unmounts it.
KVFS_STATUS kvfs_UnmountObjects(KVFS_DEVICE *Dev);
// Seconds since 1970 from the board clock (0 when it cannot be read).
UINT32 kvfs_Now(VOID);
// The time objects are stamped with: the clock hook of the core
// (g_pfnKvfsNow, kvfs_Now unless replaced), 0 without one.
UINT32 kvfs_ObjectTime(VOID);

// ---- Paths (KvfsObjectPath.cpp) ----
typedef struct {
  CONST CHAR8 *pStart;
  UINT32 ulLength;
} KvfsPathPart;
KVFS_STATUS kvfs_RegulatePath(CONST CHAR8 *Path, CHAR8 *Out);
// Component count, or -1.
INT32 kvfs_PathParse(CONST CHAR8 *Path, KvfsPathPart *Parts, UINT32 Slots);
KVFS_STATUS kvfs_NameCheck(CONST CHAR8 *Name);
VOID kvfs_LowerCase(CHAR8 *Name);
BOOLEAN kvfs_NameEqual(CONST CHAR8 *A, CONST CHAR8 *B, UINT32 Max);

// ---- Open and create (KvfsObjectOpen.cpp) ----
KVFS_BLOCK_NODE *kvfs_FindNodeFromBucketByName(KVFS_DEVICE *Dev, UINT32 Type, UINT32 FatherID, CONST CHAR8 *Name,
                                               UINT32 NameSum);
// 1 exists, 0 missing, or a status (the lookup failed).
KVFS_STATUS kvfs_FindObject(KvfsObject *Object, CONST CHAR8 *Path, UINT32 Flags, BOOLEAN *Exists);
KVFS_STATUS kvfs_FillObject(KvfsObject *Object);
KVFS_STATUS kvfs_OpenObject(KvfsObject *Object, CONST CHAR8 *Path, UINT32 Flags, UINT32 Mode);
KVFS_STATUS kvfs_CreateObjectUnder(KvfsObject *Object);
INT32 kvfs_open(CONST CHAR8 *Path, UINT32 Flags, UINT32 Mode, UINT32 DevNum);

// ---- Data (KvfsObjectIo.cpp) ----
INT32 kvfs_read(INT32 HandleNum, VOID *Buffer, UINT32 Length);
INT32 kvfs_ReadObject(KvfsObject *Object, UINT8 *Buffer, UINT32 Count, UINT32 Position);
INT32 kvfs_write(INT32 HandleNum, CONST VOID *Buffer, UINT32 Length);
INT32 kvfs_WriteObject(KvfsObject *Object, CONST UINT8 *Data, UINT32 Length, UINT32 Position);
INT32 kvfs_seek(INT32 HandleNum, INT32 Offset, INT32 Whence);
KVFS_STATUS kvfs_TruncateObject(KvfsObject *Object, UINT32 NewSize);
UINT32 kvfs_GetStartBlockByPageID(KvfsObject *Object, UINT32 PageNumber);
// The file's size from its node (0 for a directory or the root).
UINT32 kvfs_ObjectSize(KvfsObject *Object);

// ---- Close and delete (KvfsObjectClose.cpp, KvfsObjectDelete.cpp) ----
KVFS_STATUS kvfs_CloseObject(KvfsObject *Object, BOOLEAN WriteIntent);
INT32 kvfs_close(INT32 HandleNum);
KVFS_STATUS kvfs_DeleteObject(CONST CHAR8 *Path, UINT32 DevNum);
KVFS_STATUS kvfs_delete(CONST CHAR8 *Path, UINT32 DevNum);

// ---- Directory name records (KvfsObjectDirName.cpp) ----
KVFS_STATUS kvfs_UpdateDirNameBuffer(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node, CONST CHAR8 *Name, UINT32 Length);
VOID kvfs_FreeDirNameSlabs(KVFS_DEVICE *Dev);
// Slots in use across the three slab sizes (tests).
UINT32 kvfs_DirNameSlotsInUse(KVFS_DEVICE *Dev);
// Pool bytes the slabs hold (the device's own memory, like its pools).
UINTN kvfs_DirNameSlabBytes(KVFS_DEVICE *Dev);

// ---- Listing (KvfsObjectFind.cpp) ----
KVFS_STATUS kvfs_GetObjectInfo(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node, UINT32 Type, UINT8 *Record);
KVFS_STATUS kvfs_LoadObjectInfo(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node, UINT32 Type, UINT8 *Record);
// Record: 456 bytes (header, size, object ID). Name: at least 100 bytes.
KVFS_STATUS kvfs_FindFirstObject(KvfsHandle *Handle, CHAR8 *Name, UINT8 *Record);
KVFS_STATUS kvfs_FindNextObject(KvfsHandle *Handle, CHAR8 *Name, UINT8 *Record);
// One entry: Continue 0 (or no kept position) restarts the listing.
INT32 kvfs_ReadDir(INT32 HandleNum, CHAR8 *Name, INT32 Continue, UINT8 *Record);
// Every entry into pool blocks of 456 bytes (Entries may be NULL: count only).
INT32 kvfs_ReadDirAll(INT32 HandleNum, CHAR8 *Name, INT32 Continue, UINT8 **Entries, UINT32 *Count);

// ---- Stat and checks (KvfsObjectStat.cpp, KvfsObjectCheck.cpp) ----
// Record: 456 bytes; Stat: fourteen 32-bit words, ORed into.
INT32 kvfs_statGet(INT32 HandleNum, UINT8 *Record, UINT32 *Stat);
// TRUE when the object lost its node to bad-block recovery (it stays corrupt
// until closed); refreshes the object's node pointer.
BOOLEAN kvfs_ObjectIsCorrupt(KvfsObject *Object);

#endif  // KVFS_OBJECT_H_
