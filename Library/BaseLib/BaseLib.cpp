#include <Library/BaseLib.h>

UINTN AsciiStrLen(CONST CHAR8 *String) {
  UINTN Length = 0;
  while (String[Length] != '\0') Length++;
  return Length;
}

UINTN AsciiStrnLen(CONST CHAR8 *String, UINTN MaxLength) {
  UINTN Length = 0;
  while (Length < MaxLength && String[Length] != '\0') Length++;
  return Length;
}

INTN AsciiStrCmp(CONST CHAR8 *First, CONST CHAR8 *Second) {
  while (*First != '\0' && *First == *Second) {
    First++;
    Second++;
  }
  return (INTN)(UINT8)*First - (INTN)(UINT8)*Second;
}

INTN AsciiStrnCmp(CONST CHAR8 *First, CONST CHAR8 *Second, UINTN Length) {
  if (Length == 0) return 0;
  while (*First != '\0' && *First == *Second && Length > 1) {
    First++;
    Second++;
    Length--;
  }
  return (INTN)(UINT8)*First - (INTN)(UINT8)*Second;
}

UINTN StrLen(CONST CHAR16 *String) {
  UINTN Length = 0;
  while (String[Length] != 0) Length++;
  return Length;
}

VOID *InternalCopyMem(VOID *Destination, CONST VOID *Source, UINTN Length) {
  UINT8 *Dst = (UINT8 *)Destination;
  CONST UINT8 *Src = (CONST UINT8 *)Source;
  if (Dst == Src || Length == 0) return Destination;
  if (Dst < Src || Dst >= Src + Length) {
    for (UINTN Index = 0; Index < Length; Index++) Dst[Index] = Src[Index];
  } else {
    // Overlapping with the destination above the source: copy backwards.
    for (UINTN Index = Length; Index > 0; Index--) Dst[Index - 1] = Src[Index - 1];
  }
  return Destination;
}

VOID *InternalSetMem(VOID *Buffer, UINTN Length, UINT8 Value) {
  UINT8 *Dst = (UINT8 *)Buffer;
  for (UINTN Index = 0; Index < Length; Index++) Dst[Index] = Value;
  return Buffer;
}

INTN InternalCompareMem(CONST VOID *First, CONST VOID *Second, UINTN Length) {
  CONST UINT8 *A = (CONST UINT8 *)First;
  CONST UINT8 *B = (CONST UINT8 *)Second;
  for (UINTN Index = 0; Index < Length; Index++) {
    if (A[Index] != B[Index]) return (INTN)A[Index] - (INTN)B[Index];
  }
  return 0;
}

BOOLEAN CompareGuid(CONST EFI_GUID *First, CONST EFI_GUID *Second) {
  return InternalCompareMem(First, Second, sizeof(EFI_GUID)) == 0;
}
