// The one translation from a 32-bit board address to memory the firmware
// can use. Fixed areas (boot flash window, image load areas, the shared
// area, result words) are reached only through it; the firmware never casts
// a board address to a pointer itself.
#ifndef PHYS_MEM_LIB_H_
#define PHYS_MEM_LIB_H_

#include <Uefi/UefiBaseType.h>

typedef UINT32 PHYS_ADDR;

// Pointer to Length bytes of board memory at Address, or NULL when the
// range is not backed by memory as a whole.
VOID *PhysMemMap(PHYS_ADDR Address, UINT32 Length);

#endif  // PHYS_MEM_LIB_H_
