// Chip geometry from the read-ID bytes and the device table.
#include "NandCtl.h"

// Chips up to this size take operation setting 0x800, larger ones 0xA00.
#define NAND_SMALL_CHIP_MIB 128u
#define NAND_MIB 0x100000u

INT32 NandDecodeGeometry(CONST UINT8 Id[4], NAND_DEVICE_RECORD *Record) {
  CONST NAND_DEVICE_TABLE_ENTRY *Entry = NandFindDevice(Id[1]);
  if (Entry == NULL) return -1;

  Record->pcName = Entry->pcName;
  if (Entry->ulPageSize != 0) {
    // A complete geometry, the chip size in bytes.
    Record->ulPageSize = Entry->ulPageSize;
    Record->ulBlockSize = Entry->ulBlockSize;
    Record->ulSpareSize = Entry->ulSpareSize;
    Record->ulBusWidth = (Entry->ulOptions & 0x2) != 0 ? 2 : 0;
    Record->ulChipSize = Entry->ulChipSize;
    Record->ulChipSizeMiB = Entry->ulChipSize / NAND_MIB;
    Record->ulBlocks = Record->ulBlockSize != 0 ? Entry->ulChipSize / Record->ulBlockSize : 0;
    Record->ulOpSetting = 0xA00;
  } else {
    // The table gives the size in MiB; ID byte 3 gives the layout. The
    // block count is taken from MiB so that no size overflows 32 bits.
    UINT8 Layout = Id[3];
    Record->ulPageSize = 1024u << (Layout & 0x3);
    Record->ulSpareSize = (Record->ulPageSize / 512) * 8;
    if ((Layout & 0x4) != 0) Record->ulSpareSize *= 2;
    Record->ulBlockSize = 65536u << ((Layout >> 4) & 0x3);
    Record->ulBusWidth = (Layout & 0x40) != 0 ? 2 : 0;
    Record->ulChipSizeMiB = Entry->ulChipSize;
    Record->ulChipSize = Entry->ulChipSize < 4096 ? Entry->ulChipSize * NAND_MIB : 0xFFFFFFFFu;
    Record->ulBlocks = Entry->ulChipSize * (NAND_MIB / Record->ulBlockSize);
    Record->ulOpSetting = Entry->ulChipSize <= NAND_SMALL_CHIP_MIB ? 0x800 : 0xA00;
  }
  Record->ulPagesPerBlock = Record->ulPageSize != 0 ? Record->ulBlockSize / Record->ulPageSize : 0;
  Record->ulFixed1 = 1;
  return 0;
}
