// File IDs of package members that come from the configured codes of the
// startup block.
#ifndef BOOTUPCC_PACKAGE_FILE_IDS_H_
#define BOOTUPCC_PACKAGE_FILE_IDS_H_

#include <Uefi/UefiBaseType.h>

// 0x01000000 | (RPS code & 0x00FFFFFF): 0x01000003 as shipped.
UINT32 PackageRpsFileId(VOID);

// 0x09000000 | (board-type code & 0x00FFFFFF): 0x09000001 as shipped.
UINT32 PackageBoardTypeFileId(VOID);

#endif  // BOOTUPCC_PACKAGE_FILE_IDS_H_
