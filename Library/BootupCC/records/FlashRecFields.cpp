#include "BootupCC/records/FlashRecFields.h"

#include "BootupCC/boot/SearchArray.h"
#include "BootupCC/boot/StartupConfig.h"
#include "BootupCC/records/BootLog.h"
#include "BootupCC/records/FlashRec.h"

// FlashRecGet's results that leave a record worth storing: a valid copy,
// or first configuration (the empty default). Any other result means the
// flash could not be read, and storing would overwrite copies unseen.
static BOOLEAN FlashRecMayStore(INT32 GetResult) { return GetResult == 0 || GetResult == -1; }

UINT32 FlashRecGetHidRequest(VOID) {
  FlashRec Record;
  UINT32 Request = 0;
  if (FlashRecRead(&Record, FLASHDESC_ADDR) != 0) {
    BOOT_LOG(BOOT_DEBUG_ERRORS, LOG_SOURCE_BIOS_FUNC, "Read flash des error !", 0, 0);
  } else {
    Request = Record.ulHidPackageRequest;
  }
  gHidPackageIndex = Request;
  return Request;
}

INT32 FlashRecSetHidStarted(UINT32 Value) {
  FlashRec Record;
  if (FlashRecRead(&Record, FLASHDESC_ADDR) != 0) {
    BOOT_LOG(BOOT_DEBUG_ERRORS, LOG_SOURCE_BIOS_FUNC, "Read flash des error !", 0, 0);
    return 1;
  }
  Record.ulHidPackageStarted = Value;
  FlashRecPut(&Record);
  return 0;
}

UINT32 FlashRecGetBackCount(VOID) {
  FlashRec Record;
  if (FlashRecGet(&Record) != 0) return 0;
  return Record.ulStartupFailVersionBackCount;
}

VOID FlashRecIncBackCount(VOID) {
  FlashRec Record;
  if (FlashRecGet(&Record) != 0) return;
  Record.ulStartupFailVersionBackCount++;
  if (FlashRecPut(&Record) == 0) {
    BOOT_LOG(BOOT_DEBUG_PROGRESS, LOG_SOURCE_BIOS_FUNC, "The backcout is %d !\n",
             Record.ulStartupFailVersionBackCount, 0);
  }
}

VOID FlashRecResetBackCount(VOID) {
  FlashRec Record;
  if (!FlashRecMayStore(FlashRecGet(&Record))) return;
  Record.ulStartupFailVersionBackCount = 0;
  FlashRecPut(&Record);
}

VOID FlashRecClearBackSignal(VOID) {
  FlashRec Record;
  if (!FlashRecMayStore(FlashRecGet(&Record))) return;
  Record.ulStartupFailVersionBackSignal = 0;
  FlashRecPut(&Record);
}

VOID ClearVersionBack(VOID) {
  FlashRecClearBackSignal();
  SearchArrayClear();
}
