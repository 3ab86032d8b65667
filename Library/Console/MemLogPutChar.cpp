// The memory console log: a text buffer the first-stage boot code sets up
// so that the firmware's messages can still be read once the operating
// system runs. The firmware only finds it through two words at fixed
// addresses and trusts none of the addresses or sizes it reads there.
#include <Library/DebugLib.h>
#include <Library/PhysMemLib.h>

#define MEMLOG_DESCRIPTOR_POINTER 0x2FF00094u  // word: descriptor address
#define MEMLOG_MAGIC_WORD 0x2FF00098u
#define MEMLOG_MAGIC 0x6789FEEDu

// Descriptor words.
#define MEMLOG_DESC_TOTAL_SIZE 0x10u
#define MEMLOG_DESC_ENABLE 0x14u
#define MEMLOG_DESC_BUFFER_ADDRESS 0x18u
#define MEMLOG_DESC_SIZE 0x1Cu

// Buffer record words; the text follows the header.
#define MEMLOG_BUF_OVERFLOW_COUNT 0x04u
#define MEMLOG_BUF_USED_LENGTH 0x08u
#define MEMLOG_BUF_HEADER_SIZE 0x10u

static UINT32 *WordAt(VOID *Base, UINT32 Offset) { return (UINT32 *)((UINT8 *)Base + Offset); }

// Maps Length bytes of word-aligned board memory, or gives NULL.
static VOID *MapAligned(UINT32 Address, UINT32 Length) {
  if ((Address & 3u) != 0) return NULL;
  return PhysMemMap(Address, Length);
}

VOID MemLogPutChar(CHAR8 Character) {
  VOID *Anchor = PhysMemMap(MEMLOG_DESCRIPTOR_POINTER, 8);
  if (Anchor == NULL || *WordAt(Anchor, 4) != MEMLOG_MAGIC) return;

  VOID *Descriptor = MapAligned(*WordAt(Anchor, 0), MEMLOG_DESC_SIZE);
  if (Descriptor == NULL || *WordAt(Descriptor, MEMLOG_DESC_ENABLE) != 1) return;

  // A record smaller than its header has no room for text.
  UINT32 TotalSize = *WordAt(Descriptor, MEMLOG_DESC_TOTAL_SIZE);
  if (TotalSize < MEMLOG_BUF_HEADER_SIZE) TotalSize = MEMLOG_BUF_HEADER_SIZE;
  UINT32 Capacity = TotalSize - MEMLOG_BUF_HEADER_SIZE;

  // The whole record must be board memory, or the log is left alone.
  VOID *Record = MapAligned(*WordAt(Descriptor, MEMLOG_DESC_BUFFER_ADDRESS), TotalSize);
  if (Record == NULL) return;

  UINT32 *UsedLength = WordAt(Record, MEMLOG_BUF_USED_LENGTH);
  if (*UsedLength < Capacity) {
    ((CHAR8 *)Record)[MEMLOG_BUF_HEADER_SIZE + *UsedLength] = Character;
    (*UsedLength)++;
  } else {
    (*WordAt(Record, MEMLOG_BUF_OVERFLOW_COUNT))++;
    *UsedLength = Capacity;
  }
}
