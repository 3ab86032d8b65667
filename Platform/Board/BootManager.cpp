#include "Board/BootManager.h"

#include <Protocol/Uet.h>

namespace sim {

BootResult PowerOnAndBoot(Board &board, const std::vector<DriverImage> &drivers) {
  BootResult result;
  board.Activate();
  EFI_SYSTEM_TABLE *systemTable = board.core.SystemTable();
  // Members of result are filled as the run goes; nothing on this frame's
  // stack owns memory across firmware calls (a reset skips unwinding).
  result.end = RunGuarded([&] {
    for (const DriverImage &image : drivers) {
      result.drivers.push_back(DriverLoadResult{image.name, board.core.CreateImageHandle(image.name), EFI_SUCCESS});
      DriverLoadResult &load = result.drivers.back();
      load.status = image.entry(load.imageHandle, systemTable);
    }
    UET_PROTOCOL *uet = nullptr;
    if (EFI_ERROR(systemTable->BootServices->LocateProtocol(&gUetProtocolGuid, nullptr,
                                                            reinterpret_cast<VOID **>(&uet)))) {
      return;
    }
    result.uetFound = true;
    result.status = uet->UetRunBoot(uet);
  });
  result.end.timeNs = board.clock.NowNs();
  return result;
}

}  // namespace sim
