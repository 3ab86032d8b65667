#include "BoardDevices/RtcRead.h"

#include <Library/BaseLib.h>

// No clock driver yet: the time reads as unavailable.
EFI_STATUS RtcReadTime(BOARD_RTC_TIME *Time) {
  if (Time == NULL) return EFI_INVALID_PARAMETER;
  InternalSetMem(Time, sizeof(*Time), 0);
  return EFI_UNSUPPORTED;
}
