// What the board's firmware core and boot manager do around the drivers:
// load each driver image by calling its entry, then call UetRunBoot.
#pragma once

#include <string>
#include <vector>

#include "Board/Board.h"
#include "Core/RunControl.h"

namespace sim {

struct DriverImage {
  const char *name;
  EFI_IMAGE_ENTRY_POINT entry;
};

struct DriverLoadResult {
  std::string name;
  EFI_HANDLE imageHandle = nullptr;
  EFI_STATUS status = EFI_SUCCESS;  // an error result means the image was unloaded
};

struct BootResult {
  RunEnd end;                       // how the run ended
  std::vector<DriverLoadResult> drivers;
  bool uetFound = false;
  EFI_STATUS status = EFI_SUCCESS;  // UetRunBoot's result when it returned
};

// Loads the drivers in order, then locates UET and calls UetRunBoot. A
// reset, power cut, halt or OS start anywhere ends the run early.
BootResult PowerOnAndBoot(Board &board, const std::vector<DriverImage> &drivers);

}  // namespace sim
