#include "NandCtlTestSupport.h"

namespace simtest {

void ResetNandCtlGlobals() { g_pstNandDevice = nullptr; }

EFI_STATUS LoadNandCtl(sim::Board &board) {
  ResetNandCtlGlobals();
  EFI_HANDLE handle = board.core.CreateImageHandle("NandCtl");
  return NandCtlEntryPoint(handle, board.core.SystemTable());
}

template <typename T>
static T *Locate(sim::Board &board, EFI_GUID *guid) {
  T *found = nullptr;
  EFI_STATUS status = board.core.BootServices()->LocateProtocol(guid, nullptr, reinterpret_cast<VOID **>(&found));
  return EFI_ERROR(status) ? nullptr : found;
}

NAND_FLASH_PROTOCOL *LocateNandFlash(sim::Board &board) {
  return Locate<NAND_FLASH_PROTOCOL>(board, &gNandFlashProtocolGuid);
}

NAND_PAGE_DEVICE_PROTOCOL *LocateNandPageDevice(sim::Board &board) {
  return Locate<NAND_PAGE_DEVICE_PROTOCOL>(board, &gNandPageDeviceProtocolGuid);
}

void ReplaceNandChip(sim::Board &board, const sim::NandGeometry &geometry) {
  board.bus.Unmap(board.nandController.get());
  board.bus.Unmap(board.nandController->Buffer());
  board.nandController.reset();
  board.nandChip = std::make_unique<sim::NandChip>(board.clock, geometry);
  board.nandController = std::make_unique<sim::NandController>(*board.nandChip);
  board.nandController->Map(board.bus);
}

}  // namespace simtest
