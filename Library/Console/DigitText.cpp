// Number to digits without 64-bit division: the board's 32-bit core has no
// divide instruction for it and firmware links no compiler helper library.
#include "PrintInternal.h"

// Divides Value by 10 in four 16-bit steps; every step fits in 32 bits
// because the carried remainder is below 10.
static UINT32 DivideBy10(UINT64 *Value) {
  UINT32 High = (UINT32)(*Value >> 32);
  UINT32 Low = (UINT32)*Value;
  UINT32 Limbs[4] = {High >> 16, High & 0xFFFF, Low >> 16, Low & 0xFFFF};
  UINT32 Remainder = 0;
  for (UINTN Index = 0; Index < 4; Index++) {
    UINT32 Part = (Remainder << 16) | Limbs[Index];
    Limbs[Index] = Part / 10;
    Remainder = Part % 10;
  }
  *Value = ((UINT64)((Limbs[0] << 16) | Limbs[1]) << 32) | (UINT64)((Limbs[2] << 16) | Limbs[3]);
  return Remainder;
}

UINTN ValueToDigits(UINT64 Value, UINT32 Radix, BOOLEAN UpperCase, CHAR8 *Digits) {
  CONST CHAR8 *Symbols = UpperCase ? "0123456789ABCDEF" : "0123456789abcdef";
  UINTN Count = 0;
  do {
    UINT32 Digit;
    if (Radix == 16) {
      Digit = (UINT32)Value & 0xF;
      Value >>= 4;
    } else {
      Digit = DivideBy10(&Value);
    }
    Digits[Count++] = Symbols[Digit];
  } while (Value != 0);
  return Count;
}
