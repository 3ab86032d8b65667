#include "BootupCC/boot/SharedArea.h"

#include <Library/BaseLib.h>
#include <Library/PhysMemLib.h>

SHARED_AREA_LAYOUT gSharedAreaLayout = {
    {SHARED_AREA_TOP - SHARED_AREA_SIZE, SHARED_AREA_SIZE},
    {{SHARED_AREA_TOP - 0x1000u, 0xD40u},
     {SHARED_AREA_TOP - 0x2C0u, 0x200u},
     {SHARED_AREA_TOP - 0xC0u, 0x34u},
     {SHARED_AREA_TOP - 0x8Cu, 0x1Cu},
     {SHARED_AREA_TOP - 0x70u, 16u},
     {SHARED_AREA_TOP - 0x60u, 16u},
     {SHARED_AREA_TOP - 0x50u, 16u},
     {SHARED_AREA_TOP - 0x40u, 16u},
     {SHARED_AREA_TOP - 0x30u, 16u},
     {SHARED_AREA_TOP - 0x20u, 16u},
     {SHARED_AREA_TOP - 0x10u, 4u},
     {SHARED_AREA_TOP - 0xCu, 4u},
     {SHARED_AREA_TOP - 8u, 8u}},
};

static VOID SetRegion(SHARED_AREA_REGION *Region, UINT32 Address, UINT32 Length) {
  Region->ulAddress = Address;
  Region->ulLength = Length;
}

EFI_STATUS SharedAreaInit(UINT32 TopAddress) {
  if (TopAddress < SHARED_AREA_SIZE) return EFI_INVALID_PARAMETER;

  SHARED_AREA_REGION *Region = gSharedAreaLayout.astRegion;
  SetRegion(&gSharedAreaLayout.stWhole, TopAddress - SHARED_AREA_SIZE, SHARED_AREA_SIZE);
  SetRegion(Region++, TopAddress - 0x1000u, 0xD40u);
  SetRegion(Region++, TopAddress - SHARED_BIOS_INFO_FROM_END, SHARED_BIOS_INFO_SIZE);
  SetRegion(Region++, TopAddress - 0xC0u, 0x34u);
  SetRegion(Region++, TopAddress - 0x8Cu, 0x1Cu);
  for (UINT32 Record = 0; Record < SHARED_SMALL_RECORD_COUNT; Record++) {
    SetRegion(Region++, TopAddress - SHARED_SMALL_RECORDS_FROM_END + SHARED_SMALL_RECORD_SIZE * Record,
              SHARED_SMALL_RECORD_SIZE);
  }
  SetRegion(Region++, TopAddress - 0x10u, 4u);
  SetRegion(Region++, TopAddress - 0xCu, 4u);
  SetRegion(Region++, TopAddress - 8u, 8u);
  return EFI_SUCCESS;
}

VOID *SharedAreaMap(UINT32 FromEnd, UINT32 Length) {
  CONST SHARED_AREA_REGION *Whole = &gSharedAreaLayout.stWhole;
  if (FromEnd > Whole->ulLength || Length > FromEnd) return NULL;
  UINT32 End = Whole->ulAddress + Whole->ulLength;
  return PhysMemMap(End - FromEnd, Length);
}

static UINT32 ReadWord(UINT32 FromEnd) {
  UINT32 Value = 0;
  VOID *Word = SharedAreaMap(FromEnd, sizeof(Value));
  if (Word != NULL) InternalCopyMem(&Value, Word, sizeof(Value));
  return Value;
}

static VOID WriteWord(UINT32 FromEnd, UINT32 Value) {
  VOID *Word = SharedAreaMap(FromEnd, sizeof(Value));
  if (Word != NULL) InternalCopyMem(Word, &Value, sizeof(Value));
}

UINT32 SharedAreaReadBootAttempt(VOID) { return ReadWord(SHARED_BOOT_ATTEMPT_FROM_END); }
VOID SharedAreaWriteBootAttempt(UINT32 Attempt) { WriteWord(SHARED_BOOT_ATTEMPT_FROM_END, Attempt); }
UINT32 SharedAreaReadHiddenMarker(VOID) { return ReadWord(SHARED_HIDDEN_MARKER_FROM_END); }
VOID SharedAreaWriteHiddenMarker(UINT32 Marker) { WriteWord(SHARED_HIDDEN_MARKER_FROM_END, Marker); }
