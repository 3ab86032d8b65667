// The six operations of the NAND protocol.
#include <Library/DebugLib.h>
#include <Library/IoLib.h>

#include "NandCtl.h"

static INT32 EFIAPI NandEraseBlock(UINT32 BlockNumber);
static INT32 EFIAPI NandWritePage(UINT32 PageNumber, CONST VOID *Data);
static INT32 EFIAPI NandReadPage(UINT32 PageNumber, VOID *Data);
static INT32 EFIAPI NandWritePageEcc(UINT32 PageNumber, CONST VOID *Data, UINT32 EccSetting);
static INT32 EFIAPI NandWritePageSpare(UINT32 PageNumber, CONST VOID *Data, CONST VOID *Spare);
static INT32 EFIAPI NandGetFactoryMark(UINT32 PageNumber, UINT8 *Mark);

NAND_FLASH_PROTOCOL gNandFlashProtocol = {
    NandEraseBlock, NandWritePage, NandReadPage, NandWritePageEcc, NandWritePageSpare, NandGetFactoryMark,
};

static BOOLEAN DeviceReady(VOID) { return g_pstNandDevice != NULL && NandPageSizeSupported(); }

static INT32 EFIAPI NandEraseBlock(UINT32 BlockNumber) {
  if (!DeviceReady()) return NAND_RESULT_UNSUPPORTED;
  if (BlockNumber >= g_pstNandDevice->ulBlocks) {
    DebugPrint(DEBUG_ERROR, "[%dL]parameter error!\n", __LINE__);
    return NAND_RESULT_OUT_OF_RANGE;
  }
  return NandIoEraseBlock(BlockNumber);
}

static INT32 EFIAPI NandWritePage(UINT32 PageNumber, CONST VOID *Data) {
  if (!DeviceReady()) return NAND_RESULT_UNSUPPORTED;
  if (PageNumber >= NandPageCount()) {
    DebugPrint(DEBUG_ERROR, "[%dL]parameter error!\n", __LINE__);
    return NAND_RESULT_OUT_OF_RANGE;
  }
  if (Data == NULL) {
    DebugPrint(DEBUG_ERROR, "[%dL]parameter error!\n", __LINE__);
    return NAND_RESULT_NO_BUFFER;
  }
  return NandIoWritePage(PageNumber, (CONST UINT8 *)Data, NULL, 0);
}

static INT32 EFIAPI NandReadPage(UINT32 PageNumber, VOID *Data) {
  if (!DeviceReady()) return NAND_RESULT_UNSUPPORTED;
  if (PageNumber >= NandPageCount()) {
    DebugPrint(DEBUG_ERROR, "[%dL]parameter error!\n", __LINE__);
    return NAND_RESULT_OUT_OF_RANGE;
  }
  if (Data == NULL) {
    DebugPrint(DEBUG_ERROR, "[%dL]parameter error!\n", __LINE__);
    return NAND_RESULT_NO_BUFFER;
  }
  return NandIoRead(PageNumber, 0, g_pstNandDevice->ulPageSize, (UINT8 *)Data, NULL);
}

static INT32 EFIAPI NandWritePageEcc(UINT32 PageNumber, CONST VOID *Data, UINT32 EccSetting) {
  if (!DeviceReady()) return NAND_RESULT_UNSUPPORTED;
  if (g_pstNandDevice->ulPageSize != NAND_SECTOR_SIZE) {
    DebugPrint(DEBUG_ERROR, "don't support this page_size: %x !\n\r", g_pstNandDevice->ulPageSize);
    return NAND_RESULT_UNSUPPORTED;
  }
  if (PageNumber >= NandPageCount()) {
    DebugPrint(DEBUG_ERROR, "[%dL]parameter error!\n", __LINE__);
    return NAND_RESULT_UNSUPPORTED;
  }
  if (Data == NULL) {
    DebugPrint(DEBUG_ERROR, "[%dL]parameter error!\n", __LINE__);
    return NAND_RESULT_NO_BUFFER;
  }
  return NandIoWritePageEcc(PageNumber, (CONST UINT8 *)Data, EccSetting);
}

static INT32 EFIAPI NandWritePageSpare(UINT32 PageNumber, CONST VOID *Data, CONST VOID *Spare) {
  if (!DeviceReady()) return NAND_RESULT_UNSUPPORTED;
  if (PageNumber >= NandPageCount() || Data == NULL || Spare == NULL) {
    DebugPrint(DEBUG_ERROR, "parameter error\n");
    return NAND_RESULT_UNSUPPORTED;
  }
  MmioWrite32(NANDC_MODE, NANDC_MODE_2K);
  INT32 Result =
      NandIoWritePage(PageNumber, (CONST UINT8 *)Data, (CONST UINT8 *)Spare, g_pstNandDevice->ulSpareSize);
  MmioWrite32(NANDC_MODE, NANDC_MODE_AFTER_SPARE_WRITE);
  return Result;
}

static INT32 EFIAPI NandGetFactoryMark(UINT32 PageNumber, UINT8 *Mark) {
  if (!DeviceReady()) return NAND_RESULT_UNSUPPORTED;
  if (PageNumber >= NandPageCount() || Mark == NULL) {
    DebugPrint(DEBUG_ERROR, "[%dL]parameter error!\n", __LINE__);
    return NAND_RESULT_UNSUPPORTED;
  }
  return NandIoReadFactoryMark(PageNumber, Mark) == NAND_RESULT_SUCCESS ? 0 : -1;
}
