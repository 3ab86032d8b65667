#include "BootupCC/package/BoardTypeFile.h"

#include <Library/DebugLib.h>
#include <Package/PackageFormat.h>

#include "BootupCC/boot/StartupError.h"
#include "BootupCC/package/BoardId.h"
#include "BootupCC/package/PackageCrc.h"
#include "BootupCC/package/PackageFileIds.h"
#include "BootupCC/package/PackageLookup.h"
#include "BootupCC/records/BootLog.h"

INT32 CheckBoardTypeFile(CONST VOID *Package, UINT32 PackageLength) {
  UINT32 BoardId = ReadBoardId();

  CONST LOAD_FILE_HEADER_S *Header = NULL;
  CONST LOAD_FILE_DESC_S *ExtDesc = NULL;
  UINT32 ExtFileNum = 0;
  if (GetExtFileDescription(Package, PackageLength, &Header, &ExtDesc, &ExtFileNum) != 0) {
    RecordStartupError(STARTUP_ERROR_RPS_CHECK);
    return -1;
  }

  CONST LOAD_FILE_DESC_S *Desc = PackageFindFile(Header, ExtDesc, ExtFileNum, PackageBoardTypeFileId(), FALSE);
  if (Desc == NULL) {
    BOOT_LOG(BOOT_DEBUG_ERRORS, LOG_SOURCE_BIOS_FUNC, "The Board_type file is not in the cc package.\n\r", 0, 0);
    return 0;
  }

  // Neither the offset nor the body length is bounded by any CRC: the list
  // must lie inside the package before it is read.
  UINT32 Offset = BYTE_SWAP32(Desc->ulFileOffset);
  BOOLEAN Inside = PackageRangeInside(PackageLength, Offset, PROGRAM_HEADER_SIZE);
  CONST SProgramFileHeader_S *FileHeader = NULL;
  if (Inside) {
    FileHeader = (CONST SProgramFileHeader_S *)((CONST UINT8 *)Package + Offset);
    Inside = PackageRangeInside(PackageLength, (UINT64)Offset + PROGRAM_HEADER_SIZE, BYTE_SWAP32(FileHeader->ulLength));
  }
  if (!Inside) {
    BOOT_LOG(BOOT_DEBUG_ERRORS, LOG_SOURCE_BIOS_FUNC, "The Board_type file lies outside the cc package.\n\r", 0,
             0);
    return -1;
  }

  UINT32 Length = BYTE_SWAP32(FileHeader->ulLength);
  UINT32 BinCrc = BYTE_SWAP32(FileHeader->ulBodyCrc);
  CONST UINT8 *Body = (CONST UINT8 *)FileHeader + PROGRAM_HEADER_SIZE;
  UINT16 CalcCrc = 0;
  CalcCrc16(Body, Length, &CalcCrc);
  if ((UINT16)BinCrc != CalcCrc) {
    DebugPrint(DEBUG_INFO, "Loading error in CRC checksum. bin_crc = %lx, calc_crc = %x\n", (UINT64)BinCrc,
               (UINT32)CalcCrc);
    return -1;
  }

  // The list entries are little-endian words, unlike the rest of a package.
  for (UINT32 Entry = 0; Entry < Length / 4; Entry++) {
    if (PackageReadLe32(Body + 4 * Entry) == BoardId) return 0;
  }
  return -1;
}
