// A board powered on for the tools: NandCtl and StorageInit loaded, the
// card mounted; powered off cleanly (card flushed and unmounted) on
// destruction. The console text is kept for error reports.
#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "Board/Board.h"
#include "Board/BoardDirectory.h"
#include "Devices/ConsoleUart.h"

#include <Library/UefiBootServicesTableLib.h>

#include "Kvfs/KvfsDriverProtocol.h"
#include "NandCtl.h"
#include "StorageInit.h"

namespace bootsim {

class StorageBoard {
 public:
  StorageBoard(const std::string &directory, const sim::BoardSettings &settings) : board_(directory, settings) {
    Load("NandCtl", NandCtlEntryPoint);
    Load("StorageInit", StorageInitEntryPoint);
    gBS->LocateProtocol(&gKvfsDriverProtocolGuid, nullptr, reinterpret_cast<VOID **>(&kvfs_));
  }
  ~StorageBoard() {
    // Power off cleanly: everything written is flushed to the chip.
    if (kvfs_ != nullptr) KvfsStopCfcard();
  }
  KVFS_DRIVER_PROTOCOL *Kvfs() const { return kvfs_; }
  std::string Console() const { return board_.consoleUart->Text(); }

 private:
  void Load(const char *name, EFI_IMAGE_ENTRY_POINT entry) {
    entry(board_.core.CreateImageHandle(name), board_.core.SystemTable());
  }
  sim::Board board_;
  KVFS_DRIVER_PROTOCOL *kvfs_ = nullptr;
};

// Reads the settings of the board in directory without creating one; on
// failure prints why and returns false.
inline bool OpenExistingBoard(const std::string &directory, sim::BoardSettings *settings) {
  struct stat st;
  if (::stat(sim::BoardFilePath(directory, sim::kBoardSettingsFile).c_str(), &st) != 0) {
    std::fprintf(stderr, "bootsim: no board in %s (make one with: bootsim new %s)\n", directory.c_str(),
                 directory.c_str());
    return false;
  }
  std::string error;
  if (!sim::OpenOrCreateBoardDirectory(directory, settings, &error)) {
    std::fprintf(stderr, "bootsim: %s\n", error.c_str());
    return false;
  }
  return true;
}

}  // namespace bootsim
