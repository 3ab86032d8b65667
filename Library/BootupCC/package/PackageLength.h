// The length a package file must have according to its main header.
#ifndef BOOTUPCC_PACKAGE_LENGTH_H_
#define BOOTUPCC_PACKAGE_LENGTH_H_

#include <Package/PackageFormat.h>
#include <Uefi/UefiBaseType.h>

// 0x1824 plus ulFileLen of all 256 slots, the extension entry included.
// Summed in 64 bits: crafted lengths cannot wrap to the real file size.
UINT64 PackageExpectedLength(CONST LOAD_FILE_HEADER_S *Header);

#endif  // BOOTUPCC_PACKAGE_LENGTH_H_
