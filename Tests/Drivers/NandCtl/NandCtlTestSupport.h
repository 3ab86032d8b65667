// Loading NandCtl on a test board. The driver is linked into the test
// program, so the globals a fresh image load starts with are set back here
// before every load.
#pragma once

#include <memory>

#include "Board/Board.h"
#include "Devices/NandChip.h"
#include "Devices/NandController.h"

#include "NandCtl.h"

namespace simtest {

void ResetNandCtlGlobals();

// Runs NandCtl's image entry on the board and returns its status.
EFI_STATUS LoadNandCtl(sim::Board &board);

// The protocols as another driver finds them; nullptr when not installed.
NAND_FLASH_PROTOCOL *LocateNandFlash(sim::Board &board);
NAND_PAGE_DEVICE_PROTOCOL *LocateNandPageDevice(sim::Board &board);

// Fits the board with another chip (for geometries no board setting
// offers): a new chip and controller in place of the board's.
void ReplaceNandChip(sim::Board &board, const sim::NandGeometry &geometry);

}  // namespace simtest
