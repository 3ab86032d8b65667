// NandCtl: the driver of the board's NAND flash controller. Internal
// declarations shared by its sources; other drivers see only the NAND and
// NAND page device protocols.
#ifndef NAND_CTL_H_
#define NAND_CTL_H_

#include <Protocol/NandFlash.h>
#include <Protocol/NandPageDevice.h>
#include <Uefi/UefiSpec.h>

// --- Controller registers ---

#define NANDC_REG_BASE 0x10000000u
#define NANDC_BUFFER_BASE 0x12000000u
#define NANDC_MODE (NANDC_REG_BASE + 0x00)
#define NANDC_COMMAND (NANDC_REG_BASE + 0x0C)
#define NANDC_ADDR_LOW (NANDC_REG_BASE + 0x10)
#define NANDC_ADDR_HIGH (NANDC_REG_BASE + 0x14)
#define NANDC_LENGTH (NANDC_REG_BASE + 0x18)
#define NANDC_OPERATION (NANDC_REG_BASE + 0x1C)
#define NANDC_STATUS (NANDC_REG_BASE + 0x20)
#define NANDC_ECC_ENGINE (NANDC_REG_BASE + 0x5C)
#define NANDC_SECTOR (NANDC_REG_BASE + 0x84)
// ECC result of the page read last: bits 0-7 corrected bit errors, bit 16
// uncorrectable.
#define NANDC_ECC_RESULT (NANDC_REG_BASE + 0x88)
#define NANDC_CONTROL (NANDC_REG_BASE + 0xC0)

#define NANDC_STATUS_DONE 0x1u
#define NANDC_STATUS_CHIP_FAIL 0x20u
#define NANDC_ECC_CORRECTED_MASK 0xFFu
#define NANDC_ECC_UNCORRECTABLE 0x10000u
// Spare bytes at the end of each page that hold the controller's ECC.
#define NANDC_ECC_SPARE_BYTES 8u
// Status reads before an operation counts as timed out.
#define NANDC_WAIT_READS 10000001u

#define NANDC_MODE_2K 0x103u
#define NANDC_MODE_8K 0x107u
#define NANDC_MODE_AFTER_SPARE_WRITE 0x503u
#define NANDC_MODE_ECC_GENERATE(n) (0x303u + 0x400u * (n))

#define NANDC_CMD_READ 0x703000u
#define NANDC_CMD_READ_RAW 0x3000u
#define NANDC_CMD_PROGRAM 0x701080u
#define NANDC_CMD_PROGRAM_DATA 0x8010u
#define NANDC_CMD_ERASE 0x70D060u
#define NANDC_CMD_READ_ID 0x90u
#define NANDC_CMD_RESET 0xFFu

#define NANDC_OP_READ 0x6Fu
#define NANDC_OP_READ_LONG 0xEEu
#define NANDC_OP_PROGRAM 0x7Du
#define NANDC_OP_PROGRAM_LONG 0xFDu
#define NANDC_OP_ERASE 0x6Du
#define NANDC_OP_ERASE_LONG 0xEDu
#define NANDC_OP_READ_ID 0x266u
#define NANDC_OP_RESET 0x44u
#define NANDC_OP_SECTOR_READ_FIRST 0x6Eu
#define NANDC_OP_SECTOR_READ_NEXT 0x02u
#define NANDC_OP_SECTOR_PROGRAM_FIRST 0x70u
#define NANDC_OP_SECTOR_PROGRAM_NEXT 0x10u
#define NANDC_OP_SECTOR_PROGRAM_LAST 0x1Du
// Byte addresses from here on take the long-address codes.
#define NANDC_LONG_ADDRESS 0x20000000u

#define NAND_SECTOR_SIZE 2048u
#define NAND_SECTORS_PER_PAGE 4u
#define NAND_SECTOR_SPARE 8u
// Where NandWritePageEcc leaves the page and spare with their ECC.
#define NAND_ECC_COPY_AREA 0x08100000u

// --- Device table and device record ---

// Seven 32-bit words per entry on the board; ends with a null name.
typedef struct {
  CONST CHAR8 *pcName;
  UINT32 ulDevCode;
  UINT32 ulPageSize;   // 0: decode from ID byte 3
  UINT32 ulChipSize;   // bytes with a page size, else MiB
  UINT32 ulBlockSize;  // 0: decode from ID byte 3
  UINT32 ulOptions;    // bit 1: 16-bit bus
  UINT32 ulSpareSize;  // 0: decode from ID byte 3
} NAND_DEVICE_TABLE_ENTRY;

