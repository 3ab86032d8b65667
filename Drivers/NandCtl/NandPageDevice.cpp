// The page-level routines NandCtl describes to its device-registration
// hook and publishes as the NAND page device protocol. Chunk numbers are
// page numbers from the start of the chip.
#include <Library/DebugLib.h>
#include <Library/IoLib.h>
#include <Library/UefiBootServicesTableLib.h>

#include "NandCtl.h"

typedef struct {
  CONST CHAR8 *pcName;
  UINT32 ulLastByte;
  UINT32 ulFirstByte;
} NAND_PARTITION_SPAN;

static CONST NAND_PARTITION_SPAN g_astNandPartitions[NAND_PAGE_DEVICE_PARTITIONS] = {
    {"disk1:", 0x3FFFFFF, 0x0},
    {"disk2:", 0xFFFFFFF, 0x4000000},
    {"disk3:", 0x1FFFFFFF, 0x10000000},
};

NAND_PAGE_DEVICE_PROTOCOL gNandPageDevice;

// Common checks: a known chip with a supported page size, the chunk on the
// chip, the columns inside the page and its spare, a buffer.
static INT32 CheckColumns(UINT32 Chunk, UINT32 Offset, UINT32 Length, CONST VOID *Buffer) {
  if (g_pstNandDevice == NULL || !NandPageSizeSupported()) return NAND_RESULT_UNSUPPORTED;
  UINT32 RawSize = g_pstNandDevice->ulPageSize + g_pstNandDevice->ulSpareSize;
  if (Chunk >= NandPageCount() || Offset > RawSize || Length > RawSize - Offset) {
    DebugPrint(DEBUG_ERROR, "[%dL]parameter error!\n", __LINE__);
    return NAND_RESULT_OUT_OF_RANGE;
  }
  if (Buffer == NULL) {
    DebugPrint(DEBUG_ERROR, "[%dL]parameter error!\n", __LINE__);
    return NAND_RESULT_NO_BUFFER;
  }
  return NAND_RESULT_SUCCESS;
}

static INT32 EFIAPI NandPageReadWithSpare(UINT32 Chunk, UINT32 Offset, UINT32 Length, VOID *Buffer,
                                          UINT32 *BitFlips) {
  INT32 Result = CheckColumns(Chunk, Offset, Length, Buffer);
  if (Result != NAND_RESULT_SUCCESS || Length == 0) return Result;
  return NandIoRead(Chunk, Offset, Length, (UINT8 *)Buffer, BitFlips);
}

static INT32 EFIAPI NandPageWriteWithSpare(UINT32 Chunk, UINT32 Offset, UINT32 Length, CONST VOID *Buffer) {
  INT32 Result = CheckColumns(Chunk, Offset, Length, Buffer);
  if (Result != NAND_RESULT_SUCCESS || Length == 0) return Result;
  return NandIoWrite(Chunk, Offset, Length, (CONST UINT8 *)Buffer);
}

static INT32 EFIAPI NandPageErase(UINT32 Block) {
  if (g_pstNandDevice == NULL || !NandPageSizeSupported()) return NAND_RESULT_UNSUPPORTED;
  if (Block >= g_pstNandDevice->ulBlocks) {
    DebugPrint(DEBUG_ERROR, "[%dL]parameter error!\n", __LINE__);
    return NAND_RESULT_OUT_OF_RANGE;
  }
  return NandIoEraseBlock(Block);
}

static INT32 EFIAPI NandPageWrite(UINT32 Chunk, CONST VOID *Data) {
  return NandPageWriteWithSpare(Chunk, 0, g_pstNandDevice != NULL ? g_pstNandDevice->ulPageSize : 0, Data);
}

static INT32 EFIAPI NandPageRead(UINT32 Chunk, VOID *Data, UINT32 *BitFlips) {
  return NandPageReadWithSpare(Chunk, 0, g_pstNandDevice != NULL ? g_pstNandDevice->ulPageSize : 0, Data,
                               BitFlips);
}

