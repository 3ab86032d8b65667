// Page reads, programs and erases through the controller: one transfer for
// 2048-byte pages and for column ranges, the four-sector sequence for whole
// 8192-byte pages. Callers have checked page numbers and buffers.
#include <Library/DebugLib.h>
#include <Library/IoLib.h>
#include <Library/PhysMemLib.h>
#include <Library/UefiBootServicesTableLib.h>

#include "NandCtl.h"

UINT32 NandPageCount(VOID) { return g_pstNandDevice->ulBlocks * g_pstNandDevice->ulPagesPerBlock; }

BOOLEAN NandPageSizeSupported(VOID) {
  UINT32 PageSize = g_pstNandDevice->ulPageSize;
  if (PageSize == 2048 || PageSize == 8192) return TRUE;
  DebugPrint(DEBUG_ERROR, "don't support this page_size: %x !\n\r", PageSize);
  return FALSE;
}

static BOOLEAN IsSectorPage(VOID) { return g_pstNandDevice->ulPageSize == NAND_SECTORS_PER_PAGE * NAND_SECTOR_SIZE; }

static UINT32 PageMode(VOID) { return IsSectorPage() ? NANDC_MODE_8K : NANDC_MODE_2K; }

static UINT64 PageByteAddress(UINT32 Page) { return (UINT64)Page * g_pstNandDevice->ulPageSize; }

// Outcome of a finished read step: the chip's failure bits, an ECC failure,
// or success (noting corrected bit errors).
static INT32 ReadOutcome(UINT32 *BitFlips) {
  UINT32 Failure = NANDC_ChipFailure();
  if (Failure != 0) return (INT32)Failure;
  UINT32 Ecc = MmioRead32(NANDC_ECC_RESULT);
  if ((Ecc & NANDC_ECC_UNCORRECTABLE) != 0) return NAND_RESULT_ECC_UNCORRECTABLE;
  if ((Ecc & NANDC_ECC_CORRECTED_MASK) != 0 && BitFlips != NULL) *BitFlips = 1;
  return NAND_RESULT_SUCCESS;
}

// An ECC failure still delivers the bytes; other failures stop the read.
static BOOLEAN ReadDelivers(INT32 Result) {
  return Result == NAND_RESULT_SUCCESS || Result == NAND_RESULT_ECC_UNCORRECTABLE;
}

static INT32 ReadSingle(UINT32 Page, UINT32 Column, UINT32 Length, UINT8 *Buffer, UINT32 *BitFlips) {
  MmioWrite32(NANDC_MODE, PageMode());
  MmioWrite32(NANDC_COMMAND, NANDC_CMD_READ);
  NANDC_SetAddress(Page, Column);
  MmioWrite32(NANDC_LENGTH, Length);
  NANDC_Start(NANDC_AddressCode(NANDC_OP_READ, NANDC_OP_READ_LONG, PageByteAddress(Page)));
  INT32 Result = NANDC_WaitOpDone();
  if (Result != NAND_RESULT_SUCCESS) return Result;
  Result = ReadOutcome(BitFlips);
  if (ReadDelivers(Result)) NANDC_CopyFromBuffer(0, Buffer, Length);
  return Result;
}

// The four sectors of an 8192-byte page, Step bytes each, into Out.
static INT32 ReadSectors(UINT32 Page, UINT8 *Out, UINT32 Step, UINT32 *BitFlips) {
  MmioWrite32(NANDC_MODE, NANDC_MODE_8K);
  MmioWrite32(NANDC_COMMAND, NANDC_CMD_READ);
  NANDC_SetAddress(Page, 0);
  MmioWrite32(NANDC_LENGTH, Step);
  MmioWrite32(NANDC_SECTOR, 0);
  INT32 Worst = NAND_RESULT_SUCCESS;
  for (UINT32 Sector = 0; Sector < NAND_SECTORS_PER_PAGE; Sector++) {
    if (Sector == NAND_SECTORS_PER_PAGE - 1) MmioWrite32(NANDC_SECTOR, 1);
    NANDC_Start(Sector == 0 ? NANDC_OP_SECTOR_READ_FIRST : NANDC_OP_SECTOR_READ_NEXT);
    INT32 Result = NANDC_WaitOpDone();
    if (Result != NAND_RESULT_SUCCESS) return Result;
    Result = ReadOutcome(BitFlips);
    if (!ReadDelivers(Result)) return Result;
    if (Result != NAND_RESULT_SUCCESS) Worst = Result;
    NANDC_CopyFromBuffer(0, Out + Sector * Step, Step);
  }
  return Worst;
}

