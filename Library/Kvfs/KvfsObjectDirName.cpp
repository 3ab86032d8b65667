// Directory name records: every directory node may carry its name (so its
// header can be rebuilt), kept in slabs of 32-, 64- and 256-byte slots.
// Chunks of 32 slots are taken as needed, at most 100 per size; a chunk
// other than the first of its size goes back once all its slots are free.
#include "Kvfs/KvfsObject.h"

#define KVFS_SLAB_SIZES 3
#define KVFS_SLOTS_PER_CHUNK 32
#define KVFS_MAX_CHUNKS 100
#define KVFS_ALL_FREE 0xFFFFFFFFu

typedef struct KVFS_NAME_CHUNK {
  UINT32 ulFreeMap;  // bit set: slot free
  struct KVFS_NAME_CHUNK *pNext;
  UINT8 aucSlots[1];  // KVFS_SLOTS_PER_CHUNK slots of the chunk's size
} KVFS_NAME_CHUNK;

static CONST UINT32 kSlotSize[KVFS_SLAB_SIZES] = {32, 64, 256};

static UINT32 SizeClass(UINT32 Length) { return Length <= 31 ? 0 : (Length <= 63 ? 1 : 2); }

static UINTN ChunkBytes(UINT32 Class) {
  return sizeof(KVFS_NAME_CHUNK) - 1 + (UINTN)kSlotSize[Class] * KVFS_SLOTS_PER_CHUNK;
}

static VOID *TakeSlot(KVFS_DEVICE *Dev, UINT32 Class) {
  KVFS_NAME_CHUNK **link = (KVFS_NAME_CHUNK **)&Dev->apNameSlab[Class];
  UINT32 chunks = 0;
  for (; *link != NULL; link = &(*link)->pNext, chunks++) {
    KVFS_NAME_CHUNK *chunk = *link;
    if (chunk->ulFreeMap == 0) continue;
    for (UINT32 s = 0; s < KVFS_SLOTS_PER_CHUNK; s++) {
      if (chunk->ulFreeMap & (1u << s)) {
        chunk->ulFreeMap &= ~(1u << s);
        return chunk->aucSlots + s * kSlotSize[Class];
      }
    }
  }
  if (chunks >= KVFS_MAX_CHUNKS) return NULL;
  KVFS_NAME_CHUNK *chunk = (KVFS_NAME_CHUNK *)kvfs_Malloc(Dev, ChunkBytes(Class));
  if (chunk == NULL) return NULL;
  chunk->ulFreeMap = KVFS_ALL_FREE & ~1u;
  chunk->pNext = NULL;
  *link = chunk;
  return chunk->aucSlots;
}

// Gives a slot back; returns FALSE when the record is not in any slab.
static BOOLEAN PutSlot(KVFS_DEVICE *Dev, VOID *Record) {
  for (UINT32 c = 0; c < KVFS_SLAB_SIZES; c++) {
    KVFS_NAME_CHUNK **link = (KVFS_NAME_CHUNK **)&Dev->apNameSlab[c];
    BOOLEAN first = TRUE;
    for (; *link != NULL; link = &(*link)->pNext, first = FALSE) {
      KVFS_NAME_CHUNK *chunk = *link;
      UINT8 *p = (UINT8 *)Record;
      if (p < chunk->aucSlots || p >= chunk->aucSlots + kSlotSize[c] * KVFS_SLOTS_PER_CHUNK) continue;
      UINT32 slot = (UINT32)(p - chunk->aucSlots) / kSlotSize[c];
      chunk->ulFreeMap |= 1u << slot;
      if (!first && chunk->ulFreeMap == KVFS_ALL_FREE) {
        *link = chunk->pNext;
        kvfs_Free(Dev, chunk);
      }
      return TRUE;
    }
  }
  return FALSE;
}

static UINT32 SlotClassOf(KVFS_DEVICE *Dev, VOID *Record) {
  for (UINT32 c = 0; c < KVFS_SLAB_SIZES; c++) {
    for (KVFS_NAME_CHUNK *chunk = (KVFS_NAME_CHUNK *)Dev->apNameSlab[c]; chunk != NULL; chunk = chunk->pNext) {
      UINT8 *p = (UINT8 *)Record;
      if (p >= chunk->aucSlots && p < chunk->aucSlots + kSlotSize[c] * KVFS_SLOTS_PER_CHUNK) return c;
    }
  }
  return KVFS_SLAB_SIZES;
}

