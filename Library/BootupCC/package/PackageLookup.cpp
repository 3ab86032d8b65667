#include "BootupCC/package/PackageLookup.h"

#include <Library/DebugLib.h>

#include "BootupCC/package/PackageCrc.h"
#include "BootupCC/records/BootLog.h"

BOOLEAN PackageRangeInside(UINT32 PackageLength, UINT64 Offset, UINT64 Length) {
  return Offset <= PackageLength && Length <= (UINT64)PackageLength - Offset;
}

UINT32 PackageReadBe32(CONST VOID *Address) {
  CONST UINT8 *Bytes = (CONST UINT8 *)Address;
  return ((UINT32)Bytes[0] << 24) | ((UINT32)Bytes[1] << 16) | ((UINT32)Bytes[2] << 8) | Bytes[3];
}

UINT32 PackageReadLe32(CONST VOID *Address) {
  CONST UINT8 *Bytes = (CONST UINT8 *)Address;
  return ((UINT32)Bytes[3] << 24) | ((UINT32)Bytes[2] << 16) | ((UINT32)Bytes[1] << 8) | Bytes[0];
}

// Finds the extension descriptors behind slot 255 and checks that they lie
// inside the package: their offset and count are not covered by the header
// CRC's promise of sane values.
static INT32 FindExtension(CONST UINT8 *Package, UINT32 PackageLength, CONST LOAD_FILE_HEADER_S *Header,
                           CONST LOAD_FILE_DESC_S **ExtDesc, UINT32 *ExtFileNum) {
  CONST LOAD_FILE_DESC_S *Entry = &Header->astFileDesc[PACKAGE_EXTENSION_SLOT];
  UINT32 ExtOffset = BYTE_SWAP32(Entry->ulFileOffset);
  if (!PackageRangeInside(PackageLength, ExtOffset, EXTENSION_DESCRIPTORS_OFFSET)) {
    BOOT_LOG(BOOT_DEBUG_ERRORS, LOG_SOURCE_BIOS_FUNC,
             "\r\nGetFileDescription:Extension file at 0x%x lies outside the package.\n\r", ExtOffset, 0);
    return -1;
  }
  CONST SProgramFileHeader_S *ExtFile = (CONST SProgramFileHeader_S *)(Package + ExtOffset);
  UINT32 Count = BYTE_SWAP32(ExtFile->ulExtFileNum);
  if (!PackageRangeInside(PackageLength, (UINT64)ExtOffset + EXTENSION_DESCRIPTORS_OFFSET,
                          (UINT64)Count * PACKAGE_FILE_DESC_SIZE)) {
    BOOT_LOG(BOOT_DEBUG_ERRORS, LOG_SOURCE_BIOS_FUNC,
             "\r\nGetFileDescription:Extension table of %u entries lies outside the package.\n\r", Count, 0);
    return -1;
  }
  *ExtDesc = (CONST LOAD_FILE_DESC_S *)(Package + ExtOffset + EXTENSION_DESCRIPTORS_OFFSET);
  *ExtFileNum = Count;
  return 0;
}

INT32 GetExtFileDescription(CONST VOID *Package, UINT32 PackageLength, CONST LOAD_FILE_HEADER_S **Header,
                            CONST LOAD_FILE_DESC_S **ExtDesc, UINT32 *ExtFileNum) {
  if (Package == NULL || Header == NULL || ExtDesc == NULL || ExtFileNum == NULL) {
    BOOT_LOG(BOOT_DEBUG_ERRORS, LOG_SOURCE_BIOS_FUNC, "\n\rGetExtFileDescription:para error.\n\r", 0, 0);
    return -1;
  }
  *ExtDesc = NULL;
  *ExtFileNum = 0;
  if (PackageLength < PACKAGE_MAIN_HEADER_SIZE) {
    BOOT_LOG(BOOT_DEBUG_ERRORS, LOG_SOURCE_BIOS_FUNC,
             "\r\nGetFileDescription:Boot file length 0x%x is shorter than its header.\n\r", PackageLength, 0);
    return -1;
  }

  CONST LOAD_FILE_HEADER_S *Main = (CONST LOAD_FILE_HEADER_S *)Package;
  UINT16 usCrc = 0;
  CalcCrc16(Main, PACKAGE_HEADER_CRC_LENGTH, &usCrc);
  UINT32 ulCrc = BYTE_SWAP32(Main->ulCrc);
  DebugPrint(DEBUG_INFO, "(usCrc) = %x,(pLoadFileDesc->ulCrc) = %x\n", (UINT32)usCrc, ulCrc);
  if (ulCrc != usCrc) {
    BOOT_LOG(BOOT_DEBUG_ERRORS, LOG_SOURCE_BIOS_FUNC, "\r\nGetFileDescription:Boot file CRC error.\n\r", 0, 0);
    return -1;
  }

  UINT32 ulFileNum = BYTE_SWAP32(Main->ulFileNum);
  BOOT_LOG(BOOT_DEBUG_ERRORS, LOG_SOURCE_BIOS_FUNC, "\r\nGetFileDescription:ulFileNum = 0x%x\n\r", ulFileNum, 0);

  if (ulFileNum > PACKAGE_MAIN_SLOTS &&
      BYTE_SWAP32(Main->astFileDesc[PACKAGE_EXTENSION_SLOT].ulFileId) == PACKAGE_EXTENSION_ENTRY_ID) {
    if (FindExtension((CONST UINT8 *)Package, PackageLength, Main, ExtDesc, ExtFileNum) != 0) return -1;
  }
  *Header = Main;
  return 0;
}

CONST LOAD_FILE_DESC_S *PackageFindFile(CONST LOAD_FILE_HEADER_S *Header, CONST LOAD_FILE_DESC_S *ExtDesc,
                                        UINT32 ExtFileNum, UINT32 FileId, BOOLEAN PrintSkipped) {
  for (UINT32 Index = 0; ExtDesc != NULL && Index < ExtFileNum; Index++) {
    if (BYTE_SWAP32(ExtDesc[Index].ulFileId) == FileId) return &ExtDesc[Index];
  }
  UINT32 SlotCount = BYTE_SWAP32(Header->ulFileNum);
  if (SlotCount > PACKAGE_MAIN_SLOTS + 1) SlotCount = PACKAGE_MAIN_SLOTS + 1;
  for (UINT32 Slot = 0; Slot < SlotCount; Slot++) {
    UINT32 SlotId = BYTE_SWAP32(Header->astFileDesc[Slot].ulFileId);
    if (SlotId == FileId) return &Header->astFileDesc[Slot];
    if (PrintSkipped) DebugPrint(DEBUG_ERROR, "file id 0x%08x\r\n", SlotId);
  }
  return NULL;
}