INT32 NandIoRead(UINT32 Page, UINT32 Column, UINT32 Length, UINT8 *Buffer, UINT32 *BitFlips) {
  CONST NAND_DEVICE_RECORD *Device = g_pstNandDevice;
  if (!IsSectorPage() || Column != 0 || Length < Device->ulPageSize) {
    return ReadSingle(Page, Column, Length, Buffer, BitFlips);
  }
  if (Length == Device->ulPageSize) return ReadSectors(Page, Buffer, NAND_SECTOR_SIZE, BitFlips);

  // With spare: each sector step brings its share of the spare along.
  UINT8 *Whole = NULL;
  EFI_STATUS Status =
      gBS->AllocatePool(EfiBootServicesData, Device->ulPageSize + Device->ulSpareSize, (VOID **)&Whole);
  if (EFI_ERROR(Status) || Whole == NULL) {
    DebugPrint(DEBUG_ERROR, "[%dL]malloc error\n", __LINE__);
    return NAND_RESULT_NO_MEMORY;
  }
  INT32 Result = ReadSectors(Page, Whole, NAND_SECTOR_SIZE + Device->ulSpareSize / NAND_SECTORS_PER_PAGE, BitFlips);
  if (ReadDelivers(Result)) gBS->CopyMem(Buffer, Whole, Length);
  gBS->FreePool(Whole);
  return Result;
}

// Waits for a program step; the chip's failure bits when it failed.
static INT32 ProgramDone(VOID) {
  INT32 Result = NANDC_WaitOpDone();
  if (Result != NAND_RESULT_SUCCESS) {
    DebugPrint(DEBUG_ERROR, "[%dL]NANDC_WaitOpDone return ERROR!\n", __LINE__);
    return Result;
  }
  return (INT32)NANDC_ChipFailure();
}

// Programs Length bytes already in the buffer at the page's Column.
static INT32 ProgramBuffer(UINT32 Page, UINT32 Column, UINT32 Length) {
  MmioWrite32(NANDC_MODE, PageMode());
  MmioWrite32(NANDC_COMMAND, NANDC_CMD_PROGRAM);
  NANDC_SetAddress(Page, Column);
  MmioWrite32(NANDC_LENGTH, Length);
  NANDC_Start(NANDC_AddressCode(NANDC_OP_PROGRAM, NANDC_OP_PROGRAM_LONG, PageByteAddress(Page)));
  return ProgramDone();
}

// Puts bytes [From, From + Length) of "data, then SpareLength spare bytes,
// then 0xFF" at the start of the buffer.
static VOID StagePageBytes(CONST UINT8 *Data, CONST UINT8 *Spare, UINT32 SpareLength, UINT32 From, UINT32 Length) {
  UINT32 PageSize = g_pstNandDevice->ulPageSize;
  UINT32 Offset = 0;
  if (From < PageSize) {
    UINT32 Count = Length < PageSize - From ? Length : PageSize - From;
    NANDC_CopyToBuffer(Offset, Data + From, Count);
    Offset += Count;
    From += Count;
    Length -= Count;
  }
  if (Length > 0 && Spare != NULL && From - PageSize < SpareLength) {
    UINT32 SpareFrom = From - PageSize;
    UINT32 Count = Length < SpareLength - SpareFrom ? Length : SpareLength - SpareFrom;
    NANDC_CopyToBuffer(Offset, Spare + SpareFrom, Count);
    Offset += Count;
    Length -= Count;
  }
  if (Length > 0) NANDC_FillBuffer(Offset, 0xFF, Length);
}

static INT32 WriteSectors(UINT32 Page, CONST UINT8 *Data, CONST UINT8 *Spare, UINT32 SpareLength) {
  UINT32 Step = NAND_SECTOR_SIZE;
  if (Spare != NULL) Step += g_pstNandDevice->ulSpareSize / NAND_SECTORS_PER_PAGE;
  MmioWrite32(NANDC_MODE, NANDC_MODE_8K);
  MmioWrite32(NANDC_COMMAND, NANDC_CMD_PROGRAM);
  NANDC_SetAddress(Page, 0);
  MmioWrite32(NANDC_LENGTH, Step);
  MmioWrite32(NANDC_SECTOR, 0);
  for (UINT32 Sector = 0; Sector < NAND_SECTORS_PER_PAGE; Sector++) {
    StagePageBytes(Data, Spare, SpareLength, Sector * Step, Step);
    UINT32 Code = NANDC_OP_SECTOR_PROGRAM_NEXT;
    if (Sector == 0) Code = NANDC_OP_SECTOR_PROGRAM_FIRST;
    if (Sector == NAND_SECTORS_PER_PAGE - 1) {
      MmioWrite32(NANDC_SECTOR, 1);
      Code = NANDC_OP_SECTOR_PROGRAM_LAST;
    }
    NANDC_Start(Code);
    INT32 Result = ProgramDone();
    if (Result != NAND_RESULT_SUCCESS) return Result;
  }
  return NAND_RESULT_SUCCESS;
}

