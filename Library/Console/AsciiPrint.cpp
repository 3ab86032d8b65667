// The formatter: walks the format string and expands each % directive into
// a bounded output buffer.
#include <Library/BaseLib.h>
#include <Library/PrintLib.h>

#include "PrintInternal.h"

#define FLAG_LEFT_JUSTIFY 0x01u
#define FLAG_ZERO_PAD 0x02u
#define FLAG_PLUS_SIGN 0x04u
#define FLAG_BLANK_SIGN 0x08u
#define FLAG_COMMA 0x10u
#define FLAG_LONG 0x20u

// Width and precision beyond any buffer; larger values are held at this.
#define FIELD_SIZE_LIMIT 0x10000u

typedef struct {
  CHAR8 *Buffer;
  UINTN Capacity;  // characters that fit before the terminating NUL
  UINTN Count;
} PRINT_OUTPUT;

typedef struct {
  UINT32 Flags;
  UINTN Width;
  BOOLEAN HasPrecision;
  UINTN Precision;
} FIELD_SPEC;

static BOOLEAN OutputFull(CONST PRINT_OUTPUT *Out) { return Out->Count >= Out->Capacity; }

static VOID PutChar(PRINT_OUTPUT *Out, CHAR8 Character) {
  if (!OutputFull(Out)) Out->Buffer[Out->Count++] = Character;
}

// Stops early once the buffer is full, so a huge width costs nothing.
static VOID PutRepeated(PRINT_OUTPUT *Out, CHAR8 Character, UINTN Count) {
  for (UINTN Index = 0; Index < Count && !OutputFull(Out); Index++) PutChar(Out, Character);
}

static UINTN PaddingFor(CONST FIELD_SPEC *Field, UINTN Length) {
  return Field->Width > Length ? Field->Width - Length : 0;
}

// A string field: ASCII or UCS-2 text, cut to the precision, padded with
// blanks to the width. UCS-2 characters are narrowed to their low byte.
static VOID PutStringField(PRINT_OUTPUT *Out, CONST FIELD_SPEC *Field, CONST VOID *Text, BOOLEAN Wide) {
  UINTN MaxLength = Field->HasPrecision ? Field->Precision : (UINTN)-1;
  UINTN Length;
  if (Wide) {
    CONST CHAR16 *WideText = (CONST CHAR16 *)Text;
    for (Length = 0; Length < MaxLength && WideText[Length] != 0; Length++) {
    }
  } else {
    Length = AsciiStrnLen((CONST CHAR8 *)Text, MaxLength);
  }

  UINTN Padding = PaddingFor(Field, Length);
  if ((Field->Flags & FLAG_LEFT_JUSTIFY) == 0) PutRepeated(Out, ' ', Padding);
  for (UINTN Index = 0; Index < Length && !OutputFull(Out); Index++) {
    CHAR8 Character = Wide ? (CHAR8)(((CONST CHAR16 *)Text)[Index] & 0xFF) : ((CONST CHAR8 *)Text)[Index];
    PutChar(Out, Character);
  }
  if ((Field->Flags & FLAG_LEFT_JUSTIFY) != 0) PutRepeated(Out, ' ', Padding);
}

