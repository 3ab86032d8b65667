#include "BootupCC/boot/StartupError.h"

#include <Records/SharedArea.h>

#include "BootupCC/boot/SearchArray.h"
#include "BootupCC/boot/SharedArea.h"

// Three attempts per slot, three slots.
#define ATTEMPTS_PER_SLOT 3u
#define LAST_COUNTED_ATTEMPT (ATTEMPTS_PER_SLOT * SEARCH_ARRAY_SLOTS)

CONST CHAR8 *CONST gStartupErrorText[STARTUP_ERROR_COUNT] = {
    "The board start normally.\n",
    "Reading FLASH description error.\n",
    "Startup error record buffer full.\n",
    "The packer length check error.\n",
    "The packer open error.\n",
    "The packer CRC check error.\n",
    "The packer BIN id error.\n",
    "The packer BIN CRC error.\n",
    "Update the extbios error.\n",
    "Update the basebios error.\n",
    "The rps file check error.\n",
    "The rps file uncompress error.\n",
    "The 150e logic load error.\n",
    "The FPGA logic load error.\n",
    "The CPLD logic load error.\n",
    "Max error number.\n",
};

VOID RecordStartupError(UINT32 Code) {
  UINT32 Attempt = SharedAreaReadBootAttempt();
  if (Attempt < 1 || Attempt > LAST_COUNTED_ATTEMPT) return;
  UINT8 *Slot = SearchArraySlot((Attempt - 1) / ATTEMPTS_PER_SLOT);
  if (Slot == NULL) return;
  Slot[SEARCH_ARRAY_SLOT_SIZE - 1 - (Attempt - 1) % ATTEMPTS_PER_SLOT] = (UINT8)Code;
}
