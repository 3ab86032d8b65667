// One character to the memory console log and to the console UART.
#include <Library/DebugLib.h>
#include <Library/IoLib.h>

#define CONSOLE_UART_TX_HOLDING 0x20001000u
#define CONSOLE_UART_STATUS 0x2000107Cu
#define CONSOLE_UART_TX_NOT_FULL 0x02u
#define CONSOLE_UART_TX_EMPTY 0x04u

// Bounds each wait, so a dead UART slows the console but never hangs it.
#define CONSOLE_UART_POLL_LIMIT 500000u

static VOID WaitForUartStatus(UINT8 Bit) {
  for (UINT32 Poll = 0; Poll < CONSOLE_UART_POLL_LIMIT; Poll++) {
    if ((MmioRead8(CONSOLE_UART_STATUS) & Bit) != 0) return;
  }
}

VOID ConsolePutChar(CHAR8 Character) {
  MemLogPutChar(Character);
  WaitForUartStatus(CONSOLE_UART_TX_NOT_FULL);
  // Sent even when the wait timed out: losing a character beats stopping.
  MmioWrite8(CONSOLE_UART_TX_HOLDING, (UINT8)Character);
  WaitForUartStatus(CONSOLE_UART_TX_EMPTY);
}
