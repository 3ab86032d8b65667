// Helpers of the formatter, shared by its source files only.
#ifndef CONSOLE_PRINT_INTERNAL_H_
#define CONSOLE_PRINT_INTERNAL_H_

#include <Uefi/UefiBaseType.h>

// Most digits a 64-bit value takes in radix 10 or 16.
#define PRINT_MAX_DIGITS 20

// Writes the digits of Value in Radix (10 or 16) into Digits, least
// significant first, and returns their count (at least 1).
UINTN ValueToDigits(UINT64 Value, UINT32 Radix, BOOLEAN UpperCase, CHAR8 *Digits);

// The text of a known status ("Success", "Not Found", ...) or NULL.
CONST CHAR8 *EfiStatusText(EFI_STATUS Status);

#endif  // CONSOLE_PRINT_INTERNAL_H_
