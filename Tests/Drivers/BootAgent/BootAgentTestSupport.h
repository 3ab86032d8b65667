// Loading BootAgent on a test board. The drivers are linked into the test
// program, so the globals a fresh image load would start with are set back
// here before every load.
#pragma once

#include "Board/Board.h"
#include "Core/RunControl.h"

#include "BootAgent.h"

namespace simtest {

void ResetBootAgentGlobals();

// Runs BootAgent's image entry on the board (as the firmware core does at
// load) and returns its status.
EFI_STATUS LoadBootAgent(sim::Board &board, EFI_HANDLE *imageHandle = nullptr);

// Locates UET as the boot manager does; nullptr when not installed.
UET_PROTOCOL *LocateUet(sim::Board &board);

}  // namespace simtest
