// The drivers' one message routine.
#include <Library/DebugLib.h>
#include <Library/PrintLib.h>

VOID DebugPrint(UINTN ErrorLevel, CONST CHAR8 *Format, ...) {
  if ((ErrorLevel & DEBUG_ENABLED_LEVELS) == 0) return;

  CHAR8 Message[DEBUG_MESSAGE_MAX_LENGTH + 1];
  VA_LIST Marker;
  VA_START(Marker, Format);
  UINTN Length = AsciiVSPrint(Message, sizeof(Message), Format, Marker);
  VA_END(Marker);

  for (UINTN Index = 0; Index < Length; Index++) ConsolePutChar(Message[Index]);
}
