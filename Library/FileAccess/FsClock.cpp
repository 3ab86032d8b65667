#include "FileAccess/FsClock.h"

#include "BoardDevices/RtcRead.h"

// Days from 1970-01-01 to the given date of the proleptic Gregorian
// calendar (the year counted from March so February comes last).
static UINT32 FsDaysSinceEpoch(UINT32 Year, UINT32 Month, UINT32 Day) {
  if (Month <= 2) Year -= 1;
  UINT32 Era = Year / 400;
  UINT32 YearOfEra = Year - Era * 400;
  UINT32 MonthFromMarch = Month > 2 ? Month - 3 : Month + 9;
  UINT32 DayOfYear = (153 * MonthFromMarch + 2) / 5 + Day - 1;
  UINT32 DayOfEra = YearOfEra * 365 + YearOfEra / 4 - YearOfEra / 100 + DayOfYear;
  return Era * 146097 + DayOfEra - 719468;
}

UINT32 FsClockSeconds(VOID) {
  BOARD_RTC_TIME Time;
  if (EFI_ERROR(RtcReadTime(&Time))) return 0;
  if (Time.ucMonth < 1 || Time.ucMonth > 12 || Time.ucDay < 1 || Time.ucDay > 31) return 0;
  UINT32 Days = FsDaysSinceEpoch(2000u + Time.ucYear, Time.ucMonth, Time.ucDay);
  return Days * 86400u + Time.ucHour * 3600u + Time.ucMinute * 60u + Time.ucSecond;
}
