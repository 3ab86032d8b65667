#include "Board/Board.h"

#include <stdexcept>

#include "Board/ActivePlatform.h"
#include "Board/BoardDirectory.h"
#include "Devices/BoardIdRegister.h"
#include "Devices/DdrErrorCounter.h"
#include "Devices/BootFlash.h"
#include "Devices/ConsoleUart.h"
#include "Devices/FlashAccessProtocol.h"
#include "Devices/NandChip.h"
#include "Devices/NandController.h"
#include "Devices/OamUart.h"
#include "Devices/Ofs1Folder.h"
#include "Devices/SysCtrl.h"

namespace sim {
namespace {

void ApplyPlug(const OamPlugSetting &setting, LoopbackPlug &plug) {
  switch (setting.kind) {
    case OamPlugKind::None: plug.SetNone(); break;
    case OamPlugKind::EchoAll: plug.SetEchoAll(); break;
    case OamPlugKind::EchoFirst: plug.SetEchoFirst(setting.count); break;
    case OamPlugKind::FailFirst: plug.SetFailFirstBursts(setting.count); break;
  }
}

}  // namespace

Board::Board(const std::string &directory, const BoardSettings &settings)
    : directory_(directory), settings_(settings) {
  consoleUart = std::make_unique<ConsoleUart>();
  oamUart = std::make_unique<OamUart>(clock);
  sysCtrl = std::make_unique<SysCtrl>();
  bootFlash = std::make_unique<BootFlash>(clock, directory.empty() ? "" : BoardFilePath(directory, kBootFlashFile));
  bootFlash->MapWindow(memory);
  flashAccess = std::make_unique<FlashAccessProtocol>(*bootFlash);

  bus.Map("console UART", ConsoleUart::kBase, ConsoleUart::kSize, consoleUart.get());
  bus.Map("OAM UART", kOamUartBase, kOamUartSize, oamUart.get());
  bus.Map("system control", kSysCtrlBase, kSysCtrlSize, sysCtrl.get());
  nandChip = std::make_unique<NandChip>(clock, NandGeometry::ForDeviceCode(settings_.nandDeviceCode),
                                        directory.empty() ? "" : BoardFilePath(directory, kNandImageFile));
  nandController = std::make_unique<NandController>(*nandChip);
  nandController->Map(bus);
  boardId = std::make_unique<BoardIdRegister>(settings_.boardId);
  bus.Map("board ID", kBoardIdRegisterBase, kBoardIdRegisterSize, boardId.get());
  ddrErrors = std::make_unique<DdrErrorCounter>();
  bus.Map("DDR error counter", kDdrErrorCounterBase, kDdrErrorCounterSize, ddrErrors.get());
  ApplyPlug(settings_.oamPlug, oamUart->Plug());
  // "ofs1:" time stamps come from the board clock: the setting at power-on
  // plus the time the board has run.
  ofs1 = std::make_unique<Ofs1Folder>(directory.empty() ? "" : BoardFilePath(directory, kOfs1Folder), [this] {
    return BoardClockSeconds(settings_.clock) + uint32_t(clock.NowNs() / 1000000000u);
  });

  Activate();
  // Protocols the platform firmware provides before any driver loads.
  EFI_HANDLE flashHandle = nullptr;
  EFI_STATUS status = core.BootServices()->InstallProtocolInterface(&flashHandle, &gFlashAccessProtocolGuid,
                                                                     EFI_NATIVE_INTERFACE, flashAccess->Interface());
  if (EFI_ERROR(status)) throw std::runtime_error("cannot install the flash access protocol");
  EFI_HANDLE ofs1Handle = nullptr;
  status = core.BootServices()->InstallProtocolInterface(&ofs1Handle, &gBoardFileDeviceProtocolGuid,
                                                         EFI_NATIVE_INTERFACE, ofs1->Protocol());
  if (EFI_ERROR(status)) throw std::runtime_error("cannot install the ofs1 file device");
}

Board::~Board() {
  Deactivate();
  bootFlash->UnmapWindow();
}

void Board::Activate() {
  ActivePlatform &active = Active();
  active.clock = &clock;
  active.bus = &bus;
  active.memory = &memory;
  core.Activate();
  active_ = true;
}

void Board::Deactivate() {
  if (!active_) return;
  ActivePlatform &active = Active();
  if (active.bus == &bus) active = ActivePlatform();
  active_ = false;
}

void Board::PrepareMemoryConsoleLog(uint32_t capacity) {
  if (capacity == 0) {
    memory.Write32(kMemLogMagicWord, 0);
    return;
  }
  memory.Write32(kMemLogDescriptor + 0x10, capacity + 16);  // total size of the buffer record
  memory.Write32(kMemLogDescriptor + 0x14, 1);              // enabled
  memory.Write32(kMemLogDescriptor + 0x18, kMemLogBuffer);
  memory.Write32(kMemLogBuffer + 4, 0);  // overflow count
  memory.Write32(kMemLogBuffer + 8, 0);  // used length
  memory.Write32(kMemLogDescriptorPointer, kMemLogDescriptor);
  memory.Write32(kMemLogMagicWord, kMemLogMagic);
}

std::string Board::MemoryConsoleLogText() {
  if (memory.Read32(kMemLogMagicWord) != kMemLogMagic) return "";
  uint32_t used = memory.Read32(kMemLogBuffer + 8);
  const uint8_t *text = memory.Map(kMemLogBuffer + 0x10, used);
  return text == nullptr ? "" : std::string(reinterpret_cast<const char *>(text), used);
}

}  // namespace sim
