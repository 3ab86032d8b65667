#include "BootAgentTestSupport.h"

#include <gtest/gtest.h>

#include "BootupCC/boot/StartupConfig.h"

namespace simtest {

void ResetBootAgentGlobals() {
  gTestMode = 0;
  gUetImageHandle = nullptr;
  gOamUartInitMarker = 0;
  gBootDebugMask = 0xFFFF;
  gBiosLogMode = 2;
  gCfcardUnusable = 0;
  gSkipTestNetConfig = 0;
  gSkipBootFlow = 0;
}

EFI_STATUS LoadBootAgent(sim::Board &board, EFI_HANDLE *imageHandle) {
  ResetBootAgentGlobals();
  EFI_HANDLE handle = board.core.CreateImageHandle("BootAgent");
  if (imageHandle != nullptr) *imageHandle = handle;
  return BootAgentEntryPoint(handle, board.core.SystemTable());
}

UET_PROTOCOL *LocateUet(sim::Board &board) {
  UET_PROTOCOL *uet = nullptr;
  EFI_STATUS status = board.core.BootServices()->LocateProtocol(&gUetProtocolGuid, nullptr,
                                                                reinterpret_cast<VOID **>(&uet));
  return EFI_ERROR(status) ? nullptr : uet;
}

}  // namespace simtest