// A number field: sign, digits (at least the precision, or up to the width
// with zero padding), thousands separators for decimal, blank padding.
static VOID PutNumberField(PRINT_OUTPUT *Out, CONST FIELD_SPEC *Field, UINT64 Magnitude, BOOLEAN Negative,
                           BOOLEAN Signed, UINT32 Radix, BOOLEAN UpperCase) {
  CHAR8 Digits[PRINT_MAX_DIGITS];
  UINTN DigitCount = ValueToDigits(Magnitude, Radix, UpperCase, Digits);

  CHAR8 Sign = 0;
  if (Negative) {
    Sign = '-';
  } else if (Signed && (Field->Flags & FLAG_PLUS_SIGN) != 0) {
    Sign = '+';
  } else if (Signed && (Field->Flags & FLAG_BLANK_SIGN) != 0) {
    Sign = ' ';
  }
  UINTN SignLength = Sign != 0 ? 1 : 0;
  BOOLEAN Commas = Radix == 10 && (Field->Flags & FLAG_COMMA) != 0;

  UINTN Positions = DigitCount;
  if (Field->HasPrecision && Field->Precision > Positions) Positions = Field->Precision;
  BOOLEAN ZeroPad = (Field->Flags & (FLAG_ZERO_PAD | FLAG_LEFT_JUSTIFY)) == FLAG_ZERO_PAD && !Field->HasPrecision && !Commas;
  if (ZeroPad && Field->Width > SignLength + Positions) Positions = Field->Width - SignLength;

  UINTN CommaCount = Commas ? (Positions - 1) / 3 : 0;
  UINTN Padding = PaddingFor(Field, SignLength + Positions + CommaCount);

  if ((Field->Flags & FLAG_LEFT_JUSTIFY) == 0) PutRepeated(Out, ' ', Padding);
  if (Sign != 0) PutChar(Out, Sign);
  for (UINTN Position = Positions; Position > 0 && !OutputFull(Out); Position--) {
    UINTN Index = Position - 1;
    PutChar(Out, Index < DigitCount ? Digits[Index] : '0');
    if (Commas && Index > 0 && Index % 3 == 0) PutChar(Out, ',');
  }
  if ((Field->Flags & FLAG_LEFT_JUSTIFY) != 0) PutRepeated(Out, ' ', Padding);
}

static BOOLEAN IsDigit(CHAR8 Character) { return Character >= '0' && Character <= '9'; }

static UINTN ParseCount(CONST CHAR8 **Cursor) {
  UINTN Value = 0;
  while (IsDigit(**Cursor)) {
    if (Value < FIELD_SIZE_LIMIT) Value = Value * 10 + (UINTN)(**Cursor - '0');
    (*Cursor)++;
  }
  return Value < FIELD_SIZE_LIMIT ? Value : FIELD_SIZE_LIMIT;
}

static UINTN LimitField(UINT32 Value) { return Value < FIELD_SIZE_LIMIT ? Value : FIELD_SIZE_LIMIT; }

static VOID PutLiteral(PRINT_OUTPUT *Out, CONST CHAR8 *Start, CONST CHAR8 *End) {
  while (Start < End && !OutputFull(Out)) PutChar(Out, *Start++);
}

