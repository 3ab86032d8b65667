// The NAND page device's routines take chunk, column offset and length
// exactly as the page layer passes them; these adapters only turn the
// driver's result codes into 0 / non-zero. An uncorrectable read still
// delivers the bytes as read (the bad-block scan looks at them).
#include "Kvfs/KvfsNandBinding.h"

#include <Library/DebugLib.h>
#include <Library/UefiBootServicesTableLib.h>
#include <Protocol/NandFlash.h>
#include <Protocol/NandPageDevice.h>

// Set when a device is mounted; the driver's routines take no interface
// pointer, so the entries reach them through the table located then.
static NAND_PAGE_DEVICE_PROTOCOL *g_pstKvfsNandPages = NULL;

static UINT32 NandRead(UINT32 Chunk, UINT32 Offset, UINT32 Length, UINT8 *Buffer, UINT32 *BitFlip) {
  UINT32 flips = 0;
  INT32 result = g_pstKvfsNandPages->ReadWithSpare(Chunk, Offset, Length, Buffer, &flips);
  if (flips != 0 && BitFlip != NULL) *BitFlip = 1;
  return result == NAND_RESULT_SUCCESS ? 0 : (UINT32)result;
}

static UINT32 NandWrite(UINT32 Chunk, UINT32 Offset, UINT32 Length, CONST UINT8 *Buffer) {
  INT32 result = g_pstKvfsNandPages->WriteWithSpare(Chunk, Offset, Length, Buffer);
  return result == NAND_RESULT_SUCCESS ? 0 : (UINT32)result;
}

static UINT32 NandErase(UINT32 Block) {
  INT32 result = g_pstKvfsNandPages->Erase(Block);
  return result == NAND_RESULT_SUCCESS ? 0 : (UINT32)result;
}

static UINT32 NandFactoryMark(UINT32 Chunk, UINT8 *Mark) {
  INT32 result = g_pstKvfsNandPages->GetFactoryMark(Chunk, Mark);
  return result == NAND_RESULT_SUCCESS ? 0 : (UINT32)result;
}

KVFS_STATUS kvfs_BindNand(KVFS_DEVICE *Dev, KVFS_NAND_GEOMETRY *Geometry) {
  NAND_PAGE_DEVICE_PROTOCOL *pages = NULL;
  EFI_STATUS status = gBS->LocateProtocol(&gNandPageDeviceProtocolGuid, NULL, (VOID **)&pages);
  if (EFI_ERROR(status) || pages == NULL) {
    DebugPrint(DEBUG_ERROR, "Status=%r\n", status);
    return KVFS_ERR_NOT_FOUND;
  }
  if (pages->Magic != NAND_PAGE_DEVICE_MAGIC || pages->ReadWithSpare == NULL || pages->WriteWithSpare == NULL ||
      pages->Erase == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_BindNand]:NAND page device not usable, magic 0x%x\n", pages->Magic, 2, 3, 4);
    return KVFS_ERR_NOT_FOUND;
  }
  UINT32 spare = pages->UserSpareSize < KVFS_TAG_SIZE ? pages->UserSpareSize : KVFS_TAG_SIZE;
  if (spare < KVFS_MIN_SPARE || pages->PagesPerBlock < 8 || pages->PageSize < 512 || pages->PageSize > 0xFFFF) {
    KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_BindNand]:chip layout unusable, page %d spare %d pages %d\n", pages->PageSize,
             pages->UserSpareSize, pages->PagesPerBlock, 4);
    return KVFS_ERR_PARAM;
  }
  g_pstKvfsNandPages = pages;
  Dev->_NAND_ReadWithHEcc = NandRead;
  Dev->_NAND_WriteWithHEcc = NandWrite;
  Dev->_NAND_Erase = NandErase;
  Dev->_NAND_GetFactorMark = pages->GetFactoryMark != NULL ? NandFactoryMark : NULL;
  Geometry->ulPageSize = pages->PageSize;
  Geometry->ulSpareSize = spare;
  Geometry->ulPagesPerBlock = pages->PagesPerBlock;
  Geometry->ulBlockCount = pages->BlockCount;
  return KVFS_OK;
}
