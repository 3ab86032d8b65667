// Console output of all drivers: messages go, character by character, to
// the memory console log left by the first-stage boot code and to the
// console UART.
#ifndef DEBUG_LIB_H_
#define DEBUG_LIB_H_

#include <Uefi/UefiBaseType.h>

#define DEBUG_ERROR 0x80000000u
#define DEBUG_INFO 0x00000040u

// Levels printed by this build; information messages are not.
#define DEBUG_ENABLED_LEVELS DEBUG_ERROR

// Longest message of one DebugPrint call; longer output is cut.
#define DEBUG_MESSAGE_MAX_LENGTH 255

// Formats (see PrintLib.h) and writes the message when ErrorLevel is enabled.
VOID DebugPrint(UINTN ErrorLevel, CONST CHAR8 *Format, ...);

// Appends one character to the memory console log, when there is a valid,
// enabled one.
VOID MemLogPutChar(CHAR8 Character);

// MemLogPutChar, then sends the character to the console UART.
VOID ConsolePutChar(CHAR8 Character);

#endif  // DEBUG_LIB_H_
