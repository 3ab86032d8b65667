// The board-type list of a package: the boards the package may run on.
#ifndef BOOTUPCC_BOARD_TYPE_FILE_H_
#define BOOTUPCC_BOARD_TYPE_FILE_H_

#include <Uefi/UefiBaseType.h>

// 0 when this board may run the package of PackageLength bytes at Package
// (its board-type list holds the board ID, or it has no list), -1 when it
// may not, when the main header is bad (startup error 10), when the list
// lies outside the package or its CRC is wrong.
INT32 CheckBoardTypeFile(CONST VOID *Package, UINT32 PackageLength);

#endif  // BOOTUPCC_BOARD_TYPE_FILE_H_
