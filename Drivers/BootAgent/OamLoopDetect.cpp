// Loopback probe on the OAM serial port: a plug that echoes "OAM_Loop_Detect"
// puts the board into test mode.
#include <Library/DebugLib.h>
#include <Library/IoLib.h>

#include "BootAgent.h"
#include "BootupCC/boot/DelayUnits.h"

#define OAM_UART_BASE 0x20002000u
#define OAM_UART_DATA (OAM_UART_BASE + 0x00)      // transmit/receive, divisor low
#define OAM_UART_IER (OAM_UART_BASE + 0x04)       // interrupt enable, divisor high
#define OAM_UART_FCR (OAM_UART_BASE + 0x08)
#define OAM_UART_LCR (OAM_UART_BASE + 0x0C)
#define OAM_UART_LSR (OAM_UART_BASE + 0x14)
#define OAM_UART_STATUS (OAM_UART_BASE + 0x7C)
#define OAM_LSR_DATA_READY 0x01u
#define OAM_STATUS_TX_NOT_FULL 0x02u
#define OAM_STATUS_RX_NOT_EMPTY 0x08u

#define SYS_PLL_REGISTER 0x20000020u
#define OAM_BAUD_CLOCK 614400u

#define OAM_POLL_LIMIT 500000u
#define OAM_ECHO_POLL_LIMIT 500001u
#define OAM_DRAIN_LIMIT (10u * OAM_POLL_LIMIT + 1u)
#define OAM_LAST_ATTEMPT 10

static CONST CHAR8 mProbeText[] = "OAM_Loop_Detect";

UINT32 gOamUartInitMarker = 0;

UINT32 OamUartClockHz(UINT32 PllRegister) {
  UINT32 RefDiv = PllRegister & 0x3Fu;
  UINT32 FbDiv = (PllRegister >> 6) & 0xFFFu;
  UINT32 PostDiv1 = (PllRegister >> 18) & 0x7u;
  UINT32 PostDiv2 = (PllRegister >> 21) & 0x7u;
  UINT32 Divider = RefDiv * PostDiv1 * PostDiv2;
  // A PLL register with a zero divider field describes no clock; the
  // division must not trap.
  if (Divider == 0) return 0;
  UINT64 Hz = (UINT64)((FbDiv * 25u) / Divider) * 1000000u;
  return Hz > 0xFFFFFFFFull ? 0xFFFFFFFFu : (UINT32)Hz;
}

VOID OamUartInit(VOID) {
  if (gOamUartInitMarker == OAM_UART_INIT_DONE) return;
  UINT32 Divisor = (OamUartClockHz(MmioRead32(SYS_PLL_REGISTER)) / 2u) / OAM_BAUD_CLOCK;
  MmioWrite8(OAM_UART_LCR, 0x03);
  MmioWrite8(OAM_UART_FCR, 0x07);
  MmioWrite8(OAM_UART_LCR, 0x83);  // divisor latch access
  MmioWrite8(OAM_UART_DATA, (UINT8)(Divisor & 0xFFu));
  MmioWrite8(OAM_UART_IER, (UINT8)((Divisor >> 8) & 0xFFu));
  MmioWrite8(OAM_UART_LCR, 0x03);
  MmioWrite8(OAM_UART_IER, 0x00);
  gOamUartInitMarker = OAM_UART_INIT_DONE;
}

static VOID OamSend(CHAR8 Character) {
  for (UINT32 Poll = 0; Poll < OAM_POLL_LIMIT; Poll++) {
    if ((MmioRead8(OAM_UART_STATUS) & OAM_STATUS_TX_NOT_FULL) != 0) break;
  }
  MmioWrite8(OAM_UART_DATA, (UINT8)Character);
}

// The received character, or 0 when none arrived within PollLimit polls.
static CHAR8 OamReceive(UINT32 PollLimit) {
  for (UINT32 Poll = 0; Poll < PollLimit; Poll++) {
    if ((MmioRead8(OAM_UART_LSR) & OAM_LSR_DATA_READY) != 0) {
      return (CHAR8)MmioRead8(OAM_UART_DATA);
    }
  }
  return 0;
}

// Empties the receiver; a line that never stops delivering gets the UART
// initialised afresh.
static VOID OamDrainReceiver(VOID) {
  UINT32 Count = 0;
  while ((MmioRead8(OAM_UART_STATUS) & OAM_STATUS_RX_NOT_EMPTY) != 0) {
    OamReceive(OAM_POLL_LIMIT);
    if (++Count > OAM_DRAIN_LIMIT) {
      gOamUartInitMarker = 0;
      OamUartInit();
      return;
    }
  }
}

INT32 OamLoopDetect(VOID) {
  OamUartInit();
  DelayUnits(2);
  OamDrainReceiver();

  for (INT32 Attempt = 0; Attempt <= OAM_LAST_ATTEMPT; Attempt++) {
    UINTN Index;
    for (Index = 0; Index < sizeof(mProbeText) - 1; Index++) {
      OamSend(mProbeText[Index]);
      CHAR8 Received = OamReceive(OAM_ECHO_POLL_LIMIT);
      DebugPrint(DEBUG_ERROR, "%c", Received);
      if (Received != mProbeText[Index]) break;
    }
    if (Index == sizeof(mProbeText) - 1) {
      DebugPrint(DEBUG_ERROR, "\n");
      return 0;
    }
    if (Attempt == OAM_LAST_ATTEMPT) {
      DebugPrint(DEBUG_ERROR, "\n");
      return -1;
    }
    OamDrainReceiver();
  }
  return -1;
}