static INT32 EFIAPI NandPageWriteSpare(UINT32 Chunk, CONST VOID *Spare) {
  if (g_pstNandDevice == NULL) return NAND_RESULT_UNSUPPORTED;
  return NandPageWriteWithSpare(Chunk, g_pstNandDevice->ulPageSize, g_pstNandDevice->ulSpareSize, Spare);
}

static INT32 EFIAPI NandPageReadSpare(UINT32 Chunk, VOID *Spare, UINT32 *BitFlips) {
  if (g_pstNandDevice == NULL) return NAND_RESULT_UNSUPPORTED;
  return NandPageReadWithSpare(Chunk, g_pstNandDevice->ulPageSize, g_pstNandDevice->ulSpareSize, Spare, BitFlips);
}

static INT32 EFIAPI NandPageSet2kMode(VOID) {
  MmioWrite32(NANDC_MODE, NANDC_MODE_2K);
  return NAND_RESULT_SUCCESS;
}

static INT32 EFIAPI NandPageGetFactoryMark(UINT32 Chunk, UINT8 *Mark) {
  INT32 Result = CheckColumns(Chunk, 0, 0, Mark);
  if (Result != NAND_RESULT_SUCCESS) return Result;
  return NandIoReadFactoryMark(Chunk, Mark);
}

VOID NandDescribeDevice(CONST NAND_DEVICE_RECORD *Record, NAND_PAGE_DEVICE_PROTOCOL *Description) {
  gBS->SetMem(Description, sizeof(*Description), 0);
  Description->Magic = NAND_PAGE_DEVICE_MAGIC;
  Description->ReadWithSpare = NandPageReadWithSpare;
  Description->WriteWithSpare = NandPageWriteWithSpare;
  Description->Erase = NandPageErase;
  Description->Write = NandPageWrite;
  Description->Read = NandPageRead;
  Description->WriteSpare = NandPageWriteSpare;
  Description->ReadSpare = NandPageReadSpare;
  Description->Set2kMode = NandPageSet2kMode;
  Description->GetFactoryMark = NandPageGetFactoryMark;
  Description->Name = Record->pcName;
  Description->PageSize = Record->ulPageSize;
  Description->SpareSize = Record->ulSpareSize;
  Description->UserSpareSize = Record->ulSpareSize > NANDC_ECC_SPARE_BYTES ? Record->ulSpareSize - NANDC_ECC_SPARE_BYTES : 0;
  Description->PagesPerBlock = Record->ulPagesPerBlock;
  Description->BlockSize = Record->ulBlockSize;
  Description->BlockCount = Record->ulBlocks;
  Description->ChipSizeMiB = Record->ulChipSizeMiB;
  if (Record->ulBlockSize == 0) return;
  for (UINT32 Index = 0; Index < NAND_PAGE_DEVICE_PARTITIONS; Index++) {
    CONST NAND_PARTITION_SPAN *Span = &g_astNandPartitions[Index];
    UINT32 First = Span->ulFirstByte / Record->ulBlockSize;
    UINT32 Last = Span->ulLastByte / Record->ulBlockSize;
    if (First >= Record->ulBlocks) continue;  // beyond a small chip
    if (Last >= Record->ulBlocks) Last = Record->ulBlocks - 1;
    NAND_PAGE_PARTITION *Partition = &Description->Partitions[Description->PartitionCount++];
    Partition->Name = Span->pcName;
    Partition->FirstBlock = First;
    Partition->LastBlock = Last;
  }
}

INT32 NandRegisterDevice(CONST NAND_PAGE_DEVICE_PROTOCOL *Description) {
  if (Description == NULL || Description->Magic != NAND_PAGE_DEVICE_MAGIC) return -1;
  if (Description->ReadWithSpare == NULL || Description->WriteWithSpare == NULL || Description->Erase == NULL ||
      Description->Write == NULL || Description->Read == NULL || Description->WriteSpare == NULL ||
      Description->ReadSpare == NULL || Description->Set2kMode == NULL) {
    return -1;
  }
  return 0;
}
