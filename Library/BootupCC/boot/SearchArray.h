// The search array: up to three package paths that failed since power-up,
// kept in the shared area so that they are not tried again. Slot texts are
// read only within their 64 bytes: a long path may have lost its NUL to an
// error code in bytes 61..63.
#ifndef BOOTUPCC_SEARCH_ARRAY_H_
#define BOOTUPCC_SEARCH_ARRAY_H_

#include <Uefi/UefiBaseType.h>

// A slot is occupied when its text begins with "cfcard:" or "ofs1".
BOOLEAN SearchArraySlotOccupied(UINT32 Slot);

// All three slots occupied.
BOOLEAN SearchArrayIsFull(VOID);

// Path is in the array when a slot's text agrees with it over all but its
// last character; an empty path agrees with every slot.
BOOLEAN SearchArrayContains(CONST CHAR8 *Path);

// Stores Path in the first free slot unless it is in the array already
// (both return 0). Returns -1 when no slot is free; the caller logs its own
// "full" message.
INT32 SearchArrayAdd(CONST CHAR8 *Path);

// Zeroes the three slots.
VOID SearchArrayClear(VOID);

// The 64 bytes of a slot; NULL for a bad slot number or an unmapped area.
UINT8 *SearchArraySlot(UINT32 Slot);

#endif  // BOOTUPCC_SEARCH_ARRAY_H_
