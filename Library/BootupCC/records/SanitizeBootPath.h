// Path fields of the boot record come from flash and may hold anything:
// erased bytes, stray text or 64 characters without a terminating NUL.
#ifndef BOOTUPCC_SANITIZE_BOOT_PATH_H_
#define BOOTUPCC_SANITIZE_BOOT_PATH_H_

#include <Records/FlashRec.h>
#include <Uefi/UefiBaseType.h>

// Empties the 64-byte field (first byte 0) unless it starts with "cfcard:"
// or "ofs1" (case-sensitive) and is NUL-terminated within its 64 bytes.
VOID SanitizeBootPath(CHAR8 *Field);

// SanitizeBootPath on the first six fields of the set.
VOID SanitizeBootFileSet(BOOT_FILE_SET *Set);

// Empties those of the first six fields that have no NUL within their 64
// bytes; other content is kept.
VOID TerminateBootFileSet(BOOT_FILE_SET *Set);

#endif  // BOOTUPCC_SANITIZE_BOOT_PATH_H_
