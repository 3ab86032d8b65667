// The logging convention of BootAgent: a logged event tests its bit of
// gBootDebugMask, goes to the console at error level, then is appended to
// the boot log "cfcard:/bioslog.log" with the caller's source name and line.
#ifndef BOOTUPCC_BOOT_LOG_H_
#define BOOTUPCC_BOOT_LOG_H_

#include <Library/DebugLib.h>
#include <Uefi/UefiBaseType.h>

#include "BootupCC/boot/StartupConfig.h"

// Source names the boot library logs under.
#define LOG_SOURCE_BIOS_FUNC "Library/BootupCC/drv_BiosFunc"
#define LOG_SOURCE_SYS "Library/BootupCC/Drv_Sys"
#define LOG_SOURCE_MANU_INFO "Library/BootupCC/Drv_ManuInfo"

// Appends one entry: timestamp, "LINE:<line>:", then the message formatted
// with its (up to two) values. Never fails its caller.
VOID BiosLog(CONST CHAR8 *SourceName, UINT32 Line, CONST CHAR8 *Format, ...);

// BOOT_LOG(mask bit, source name, format, value1, value2): callers always
// pass two values, 0 where the message has none.
#define BOOT_LOG(MaskBit, SourceName, Format, Value1, Value2)        \
  do {                                                               \
    if ((gBootDebugMask & (MaskBit)) != 0) {                         \
      DebugPrint(DEBUG_ERROR, Format, Value1, Value2);               \
      BiosLog(SourceName, __LINE__, Format, Value1, Value2);         \
    }                                                                \
  } while (0)

#endif  // BOOTUPCC_BOOT_LOG_H_
