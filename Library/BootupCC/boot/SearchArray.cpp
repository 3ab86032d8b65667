#include "BootupCC/boot/SearchArray.h"

#include <Library/BaseLib.h>
#include <Records/SharedArea.h>

#include "BootupCC/boot/SharedArea.h"

UINT8 *SearchArraySlot(UINT32 Slot) {
  if (Slot >= SEARCH_ARRAY_SLOTS) return NULL;
  return (UINT8 *)SharedAreaMap(SHARED_SEARCH_ARRAY_FROM_END - Slot * SEARCH_ARRAY_SLOT_SIZE,
                                SEARCH_ARRAY_SLOT_SIZE);
}

// True when the slot's text starts with Prefix (which is shorter than a slot).
static BOOLEAN SlotStartsWith(CONST UINT8 *Text, CONST CHAR8 *Prefix) {
  UINTN Length = AsciiStrLen(Prefix);
  return InternalCompareMem(Text, Prefix, Length) == 0;
}

BOOLEAN SearchArraySlotOccupied(UINT32 Slot) {
  CONST UINT8 *Text = SearchArraySlot(Slot);
  if (Text == NULL) return FALSE;
  return SlotStartsWith(Text, "cfcard:") || SlotStartsWith(Text, "ofs1");
}

BOOLEAN SearchArrayIsFull(VOID) {
  for (UINT32 Slot = 0; Slot < SEARCH_ARRAY_SLOTS; Slot++) {
    if (!SearchArraySlotOccupied(Slot)) return FALSE;
  }
  return TRUE;
}

// Compares the slot's text with the first Count characters of Path, as a
// string comparison would, but treats the slot's text as ending after its
// 64th byte.
static BOOLEAN SlotAgrees(CONST UINT8 *Text, CONST CHAR8 *Path, UINTN Count) {
  for (UINTN Index = 0; Index < Count; Index++) {
    CHAR8 SlotChar = Index < SEARCH_ARRAY_SLOT_SIZE ? (CHAR8)Text[Index] : '\0';
    if (SlotChar != Path[Index]) return FALSE;
    if (SlotChar == '\0') return TRUE;
  }
  return TRUE;
}

BOOLEAN SearchArrayContains(CONST CHAR8 *Path) {
  if (Path == NULL) return FALSE;
  UINTN Length = AsciiStrLen(Path);
  for (UINT32 Slot = 0; Slot < SEARCH_ARRAY_SLOTS; Slot++) {
    CONST UINT8 *Text = SearchArraySlot(Slot);
    if (Text == NULL) continue;
    if (Length == 0 || SlotAgrees(Text, Path, Length - 1)) return TRUE;
  }
  return FALSE;
}

INT32 SearchArrayAdd(CONST CHAR8 *Path) {
  if (Path == NULL) return -1;
  if (SearchArrayContains(Path)) return 0;
  for (UINT32 Slot = 0; Slot < SEARCH_ARRAY_SLOTS; Slot++) {
    if (SearchArraySlotOccupied(Slot)) continue;
    UINT8 *Text = SearchArraySlot(Slot);
    if (Text == NULL) continue;
    // The path with its NUL, never more than the slot: a path of more than
    // 60 characters covers the code bytes, as the layout has it.
    UINTN Length = AsciiStrnLen(Path, SEARCH_ARRAY_SLOT_SIZE - 1) + 1;
    InternalCopyMem(Text, Path, Length);
    return 0;
  }
  return -1;
}

VOID SearchArrayClear(VOID) {
  VOID *Slots = SharedAreaMap(SHARED_SEARCH_ARRAY_FROM_END, SEARCH_ARRAY_SIZE);
  if (Slots != NULL) InternalSetMem(Slots, SEARCH_ARRAY_SIZE, 0);
}
