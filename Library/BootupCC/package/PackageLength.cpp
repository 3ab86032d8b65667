#include "BootupCC/package/PackageLength.h"

UINT64 PackageExpectedLength(CONST LOAD_FILE_HEADER_S *Header) {
  UINT64 Length = PACKAGE_MAIN_HEADER_SIZE;
  for (UINT32 Slot = 0; Slot <= PACKAGE_EXTENSION_SLOT; Slot++) {
    Length += BYTE_SWAP32(Header->astFileDesc[Slot].ulFileLen);
  }
  return Length;
}
