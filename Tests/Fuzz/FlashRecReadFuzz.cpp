// Arbitrary bytes in the two boot record copies of the boot flash, read
// through FlashRecRead and FlashRecGet (which may repair the main copy).
// The first 1920 input bytes fill the main copy, the next 1920 the backup;
// missing bytes read as erased flash.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Board/Board.h"
#include "BootupCC/boot/StartupConfig.h"
#include "BootupCC/records/FlashRec.h"
#include "Devices/BootFlash.h"
#include "Devices/ConsoleUart.h"

#include <Library/BaseLib.h>
#include <Library/UefiBootServicesTableLib.h>

namespace {

sim::Board &FuzzBoard() {
  static sim::Board board;
  static bool ready = false;
  if (!ready) {
    UefiLibConstructor(nullptr, board.core.SystemTable());
    gBiosLogMode = 1;  // entries are built, but there is no card to write them to
    ready = true;
  }
  return board;
}

void FillCopy(sim::BootFlash &flash, uint32_t offset, const uint8_t *data, size_t size) {
  std::vector<uint8_t> copy(FLASH_REC_SIZE, 0xFF);
  if (size > 0) std::memcpy(copy.data(), data, size < FLASH_REC_SIZE ? size : FLASH_REC_SIZE);
  flash.WriteRaw(offset, copy.data(), FLASH_REC_SIZE);
}

// Every path a caller takes from a record FlashRecGet handed out must end
// within its field.
bool PathsTerminated(const FlashRec &record) {
  const BOOT_FILE_SET *sets[] = {&record.stCurrentBootFile, &record.stPreBootFile, &record.stWorkingBootFile};
  for (const BOOT_FILE_SET *set : sets) {
    for (uint32_t field = 0; field < BOOT_FILE_SET_SANITIZED_PATHS; ++field) {
      const CHAR8 *path = reinterpret_cast<const CHAR8 *>(set) + field * BOOT_PATH_SIZE;
      if (AsciiStrnLen(path, BOOT_PATH_SIZE) == BOOT_PATH_SIZE) return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  sim::Board &board = FuzzBoard();
  sim::BootFlash &flash = *board.bootFlash;
  board.consoleUart->Clear();  // the console keeps every message otherwise
  FillCopy(flash, FLASHDESC_ADDR, data, size);
  FillCopy(flash, FLASHDESC_BACK_ADDR, size > FLASH_REC_SIZE ? data + FLASH_REC_SIZE : nullptr,
           size > FLASH_REC_SIZE ? size - FLASH_REC_SIZE : 0);

  FlashRec record;
  INT32 main = FlashRecRead(&record, FLASHDESC_ADDR);
  if (main != 0 && main != -1) __builtin_trap();
  INT32 backup = FlashRecRead(&record, FLASHDESC_BACK_ADDR);

  gFirstConfigMarker = 0;
  INT32 result = FlashRecGet(&record);
  if (result == 0 && !PathsTerminated(record)) __builtin_trap();
  // First configuration exactly when neither copy is valid; a valid backup
  // under a bad main copy has been written over the main copy.
  if ((result == -1) != (main != 0 && backup != 0)) __builtin_trap();
  if (main != 0 && backup == 0 && FlashRecRead(&record, FLASHDESC_ADDR) != 0) __builtin_trap();
  return 0;
}