KVFS_STATUS kvfs_UpdateDirNameBuffer(KVFS_DEVICE *Dev, KVFS_BLOCK_NODE *Node, CONST CHAR8 *Name, UINT32 Length) {
  if (Dev == NULL || Node == NULL) return KVFS_ERR_PARAM;
  if (Length == 0) {
    if (Node->pNameRec != NULL) PutSlot(Dev, Node->pNameRec);
    Node->pNameRec = NULL;
    Node->ulNameRecFlag = 0;
    return KVFS_OK;
  }
  if (Length > KVFS_NAME_MAX || Name == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_UpdateDirNameBuffer]:length of dir is >256 ?", 1, 2, 3, 4);
    return KVFS_FAIL;
  }
  UINT32 want = SizeClass(Length);
  if (Node->pNameRec == NULL) {
    Node->pNameRec = TakeSlot(Dev, want);
    if (Node->pNameRec == NULL) {
      KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_UpdateDirNameBuffer]:can't get a buffer for node?", 1, 2, 3, 4);
      Node->ulNameRecFlag = 0;
      return KVFS_ERR_NO_MEMORY;
    }
  } else if (SlotClassOf(Dev, Node->pNameRec) != want) {
    PutSlot(Dev, Node->pNameRec);
    Node->pNameRec = TakeSlot(Dev, want);
    if (Node->pNameRec == NULL) {
      KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_UpdateDirNameBuffer]:can't get a buffer for node,length is %d?", Length, 2, 3,
               4);
      Node->ulNameRecFlag = 0;
      return KVFS_ERR_NO_MEMORY;
    }
  }
  kvfs_MemSet(Node->pNameRec, kSlotSize[want], 0);
  kvfs_MemCpy(Node->pNameRec, Name, Length);
  ((CHAR8 *)Node->pNameRec)[Length] = 0;
  Node->ulNameRecFlag = 1;
  return KVFS_OK;
}

VOID kvfs_FreeDirNameSlabs(KVFS_DEVICE *Dev) {
  if (Dev == NULL) return;
  for (UINT32 i = 0; Dev->pNodes != NULL && i < Dev->ulNodeCount; i++) {
    Dev->pNodes[i].pNameRec = NULL;
    Dev->pNodes[i].ulNameRecFlag = 0;
  }
  for (UINT32 c = 0; c < KVFS_SLAB_SIZES; c++) {
    KVFS_NAME_CHUNK *chunk = (KVFS_NAME_CHUNK *)Dev->apNameSlab[c];
    while (chunk != NULL) {
      KVFS_NAME_CHUNK *next = chunk->pNext;
      kvfs_Free(Dev, chunk);
      chunk = next;
    }
    Dev->apNameSlab[c] = NULL;
  }
}

UINT32 kvfs_DirNameSlotsInUse(KVFS_DEVICE *Dev) {
  UINT32 count = 0;
  for (UINT32 c = 0; Dev != NULL && c < KVFS_SLAB_SIZES; c++) {
    for (KVFS_NAME_CHUNK *chunk = (KVFS_NAME_CHUNK *)Dev->apNameSlab[c]; chunk != NULL; chunk = chunk->pNext) {
      for (UINT32 s = 0; s < KVFS_SLOTS_PER_CHUNK; s++) count += (chunk->ulFreeMap & (1u << s)) ? 0 : 1;
    }
  }
  return count;
}

UINTN kvfs_DirNameSlabBytes(KVFS_DEVICE *Dev) {
  UINTN bytes = 0;
  for (UINT32 c = 0; Dev != NULL && c < KVFS_SLAB_SIZES; c++) {
    for (KVFS_NAME_CHUNK *chunk = (KVFS_NAME_CHUNK *)Dev->apNameSlab[c]; chunk != NULL; chunk = chunk->pNext) {
      bytes += ChunkBytes(c);
    }
  }
  return bytes;
}
