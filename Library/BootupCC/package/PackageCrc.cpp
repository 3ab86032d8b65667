#include "BootupCC/package/PackageCrc.h"

// Buffers at least this long go through the sliced loop; below it the table
// set-up and the tail make slicing no faster.
#define CRC16_SLICE_THRESHOLD 32u
#define CRC16_SLICES 8u

// mCrc16Tables[0] is the byte table; mCrc16Tables[k][x] is the CRC of byte x
// followed by k zero bytes, so eight bytes fold into one CRC in one step.
static UINT16 mCrc16Tables[CRC16_SLICES][256];
static BOOLEAN mCrc16ByteTableReady = FALSE;
static BOOLEAN mCrc16SliceTablesReady = FALSE;

static VOID BuildCrc16ByteTable(VOID) {
  for (UINT32 Index = 0; Index < 256; Index++) {
    UINT16 Value = (UINT16)(Index << 8);
    for (UINT32 Bit = 0; Bit < 8; Bit++) {
      Value = (UINT16)((Value & 0x8000u) != 0 ? (Value << 1) ^ 0x1021u : Value << 1);
    }
    mCrc16Tables[0][Index] = Value;
  }
  mCrc16ByteTableReady = TRUE;
}

static VOID BuildCrc16SliceTables(VOID) {
  if (!mCrc16ByteTableReady) BuildCrc16ByteTable();
  for (UINT32 Slice = 1; Slice < CRC16_SLICES; Slice++) {
    for (UINT32 Index = 0; Index < 256; Index++) {
      UINT16 Previous = mCrc16Tables[Slice - 1][Index];
      mCrc16Tables[Slice][Index] = (UINT16)(mCrc16Tables[0][Previous >> 8] ^ (UINT16)(Previous << 8));
    }
  }
  mCrc16SliceTablesReady = TRUE;
}

static UINT16 Crc16ByteLoop(CONST UINT8 *Bytes, UINT32 Length, UINT16 Value) {
  CONST UINT16 *Table = mCrc16Tables[0];
  for (UINT32 Index = 0; Index < Length; Index++) {
    Value = (UINT16)(Table[(UINT8)((Value >> 8) ^ Bytes[Index])] ^ (UINT16)(Value << 8));
  }
  return Value;
}

VOID CalcCrc16Bytewise(CONST VOID *Data, UINT32 Length, UINT16 *Crc) {
  if (!mCrc16ByteTableReady) BuildCrc16ByteTable();
  *Crc = Crc16ByteLoop((CONST UINT8 *)Data, Length, *Crc);
}

VOID CalcCrc16Sliced(CONST VOID *Data, UINT32 Length, UINT16 *Crc) {
  if (!mCrc16SliceTablesReady) BuildCrc16SliceTables();
  CONST UINT8 *Bytes = (CONST UINT8 *)Data;
  UINT16 Value = *Crc;
  // Bytes are read one at a time: no alignment or byte-order assumption.
  while (Length >= CRC16_SLICES) {
    Value = (UINT16)(mCrc16Tables[7][(UINT8)((Value >> 8) ^ Bytes[0])] ^
                     mCrc16Tables[6][(UINT8)(Value ^ Bytes[1])] ^ mCrc16Tables[5][Bytes[2]] ^
                     mCrc16Tables[4][Bytes[3]] ^ mCrc16Tables[3][Bytes[4]] ^ mCrc16Tables[2][Bytes[5]] ^
                     mCrc16Tables[1][Bytes[6]] ^ mCrc16Tables[0][Bytes[7]]);
    Bytes += CRC16_SLICES;
    Length -= CRC16_SLICES;
  }
  *Crc = Crc16ByteLoop(Bytes, Length, Value);
}

VOID CalcCrc16(CONST VOID *Data, UINT32 Length, UINT16 *Crc) {
  if (Length >= CRC16_SLICE_THRESHOLD) {
    CalcCrc16Sliced(Data, Length, Crc);
  } else {
    CalcCrc16Bytewise(Data, Length, Crc);
  }
}
