// Placeholder until the boot log writer lands: honours the mode switch only.
#include "BootupCC/records/BootLog.h"

VOID BiosLog(CONST CHAR8 *SourceName, UINT32 Line, CONST CHAR8 *Format, ...) {
  if (gBiosLogMode == 0) return;
}
