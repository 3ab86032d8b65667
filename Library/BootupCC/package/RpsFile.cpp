#include "BootupCC/package/RpsFile.h"

#include <Library/DebugLib.h>
#include <Package/PackageFormat.h>

#include "BootupCC/boot/StartupError.h"
#include "BootupCC/package/PackageCrc.h"
#include "BootupCC/package/PackageFileIds.h"
#include "BootupCC/package/PackageLookup.h"
#include "BootupCC/records/BootLog.h"

UINTN getRPSFileAddr(CONST UINT8 *pBuff, UINT32 ulFileLength) {
  CONST LOAD_FILE_HEADER_S *pHeader = NULL;
  CONST LOAD_FILE_DESC_S *pExtDesc = NULL;
  UINT32 ulExtFileNum = 0;
  if (GetExtFileDescription(pBuff, ulFileLength, &pHeader, &pExtDesc, &ulExtFileNum) != 0) {
    RecordStartupError(STARTUP_ERROR_RPS_CHECK);
    DebugPrint(DEBUG_ERROR, "\r\nBSP_GetFileDescription............................failed\r\n");
    return RPS_FILE_NOT_FOUND;
  }

  DebugPrint(DEBUG_ERROR, "File num %d \r\n", BYTE_SWAP32(pHeader->ulFileNum));
  CONST LOAD_FILE_DESC_S *pDesc = PackageFindFile(pHeader, pExtDesc, ulExtFileNum, PackageRpsFileId(), TRUE);
  UINT32 ulOffset = pDesc != NULL ? BYTE_SWAP32(pDesc->ulFileOffset) : 0;
  // Unsigned arithmetic: on the board a crafted offset may wrap the address.
  UINTN ulRPSLoadAddr = (UINTN)pBuff + ulOffset;
  if (ulRPSLoadAddr == 0) return RPS_FILE_NOT_FOUND;
  DebugPrint(DEBUG_ERROR, "ulRPSLoadAddr = %x\r\n", (UINT32)ulRPSLoadAddr);

  if (pDesc == NULL) {
    RecordStartupError(STARTUP_ERROR_RPS_CHECK);
    BOOT_LOG(BOOT_DEBUG_ERRORS, LOG_SOURCE_BIOS_FUNC, "find no file match\n", 0, 0);
    return RPS_FILE_NOT_FOUND;
  }

  // The member's offset is covered by the header CRC but not checked by it:
  // its program header must lie in the buffer before any field is read.
  if (!PackageRangeInside(ulFileLength, ulOffset, PROGRAM_HEADER_SIZE)) {
    RecordStartupError(STARTUP_ERROR_RPS_CHECK);
    BOOT_LOG(BOOT_DEBUG_ERRORS, LOG_SOURCE_BIOS_FUNC,
             "Loading error in file offset. offset = %x, ulFileLength = %x\n", ulOffset, ulFileLength);
    return RPS_FILE_LENGTH_OR_CRC_ERROR;
  }

  CONST SProgramFileHeader_S *pRPSFileHeader = (CONST SProgramFileHeader_S *)(pBuff + ulOffset);
  UINT32 ulLength = BYTE_SWAP32(pRPSFileHeader->ulLength);
  UINT32 ulBinCrc = BYTE_SWAP32(pRPSFileHeader->ulBodyCrc);
  // ulLength is protected by no CRC: the sum is kept in 64 bits.
  UINT64 ulRPSLoadLen = (UINT64)ulLength + PROGRAM_HEADER_SIZE;
  UINT32 ulLeftLen = ulFileLength - ulOffset;
  DebugPrint(DEBUG_ERROR, "BYTE_SWAP32(pRPSFileHeader->ulLength) = %x\r\n", ulLength);
  DebugPrint(DEBUG_ERROR, "sizeof( SProgramFileHeader_S ) = %x\r\n", (UINT32)sizeof(SProgramFileHeader_S));
  DebugPrint(DEBUG_ERROR, "ulRPSLoadLen = %x\r\n", (UINT32)ulRPSLoadLen);
  DebugPrint(DEBUG_ERROR, "ulFileLength = %x\r\n", ulFileLength);
  DebugPrint(DEBUG_ERROR, "pBuff = %x\r\n", (UINT32)(UINTN)pBuff);
  DebugPrint(DEBUG_ERROR, "( ulFileLength - ( ulRPSLoadAddr - ( ULONG )pBuff ) ) = %x\r\n", ulLeftLen);

  if ((UINT64)ulLeftLen < ulRPSLoadLen) {
    RecordStartupError(STARTUP_ERROR_RPS_CHECK);
    BOOT_LOG(BOOT_DEBUG_ERRORS, LOG_SOURCE_BIOS_FUNC, "Loading error in file Len. bin_crc = %x, calc_crc = %x\n",
             ulBinCrc, 0);
    return RPS_FILE_LENGTH_OR_CRC_ERROR;
  }

  UINT16 usCalcCrc = 0;
  CalcCrc16((CONST UINT8 *)pRPSFileHeader + PROGRAM_HEADER_SIZE, ulLength, &usCalcCrc);
  if ((UINT16)ulBinCrc != usCalcCrc) {
    RecordStartupError(STARTUP_ERROR_RPS_CHECK);
    BOOT_LOG(BOOT_DEBUG_ERRORS, LOG_SOURCE_BIOS_FUNC,
             "Loading error in CRC checksum. bin_crc = %x, calc_crc = %x\n", ulBinCrc, (UINT32)usCalcCrc);
    return RPS_FILE_LENGTH_OR_CRC_ERROR;
  }
  return ulRPSLoadAddr;
}
