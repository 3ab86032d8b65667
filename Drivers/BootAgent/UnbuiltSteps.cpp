// Boot steps whose subsystems are not part of this firmware build yet. Each
// fails visibly instead of pretending to succeed; the real implementations
// replace these one by one.
#include <Library/DebugLib.h>

#include "BootSteps.h"

static VOID ReportUnbuilt(CONST CHAR8 *Step) {
  DebugPrint(DEBUG_ERROR, "[%a] is not available in this firmware build\n", Step);
}

INT32 BootMain(VOID) {
  ReportUnbuilt("BootMain");
  return -1;
}

EFI_STATUS NetConfigureBoardAddress(VOID) {
  ReportUnbuilt("NetConfigureBoardAddress");
  return EFI_UNSUPPORTED;
}

UINT32 MaintainExtBios(VOID) {
  ReportUnbuilt("MaintainExtBios");
  return 0xFFFFFFFFu;
}

EFI_STATUS SaveTestParameters(CHAR8 *HostAddress, CHAR8 *Directory, CHAR8 *FileName) {
  ReportUnbuilt("UetSetTestParameters");
  return EFI_UNSUPPORTED;
}

EFI_STATUS UpgradeSoft(VOID) {
  ReportUnbuilt("UpgradeSoft");
  return EFI_UNSUPPORTED;
}
