// Freestanding memory and string helpers for firmware code.
#ifndef BASE_LIB_H_
#define BASE_LIB_H_

#include <Uefi/UefiBaseType.h>

UINTN AsciiStrLen(CONST CHAR8 *String);
// Length of String, but never more than MaxLength.
UINTN AsciiStrnLen(CONST CHAR8 *String, UINTN MaxLength);
INTN AsciiStrCmp(CONST CHAR8 *First, CONST CHAR8 *Second);
INTN AsciiStrnCmp(CONST CHAR8 *First, CONST CHAR8 *Second, UINTN Length);
UINTN StrLen(CONST CHAR16 *String);
VOID *InternalCopyMem(VOID *Destination, CONST VOID *Source, UINTN Length);
VOID *InternalSetMem(VOID *Buffer, UINTN Length, UINT8 Value);
INTN InternalCompareMem(CONST VOID *First, CONST VOID *Second, UINTN Length);
BOOLEAN CompareGuid(CONST EFI_GUID *First, CONST EFI_GUID *Second);

#endif  // BASE_LIB_H_
