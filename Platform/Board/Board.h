// One simulated board: clock, memory, register bus, firmware core and the
// device models, with its persistent state in a board directory (boot flash
// image, settings; later the NAND image and the files of "ofs1:").
#pragma once

#include <memory>
#include <string>

#include "Board/BoardSettings.h"
#include "Core/FirmwareCore.h"
#include "Core/VirtualClock.h"
#include "Memory/PhysMemory.h"
#include "Mmio/MmioBus.h"

namespace sim {

class ConsoleUart;
class OamUart;
class SysCtrl;
class BootFlash;
class FlashAccessProtocol;
class NandChip;
class NandController;
class BoardIdRegister;
class DdrErrorCounter;
class Ofs1Folder;

// Addresses of the memory console log the first-stage boot code leaves.
constexpr uint32_t kMemLogDescriptorPointer = 0x2FF00094u;
constexpr uint32_t kMemLogMagicWord = 0x2FF00098u;
constexpr uint32_t kMemLogMagic = 0x6789FEEDu;
constexpr uint32_t kMemLogDescriptor = 0x2FF00100u;
constexpr uint32_t kMemLogBuffer = 0x2FF10000u;

class Board {
 public:
  // An empty directory name makes a board that lives in memory only.
  explicit Board(const std::string &directory = "", const BoardSettings &settings = BoardSettings());
  ~Board();
  Board(const Board &) = delete;
  Board &operator=(const Board &) = delete;

  // Makes this the board the firmware's accessors and tables reach.
  void Activate();
  void Deactivate();

  // What the first-stage boot code does before the drivers run: leaves a
  // memory console log of the given capacity (0: no log).
  void PrepareMemoryConsoleLog(uint32_t capacity);
  std::string MemoryConsoleLogText();

  const std::string &Directory() const { return directory_; }
  const BoardSettings &Settings() const { return settings_; }

  VirtualClock clock;
  PhysMemory memory;
  MmioBus bus{clock};
  FirmwareCore core{clock};
  std::unique_ptr<ConsoleUart> consoleUart;
  std::unique_ptr<OamUart> oamUart;
  std::unique_ptr<SysCtrl> sysCtrl;
  std::unique_ptr<BootFlash> bootFlash;
  std::unique_ptr<FlashAccessProtocol> flashAccess;
  std::unique_ptr<NandChip> nandChip;  // chip type from settings.nandDeviceCode
  std::unique_ptr<NandController> nandController;
  std::unique_ptr<BoardIdRegister> boardId;  // from settings.boardId
  std::unique_ptr<DdrErrorCounter> ddrErrors;  // the DDR controller's error counter
  std::unique_ptr<Ofs1Folder> ofs1;  // files of "ofs1:": folder kOfs1Folder, or a temporary one

 private:
  std::string directory_;
  BoardSettings settings_;
  bool active_ = false;
};

// File names inside a board directory.
constexpr const char *kBoardSettingsFile = "board.txt";
constexpr const char *kBootFlashFile = "bootflash.bin";
constexpr const char *kNandImageFile = "nand.img";
constexpr const char *kOfs1Folder = "ofs1";

}  // namespace sim
