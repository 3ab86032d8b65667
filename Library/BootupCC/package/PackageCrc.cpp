#include "BootupCC/package/PackageCrc.h"

static UINT16 mCrc16Table[256];
static BOOLEAN mCrc16TableReady = FALSE;

static VOID BuildCrc16Table(VOID) {
  for (UINT32 Index = 0; Index < 256; Index++) {
    UINT16 Value = (UINT16)(Index << 8);
    for (UINT32 Bit = 0; Bit < 8; Bit++) {
      Value = (UINT16)((Value & 0x8000u) != 0 ? (Value << 1) ^ 0x1021u : Value << 1);
    }
    mCrc16Table[Index] = Value;
  }
  mCrc16TableReady = TRUE;
}

VOID CalcCrc16(CONST VOID *Data, UINT32 Length, UINT16 *Crc) {
  if (!mCrc16TableReady) BuildCrc16Table();
  CONST UINT8 *Bytes = (CONST UINT8 *)Data;
  UINT16 Value = *Crc;
  for (UINT32 Index = 0; Index < Length; Index++) {
    Value = (UINT16)(mCrc16Table[(UINT8)((Value >> 8) ^ Bytes[Index])] ^ (UINT16)(Value << 8));
  }
  *Crc = Value;
}