INT32 NandIoWritePage(UINT32 Page, CONST UINT8 *Data, CONST UINT8 *Spare, UINT32 SpareLength) {
  if (IsSectorPage()) return WriteSectors(Page, Data, Spare, SpareLength);
  UINT32 PageSize = g_pstNandDevice->ulPageSize;
  UINT32 Length = PageSize;
  if (Spare != NULL) Length += g_pstNandDevice->ulSpareSize;
  StagePageBytes(Data, Spare, SpareLength, 0, Length);
  return ProgramBuffer(Page, 0, Length);
}

INT32 NandIoWrite(UINT32 Page, UINT32 Column, UINT32 Length, CONST UINT8 *Buffer) {
  UINT32 PageSize = g_pstNandDevice->ulPageSize;
  if (IsSectorPage() && Column == 0 && Length >= PageSize) {
    return WriteSectors(Page, Buffer, Length > PageSize ? Buffer + PageSize : NULL, Length - PageSize);
  }
  NANDC_CopyToBuffer(0, Buffer, Length);
  return ProgramBuffer(Page, Column, Length);
}

INT32 NandIoEraseBlock(UINT32 Block) {
  CONST NAND_DEVICE_RECORD *Device = g_pstNandDevice;
  MmioWrite32(NANDC_ADDR_LOW, Block * Device->ulPagesPerBlock);
  MmioWrite32(NANDC_ADDR_HIGH, 0);
  MmioWrite32(NANDC_COMMAND, NANDC_CMD_ERASE);
  NANDC_Start(NANDC_AddressCode(NANDC_OP_ERASE, NANDC_OP_ERASE_LONG, (UINT64)Block * Device->ulBlockSize));
  INT32 Result = NANDC_WaitOpDone();
  if (Result != NAND_RESULT_SUCCESS) return Result;
  return (INT32)NANDC_ChipFailure();
}

INT32 NandIoReadFactoryMark(UINT32 Page, UINT8 *Mark) {
  CONST NAND_DEVICE_RECORD *Device = g_pstNandDevice;
  MmioWrite32(NANDC_MODE, PageMode());
  MmioWrite32(NANDC_COMMAND, NANDC_CMD_READ_RAW);
  NANDC_SetAddress(Page, Device->ulPageSize);
  MmioWrite32(NANDC_LENGTH, Device->ulSpareSize);
  NANDC_Start(NANDC_AddressCode(NANDC_OP_READ, NANDC_OP_READ_LONG, PageByteAddress(Page)));
  INT32 Result = NANDC_WaitOpDone();
  if (Result != NAND_RESULT_SUCCESS) return Result;
  UINT32 Failure = NANDC_ChipFailure();
  if (Failure != 0) return (INT32)Failure;
  *Mark = MmioRead8(NANDC_BUFFER_BASE);
  return NAND_RESULT_SUCCESS;
}

INT32 NandIoWritePageEcc(UINT32 Page, CONST UINT8 *Data, UINT32 EccSetting) {
  CONST NAND_DEVICE_RECORD *Device = g_pstNandDevice;
  UINT32 Length = Device->ulPageSize + Device->ulSpareSize;
  NANDC_SetAddress(Page, 0);
  MmioWrite32(NANDC_MODE, NANDC_MODE_2K);
  MmioWrite32(NANDC_LENGTH, Length);
  MmioWrite32(NANDC_COMMAND, NANDC_CMD_PROGRAM_DATA);
  NANDC_CopyToBuffer(0, Data, Device->ulPageSize);
  // The spare is programmed too: it must not carry bytes of an earlier transfer.
  NANDC_FillBuffer(Device->ulPageSize, 0xFF, Device->ulSpareSize);
  MmioWrite32(NANDC_MODE, NANDC_MODE_ECC_GENERATE(EccSetting));
  MmioWrite32(NANDC_ECC_ENGINE, 1);
  INT32 Result = NANDC_WaitEccDone();
  if (Result != NAND_RESULT_SUCCESS) return Result;
  VOID *Copy = PhysMemMap(NAND_ECC_COPY_AREA, Length);
  if (Copy != NULL) NANDC_CopyFromBuffer(0, Copy, Length);
  MmioWrite32(NANDC_MODE, NANDC_MODE_2K);
  MmioWrite32(NANDC_COMMAND, NANDC_CMD_PROGRAM);
  NANDC_Start(NANDC_AddressCode(NANDC_OP_PROGRAM, NANDC_OP_PROGRAM_LONG, PageByteAddress(Page)));
  return ProgramDone();
}
