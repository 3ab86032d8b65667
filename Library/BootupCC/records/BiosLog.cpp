// The boot log writer: one timestamped entry per logged event, appended to
// "cfcard:/bioslog.log" through the kvfs driver protocol. The file is opened
// and closed for every entry, so an entry is on the card once this returns.
#include <Library/BaseLib.h>
#include <Library/DebugLib.h>
#include <Library/PrintLib.h>
#include <Library/UefiBootServicesTableLib.h>
#include <Protocol/KvfsDriver.h>

#include "BoardDevices/RtcRead.h"
#include "BootupCC/records/BootLog.h"

#define BIOS_LOG_PATH "cfcard:/bioslog.log"
// An entry is built in this buffer; longer entries are cut to its size - 1.
#define BIOS_LOG_ENTRY_SIZE 1024
// A log file found larger than this is discarded before the next entry.
#define BIOS_LOG_SIZE_LIMIT 0x400000
#define BIOS_LOG_MODE_OFF 0
#define BIOS_LOG_MODE_BUILD_ONLY 1
#define BIOS_LOG_YEAR_BASE 2000

// An unreadable clock leaves every field 0, the year included, so such an
// entry reads "0000-00-00 00:00:00" and cannot be mistaken for a date.
static UINTN BiosLogTimestamp(CHAR8 *Buffer, UINTN Size) {
  BOARD_RTC_TIME Time;
  UINT32 Year = 0;
  if (EFI_ERROR(RtcReadTime(&Time))) {
    InternalSetMem(&Time, sizeof(Time), 0);
  } else {
    Year = BIOS_LOG_YEAR_BASE + Time.ucYear;
  }
  return AsciiSPrint(Buffer, Size, "%04d-%02d-%02d %02d:%02d:%02d", Year, (UINT32)Time.ucMonth, (UINT32)Time.ucDay,
                     (UINT32)Time.ucHour, (UINT32)Time.ucMinute, (UINT32)Time.ucSecond);
}

// Opens the log for appending, creating it when it does not open.
static INT32 BiosLogOpen(KVFS_DRIVER_PROTOCOL *Kvfs) {
  INT32 Fd = Kvfs->Open(Kvfs, BIOS_LOG_PATH, FS_O_RDWR, 0);
  if (Fd >= 0) return Fd;
  DebugPrint(DEBUG_ERROR, "Open the file %a Fail, Create the File!\n", BIOS_LOG_PATH);
  Fd = Kvfs->Create(Kvfs, BIOS_LOG_PATH, FS_O_RDWR, 0);
  if (Fd < 0) DebugPrint(DEBUG_ERROR, "\nCreatekvfs:fail \"%a\".\n", BIOS_LOG_PATH);
  return Fd;
}

// Replaces the open log by a new, empty one; the old content is dropped.
static INT32 BiosLogRestart(KVFS_DRIVER_PROTOCOL *Kvfs, INT32 Fd) {
  DebugPrint(DEBUG_ERROR, "The File size is 4M! \n");
  INT32 Result = Kvfs->Close(Kvfs, Fd);
  if (Result != 0) DebugPrint(DEBUG_ERROR, "[WriteFiletoKVFS:]close kvfs File failed!ret:%x\n", Result);
  Result = Kvfs->Delete(Kvfs, BIOS_LOG_PATH);
  if (Result != 0) DebugPrint(DEBUG_ERROR, "Delete kvfs File failed!ret:%x\n", Result);
  Fd = Kvfs->Create(Kvfs, BIOS_LOG_PATH, FS_O_RDWR, 0);
  if (Fd < 0) DebugPrint(DEBUG_ERROR, "\nCreatekvfs:fail \"%a\".\n", BIOS_LOG_PATH);
  return Fd;
}

static VOID BiosLogAppend(CONST CHAR8 *Entry) {
  // Before the image entry has set up the service tables nothing can be
  // located; logging must not fail its caller then either.
  if (gBS == NULL) return;
  KVFS_DRIVER_PROTOCOL *Kvfs = NULL;
  EFI_STATUS Status = gBS->LocateProtocol(&gKvfsDriverProtocolGuid, NULL, (VOID **)&Kvfs);
  if (EFI_ERROR(Status)) {
    DebugPrint(DEBUG_ERROR, "LocateProtocol:gKvfsDriverProtocolGuid fail!\n");
    return;
  }

  INT32 Fd = BiosLogOpen(Kvfs);
  if (Fd < 0) return;

  INT32 Size = Kvfs->Seek(Kvfs, Fd, 0, FS_SEEK_END);
  if (Size < 0) {
    DebugPrint(DEBUG_ERROR, "\nSeekKvfs:fail\n");
    if (Kvfs->Close(Kvfs, Fd) != 0) DebugPrint(DEBUG_ERROR, "close kvfs File failed!\n");
    return;
  }
  if (Size > BIOS_LOG_SIZE_LIMIT) {
    Fd = BiosLogRestart(Kvfs, Fd);
    if (Fd < 0) return;
  }

  UINT32 Length = (UINT32)AsciiStrLen(Entry);
  if (Kvfs->Write(Kvfs, Fd, Entry, Length) != (INT32)Length) DebugPrint(DEBUG_ERROR, "\n write file failed!\n");
  if (Kvfs->Close(Kvfs, Fd) != 0) DebugPrint(DEBUG_ERROR, "close kvfs File failed!\n");
}

VOID BiosLog(CONST CHAR8 *SourceName, UINT32 Line, CONST CHAR8 *Format, ...) {
  if (gBiosLogMode == BIOS_LOG_MODE_OFF) return;

  CHAR8 Entry[BIOS_LOG_ENTRY_SIZE];
  UINTN Used = BiosLogTimestamp(Entry, sizeof(Entry));
  Used += AsciiSPrint(Entry + Used, sizeof(Entry) - Used, "LINE:%d:", Line);
  VA_LIST Marker;
  VA_START(Marker, Format);
  AsciiVSPrint(Entry + Used, sizeof(Entry) - Used, Format, Marker);
  VA_END(Marker);

  if (gBiosLogMode == BIOS_LOG_MODE_BUILD_ONLY) return;
  BiosLogAppend(Entry);
}