UINTN AsciiVSPrint(CHAR8 *Buffer, UINTN BufferSize, CONST CHAR8 *Format, VA_LIST Marker) {
  if (Buffer == NULL || BufferSize == 0) return 0;
  PRINT_OUTPUT Out = {Buffer, BufferSize - 1, 0};
  if (Format == NULL) Format = "";

  CONST CHAR8 *Cursor = Format;
  BOOLEAN Ended = FALSE;
  while (*Cursor != '\0' && !Ended && !OutputFull(&Out)) {
    if (*Cursor != '%') {
      PutChar(&Out, *Cursor++);
      continue;
    }

    CONST CHAR8 *DirectiveStart = Cursor++;
    FIELD_SPEC Field = {0, 0, FALSE, 0};
    // Flags, width, precision and the long flag, in any order.
    for (BOOLEAN InFlags = TRUE; InFlags;) {
      switch (*Cursor) {
        case '-': Field.Flags |= FLAG_LEFT_JUSTIFY; Cursor++; break;
        case '0': Field.Flags |= FLAG_ZERO_PAD; Cursor++; break;
        case '+': Field.Flags |= FLAG_PLUS_SIGN; Cursor++; break;
        case ' ': Field.Flags |= FLAG_BLANK_SIGN; Cursor++; break;
        case ',': Field.Flags |= FLAG_COMMA; Cursor++; break;
        case 'l':
        case 'L': Field.Flags |= FLAG_LONG; Cursor++; break;
        case '*': {
          INT32 Width = VA_ARG(Marker, INT32);
          if (Width < 0) {
            // A negative width asks for left justification, as in C.
            Field.Flags |= FLAG_LEFT_JUSTIFY;
            Width = -Width;
          }
          Field.Width = LimitField((UINT32)Width);
          Cursor++;
          break;
        }
        case '.':
          Cursor++;
          Field.HasPrecision = TRUE;
          if (*Cursor == '*') {
            INT32 Precision = VA_ARG(Marker, INT32);
            // A negative precision counts as none given.
            Field.HasPrecision = Precision >= 0;
            Field.Precision = Precision >= 0 ? LimitField((UINT32)Precision) : 0;
            Cursor++;
          } else {
            Field.Precision = ParseCount(&Cursor);
          }
          break;
        default:
          if (IsDigit(*Cursor)) {
            Field.Width = ParseCount(&Cursor);
          } else {
            InFlags = FALSE;
          }
          break;
      }
    }

    CHAR8 Conversion = *Cursor;
    if (Conversion == '\0') {
      // A directive cut off by the end of the format is copied as written.
      PutLiteral(&Out, DirectiveStart, Cursor);
      break;
    }
    Cursor++;
    BOOLEAN Long = (Field.Flags & FLAG_LONG) != 0;

    switch (Conversion) {
      case 'a': {
        CONST CHAR8 *Text = VA_ARG(Marker, CONST CHAR8 *);
        PutStringField(&Out, &Field, Text != NULL ? Text : "<null string>", FALSE);
        break;
      }
      case 's': {
        CONST CHAR16 *Text = VA_ARG(Marker, CONST CHAR16 *);
        if (Text != NULL) {
          PutStringField(&Out, &Field, Text, TRUE);
        } else {
          PutStringField(&Out, &Field, "<null string>", FALSE);
        }
        break;
      }
      case 'r': {
        EFI_STATUS Status = VA_ARG(Marker, EFI_STATUS);
        CONST CHAR8 *Text = EfiStatusText(Status);
        CHAR8 HexText[9];
        if (Text == NULL) {
          // Unknown statuses as eight upper-case hex digits.
          CHAR8 Digits[PRINT_MAX_DIGITS];
          UINTN Count = ValueToDigits((UINT32)Status, 16, TRUE, Digits);
          for (UINTN Index = 0; Index < 8; Index++) {
            UINTN DigitIndex = 7 - Index;
            HexText[Index] = DigitIndex < Count ? Digits[DigitIndex] : '0';
          }
          HexText[8] = '\0';
          Text = HexText;
        }
        PutStringField(&Out, &Field, Text, FALSE);
        break;
      }
      case 'x':
      case 'X': {
        UINT64 Value = Long ? VA_ARG(Marker, UINT64) : (UINT64)VA_ARG(Marker, UINT32);
        PutNumberField(&Out, &Field, Value, FALSE, FALSE, 16, Conversion == 'X');
        break;
      }
      case 'u': {
        UINT64 Value = Long ? VA_ARG(Marker, UINT64) : (UINT64)VA_ARG(Marker, UINT32);
        PutNumberField(&Out, &Field, Value, FALSE, FALSE, 10, FALSE);
        break;
      }
      case 'd': {
        INT64 Value = Long ? VA_ARG(Marker, INT64) : (INT64)VA_ARG(Marker, INT32);
        // Negate in unsigned arithmetic so the most negative value works.
        UINT64 Magnitude = Value < 0 ? 0 - (UINT64)Value : (UINT64)Value;
        PutNumberField(&Out, &Field, Magnitude, Value < 0, TRUE, 10, FALSE);
        break;
      }
      case 'p': {
        // Pointers always show every hex digit of the address.
        FIELD_SPEC PointerSpec = {FLAG_ZERO_PAD, sizeof(VOID *) * 2, FALSE, 0};
        UINTN Value = (UINTN)VA_ARG(Marker, VOID *);
        PutNumberField(&Out, &PointerSpec, Value, FALSE, FALSE, 16, TRUE);
        break;
      }
      case 'c': {
        CHAR8 Character = (CHAR8)(VA_ARG(Marker, UINT32) & 0xFF);
        if (Character == '\0') {
          // The result is a C string: a NUL character ends it.
          Ended = TRUE;
          break;
        }
        CHAR8 Text[2] = {Character, '\0'};
        PutStringField(&Out, &Field, Text, FALSE);
        break;
      }
      case '%':
        PutChar(&Out, '%');
        break;
      default:
        PutLiteral(&Out, DirectiveStart, Cursor);
        break;
    }
  }

  Buffer[Out.Count] = '\0';
  return Out.Count;
}

UINTN AsciiSPrint(CHAR8 *Buffer, UINTN BufferSize, CONST CHAR8 *Format, ...) {
  VA_LIST Marker;
  VA_START(Marker, Format);
  UINTN Count = AsciiVSPrint(Buffer, BufferSize, Format, Marker);
  VA_END(Marker);
  return Count;
}
