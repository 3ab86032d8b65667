// Date and time from the board's real-time clock, as the clock chip keeps
// them: a two-digit year and the other fields as read.
#ifndef BOARDDEVICES_RTC_READ_H_
#define BOARDDEVICES_RTC_READ_H_

#include <Uefi/UefiBaseType.h>

typedef struct {
  UINT8 ucYear;  // two digits: the year is 2000 + ucYear
  UINT8 ucMonth;
  UINT8 ucDay;
  UINT8 ucHour;
  UINT8 ucMinute;
  UINT8 ucSecond;
} BOARD_RTC_TIME;

// Fills Time from the clock. When the clock cannot be read every field is
// 0 and an error status is returned.
EFI_STATUS RtcReadTime(BOARD_RTC_TIME *Time);

#endif  // BOARDDEVICES_RTC_READ_H_
