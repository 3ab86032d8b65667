// Finding members of a package held in memory. Every offset and count in a
// package is untrusted: all lookups stay inside the package length.
#ifndef BOOTUPCC_PACKAGE_LOOKUP_H_
#define BOOTUPCC_PACKAGE_LOOKUP_H_

#include <Package/PackageFormat.h>
#include <Uefi/UefiBaseType.h>

// Checks the main header of the package of PackageLength bytes at Package
// and finds its extension table. On success (0) *Header is the package
// start, *ExtDesc the first extension descriptor (NULL without an
// extension) and *ExtFileNum their number (0 without). Returns -1 with a
// logged message for a null argument, a package shorter than its main
// header, a header CRC error or an extension table outside the package.
INT32 GetExtFileDescription(CONST VOID *Package, UINT32 PackageLength, CONST LOAD_FILE_HEADER_S **Header,
                            CONST LOAD_FILE_DESC_S **ExtDesc, UINT32 *ExtFileNum);

// The descriptor of the member FileId: the first match among the extension
// descriptors, else the first among main slots 0 .. ulFileNum - 1 (never
// past slot 255); NULL when none matches. With PrintSkipped, each main slot
// that does not match prints "file id 0x%08x\r\n".
CONST LOAD_FILE_DESC_S *PackageFindFile(CONST LOAD_FILE_HEADER_S *Header, CONST LOAD_FILE_DESC_S *ExtDesc,
                                        UINT32 ExtFileNum, UINT32 FileId, BOOLEAN PrintSkipped);

// True when Length bytes from Offset lie inside a package of PackageLength
// bytes (computed without wrap-around).
BOOLEAN PackageRangeInside(UINT32 PackageLength, UINT64 Offset, UINT64 Length);

// Big-endian and little-endian 32-bit words at any alignment.
UINT32 PackageReadBe32(CONST VOID *Address);
UINT32 PackageReadLe32(CONST VOID *Address);

#endif  // BOOTUPCC_PACKAGE_LOOKUP_H_
