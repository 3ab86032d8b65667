// Access to the shared area below the top address (Records/SharedArea.h).
#ifndef BOOTUPCC_SHARED_AREA_H_
#define BOOTUPCC_SHARED_AREA_H_

#include <Records/SharedArea.h>
#include <Uefi/UefiBaseType.h>

// The region table; until SharedAreaInit runs it describes the area below
// 0xC0000000.
extern SHARED_AREA_LAYOUT gSharedAreaLayout;

// Records the regions below TopAddress. A top address below 0x1000 leaves
// the table unchanged and returns 0x80000002 (EFI_INVALID_PARAMETER).
EFI_STATUS SharedAreaInit(UINT32 TopAddress);

// Host memory for Length bytes that start FromEnd bytes before the end of
// the area; NULL when they are not board memory or leave the area.
VOID *SharedAreaMap(UINT32 FromEnd, UINT32 Length);

// The boot attempt number of small record 0 (0 = not counting).
UINT32 SharedAreaReadBootAttempt(VOID);
VOID SharedAreaWriteBootAttempt(UINT32 Attempt);

// The hidden-package marker.
UINT32 SharedAreaReadHiddenMarker(VOID);
VOID SharedAreaWriteHiddenMarker(UINT32 Marker);

#endif  // BOOTUPCC_SHARED_AREA_H_
