// Formatted ASCII output in the UEFI print conventions.
//
// Conversions: %a ASCII string, %s UCS-2 string, %r EFI status text,
// %x/%X hex (lower/upper case), %d signed and %u unsigned decimal, %c one
// character, %p pointer, %% a percent sign. Numbers are 32-bit unless the
// 'l' (or 'L') flag is given, which takes a UINT64/INT64 argument. Flags:
// '-' left justify, '0' zero pad, '+' and ' ' sign prefix, ',' thousands
// separators for decimal; width as digits or '*' (taken from an int/UINTN
// argument); '.' precision: the most characters of a string, the fewest
// digits of a number. A %c of character 0 ends the output, as the result is
// a C string. Unknown conversions are copied as written.
#ifndef PRINT_LIB_H_
#define PRINT_LIB_H_

#include <Uefi/UefiBaseType.h>

// Formats into Buffer of BufferSize bytes. The result is always
// NUL-terminated when BufferSize > 0 and is cut to BufferSize - 1
// characters. Returns the number of characters stored, without the NUL.
UINTN AsciiVSPrint(CHAR8 *Buffer, UINTN BufferSize, CONST CHAR8 *Format, VA_LIST Marker);
UINTN AsciiSPrint(CHAR8 *Buffer, UINTN BufferSize, CONST CHAR8 *Format, ...);

#endif  // PRINT_LIB_H_