extern CONST NAND_DEVICE_TABLE_ENTRY g_astNandDeviceTable[];

// The chip as the driver knows it; allocated once, kept for its life.
typedef struct {
  CONST CHAR8 *pcName;
  UINT32 ulBuffer;       // NANDC_BUFFER_BASE
  UINT32 ulChipSize;     // bytes; 0xFFFFFFFF for a chip of 4 GiB or more
  UINT32 ulBlockSize;
  UINT32 ulPageSize;
  UINT32 ulPagesPerBlock;
  UINT32 ulBlocks;
  UINT32 ulFixed48;      // 48
  UINT32 ulSpareSize;
  UINT32 ulFixed1;       // 1
  UINT32 ulBusWidth;     // 2 for a 16-bit bus, 0 for 8-bit
  UINT32 ulOpSetting;    // 0x800 or 0xA00
  UINT32 ulChipSizeMiB;  // the chip size that never overflows
} NAND_DEVICE_RECORD;

extern NAND_DEVICE_RECORD *g_pstNandDevice;
extern NAND_FLASH_PROTOCOL gNandFlashProtocol;
extern NAND_PAGE_DEVICE_PROTOCOL gNandPageDevice;

// --- Start-up ---

EFI_STATUS EFIAPI NandCtlEntryPoint(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable);
EFI_STATUS InitializeFlash(VOID);

// The first table entry with the device code, or NULL.
CONST NAND_DEVICE_TABLE_ENTRY *NandFindDevice(UINT8 DeviceCode);
// Fills name, sizes, bus width and operation setting of Record from the
// four ID bytes; -1 when no table entry has the device code.
INT32 NandDecodeGeometry(CONST UINT8 Id[4], NAND_DEVICE_RECORD *Record);

// Fills Description with the page routines, magic, geometry and the
// partitions that lie on the chip.
VOID NandDescribeDevice(CONST NAND_DEVICE_RECORD *Record, NAND_PAGE_DEVICE_PROTOCOL *Description);
// The device-registration hook: checks the description and keeps nothing.
INT32 NandRegisterDevice(CONST NAND_PAGE_DEVICE_PROTOCOL *Description);

// --- Controller access ---

// Reads the status register until the done bit is set, at most
// NANDC_WAIT_READS times; NAND_RESULT_TIMEOUT (with a message) otherwise.
INT32 NANDC_WaitOpDone(VOID);
// The same bounded wait for the ECC engine.
INT32 NANDC_WaitEccDone(VOID);
// The chip's status bits (status register bits 5 to 12) when it reported a
// failure, else 0.
UINT32 NANDC_ChipFailure(VOID);
VOID NANDC_SetAddress(UINT32 Page, UINT32 Column);
// Starts an operation: the device's operation setting ORed with Code.
VOID NANDC_Start(UINT32 Code);
// Code or its long-address form for an operation at ByteAddress.
UINT32 NANDC_AddressCode(UINT32 Code, UINT32 LongCode, UINT64 ByteAddress);
VOID NANDC_CopyFromBuffer(UINT32 Offset, VOID *Destination, UINT32 Length);
VOID NANDC_CopyToBuffer(UINT32 Offset, CONST VOID *Source, UINT32 Length);
VOID NANDC_FillBuffer(UINT32 Offset, UINT8 Value, UINT32 Length);

// --- Page I/O (parameters already checked) ---

UINT32 NandPageCount(VOID);
// Prints "don't support this page_size" and returns FALSE for a page size
// other than 2048 or 8192.
BOOLEAN NandPageSizeSupported(VOID);
// Columns [Column, Column + Length) of the page, ECC checked.
INT32 NandIoRead(UINT32 Page, UINT32 Column, UINT32 Length, UINT8 *Buffer, UINT32 *BitFlips);
// Programs columns of the page from Buffer.
INT32 NandIoWrite(UINT32 Page, UINT32 Column, UINT32 Length, CONST UINT8 *Buffer);
// A whole page; Spare (SpareLength bytes) may be NULL.
INT32 NandIoWritePage(UINT32 Page, CONST UINT8 *Data, CONST UINT8 *Spare, UINT32 SpareLength);
INT32 NandIoEraseBlock(UINT32 Block);
// The first spare byte, read without ECC.
INT32 NandIoReadFactoryMark(UINT32 Page, UINT8 *Mark);
INT32 NandIoWritePageEcc(UINT32 Page, CONST UINT8 *Data, UINT32 EccSetting);

#endif  // NAND_CTL_H_
