// Reading and checking the extension table of a package that is streamed
// from storage rather than held whole. The package is mirrored in an image
// buffer at the offsets it has in the file; the extension file's program
// header and table are read there and checked in this order, stopping at
// the first failure with its printed message: extension file ID, its body
// CRC field against slot 255's ulFileCrc, its header CRC, the descriptor
// count of the table, the table CRC.
#ifndef BOOTUPCC_EXTENSION_CHECK_H_
#define BOOTUPCC_EXTENSION_CHECK_H_

#include <Package/PackageFormat.h>
#include <Uefi/UefiBaseType.h>

// Reads Length bytes at file offset Offset to Destination; 0 on success.
// The reader prints its own messages (seek and read failures, progress).
typedef INT32 (*PACKAGE_READ_AT)(VOID *Context, UINT32 Offset, VOID *Destination, UINT32 Length);

typedef struct {
  PACKAGE_READ_AT ReadAt;
  VOID *Context;
} PACKAGE_FILE_READER;

// ulFileNum above 255 and slot 255 holding the extension entry ID.
BOOLEAN PackageHasExtension(CONST LOAD_FILE_HEADER_S *Header);

// Bytes of the extension table for Count descriptors: 32 bytes of head, the
// descriptors, the CRC word (36 + 24 x Count).
UINT64 PackageExtensionTableSize(UINT32 Count);

// The checks of the extension file's program header against the main
// header (file ID, body CRC field, header CRC); 0 or -1 with the message.
INT32 PackageCheckExtensionFileHeader(CONST LOAD_FILE_HEADER_S *Header, CONST SProgramFileHeader_S *ExtFile);

// The checks of the table (PackageExtensionTableSize(ulExtFileNum) bytes at
// Table) against its program header (count, table CRC); 0 or -1.
INT32 PackageCheckExtensionTable(CONST SProgramFileHeader_S *ExtFile, CONST UINT8 *Table);

// For the main header at the start of Image (ImageSize bytes): without an
// extension sets *ExtDesc = NULL, *ExtFileNum = 0 and returns 0. Otherwise
// reads the extension file's program header and table through Reader to
// Image + their file offsets, checks them and returns 0 with the first
// descriptor and their number, or -1. Reads that would not fit the image
// buffer are refused with a printed message.
INT32 PackageLoadExtension(CONST LOAD_FILE_HEADER_S *Header, UINT8 *Image, UINT32 ImageSize,
                           CONST PACKAGE_FILE_READER *Reader, CONST LOAD_FILE_DESC_S **ExtDesc,
                           UINT32 *ExtFileNum);

#endif  // BOOTUPCC_EXTENSION_CHECK_H_
