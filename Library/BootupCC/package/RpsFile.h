// Locating the operating-system image (the RPS file) in a package in memory.
#ifndef BOOTUPCC_RPS_FILE_H_
#define BOOTUPCC_RPS_FILE_H_

#include <Uefi/UefiBaseType.h>

// Result values besides the address of the RPS file's program header.
#define RPS_FILE_LENGTH_OR_CRC_ERROR 0u  // listed, but its length or CRC is wrong
#define RPS_FILE_NOT_FOUND 1u            // bad main header, not listed, or null address

// Finds the RPS file in the package of ulFileLength bytes at pBuff and
// checks its body CRC. Every failure records startup error 10. Addresses
// are printed with %x, so on a 64-bit host only their low 32 bits show.
UINTN getRPSFileAddr(CONST UINT8 *pBuff, UINT32 ulFileLength);

#endif  // BOOTUPCC_RPS_FILE_H_
