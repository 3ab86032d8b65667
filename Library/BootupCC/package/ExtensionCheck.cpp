#include "BootupCC/package/ExtensionCheck.h"

#include <Library/DebugLib.h>

#include "BootupCC/package/PackageCrc.h"
#include "BootupCC/package/PackageLookup.h"

BOOLEAN PackageHasExtension(CONST LOAD_FILE_HEADER_S *Header) {
  return BYTE_SWAP32(Header->ulFileNum) > PACKAGE_MAIN_SLOTS &&
         BYTE_SWAP32(Header->astFileDesc[PACKAGE_EXTENSION_SLOT].ulFileId) == PACKAGE_EXTENSION_ENTRY_ID;
}

UINT64 PackageExtensionTableSize(UINT32 Count) {
  return EXTENSION_TABLE_HEAD + (UINT64)Count * PACKAGE_FILE_DESC_SIZE + EXTENSION_TABLE_CRC_SIZE;
}

INT32 PackageCheckExtensionFileHeader(CONST LOAD_FILE_HEADER_S *Header, CONST SProgramFileHeader_S *ExtFile) {
  UINT32 FileId = BYTE_SWAP32(ExtFile->ulFileId);
  if (FileId != PACKAGE_EXTENSION_FILE_ID) {
    DebugPrint(DEBUG_ERROR, "\r\nThe dummy bin fileID %x is wrong!", FileId);
    return -1;
  }
  UINT32 BodyCrc = BYTE_SWAP32(ExtFile->ulBodyCrc);
  UINT32 ExpectedBodyCrc = BYTE_SWAP32(Header->astFileDesc[PACKAGE_EXTENSION_SLOT].ulFileCrc);
  if (BodyCrc != ExpectedBodyCrc) {
    DebugPrint(DEBUG_ERROR, "\r\nThe dummy bin file CRC %x is wrong!It should be %x.", BodyCrc, ExpectedBodyCrc);
    return -1;
  }
  UINT32 HeadCrc = BYTE_SWAP32(ExtFile->ulHeaderCrc);
  UINT16 CalcCrc = 0;
  CalcCrc16((CONST UINT8 *)ExtFile + PROGRAM_HEADER_CRC_START, PROGRAM_HEADER_CRC_LENGTH, &CalcCrc);
  if (HeadCrc != CalcCrc) {
    DebugPrint(DEBUG_ERROR, "\r\nThe dummy bin head CRC %x is wrong!It should be %x.", HeadCrc, (UINT32)CalcCrc);
    return -1;
  }
  return 0;
}

INT32 PackageCheckExtensionTable(CONST SProgramFileHeader_S *ExtFile, CONST UINT8 *Table) {
  UINT32 Count = BYTE_SWAP32(ExtFile->ulExtFileNum);
  UINT32 TableCount = PackageReadBe32(Table + EXTENSION_TABLE_COUNT_OFFSET);
  if (TableCount != Count) {
    DebugPrint(DEBUG_ERROR, "\r\nThe last file number %d is wrong.", TableCount);
    return -1;
  }
  UINT32 CoveredLength = (UINT32)(PackageExtensionTableSize(Count) - EXTENSION_TABLE_CRC_SIZE);
  UINT32 TableCrc = PackageReadBe32(Table + CoveredLength);
  UINT16 CalcCrc = 0;
  CalcCrc16(Table, CoveredLength, &CalcCrc);
  if (TableCrc != CalcCrc) {
    DebugPrint(DEBUG_ERROR, "\r\nThe sub header file CRC %x is wrong.It should be %x!", TableCrc, (UINT32)CalcCrc);
    return -1;
  }
  return 0;
}

INT32 PackageLoadExtension(CONST LOAD_FILE_HEADER_S *Header, UINT8 *Image, UINT32 ImageSize,
                           CONST PACKAGE_FILE_READER *Reader, CONST LOAD_FILE_DESC_S **ExtDesc,
                           UINT32 *ExtFileNum) {
  *ExtDesc = NULL;
  *ExtFileNum = 0;
  if (!PackageHasExtension(Header)) return 0;

  // Slot 255's offset and the extension count come from the package: both
  // reads must fit the image buffer before they are made.
  UINT32 ExtOffset = BYTE_SWAP32(Header->astFileDesc[PACKAGE_EXTENSION_SLOT].ulFileOffset);
  if (!PackageRangeInside(ImageSize, ExtOffset, PROGRAM_HEADER_SIZE)) {
    DebugPrint(DEBUG_ERROR, "\r\nThe dummy bin file at %x does not fit the package buffer.", ExtOffset);
    return -1;
  }
  SProgramFileHeader_S *ExtFile = (SProgramFileHeader_S *)(Image + ExtOffset);
  if (Reader->ReadAt(Reader->Context, ExtOffset, ExtFile, PROGRAM_HEADER_SIZE) != 0) return -1;
  if (PackageCheckExtensionFileHeader(Header, ExtFile) != 0) return -1;

  UINT32 Count = BYTE_SWAP32(ExtFile->ulExtFileNum);
  UINT64 TableSize = PackageExtensionTableSize(Count);
  UINT32 TableOffset = ExtOffset + PROGRAM_HEADER_SIZE;
  if (!PackageRangeInside(ImageSize, TableOffset, TableSize)) {
    DebugPrint(DEBUG_ERROR, "\r\nThe sub header file of %u entries does not fit the package buffer.", Count);
    return -1;
  }
  UINT8 *Table = Image + TableOffset;
  if (Reader->ReadAt(Reader->Context, TableOffset, Table, (UINT32)TableSize) != 0) return -1;
  if (PackageCheckExtensionTable(ExtFile, Table) != 0) return -1;

  *ExtDesc = (CONST LOAD_FILE_DESC_S *)(Table + EXTENSION_TABLE_HEAD);
  *ExtFileNum = Count;
  return 0;
}
