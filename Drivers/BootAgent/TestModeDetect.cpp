#include "BootAgent.h"

INT32 gTestMode = 0;

VOID DetectTestMode(VOID) {
  BOOLEAN LoopbackFound = (OamLoopDetect() == 0);
  if (LoopbackFound || ReadMappedFlashWord(TEST_REQUEST_WORD_OFFSET) == TEST_MODE_MAGIC) {
    gTestMode = 1;
    WriteFlashWord(TEST_BOOT_WORD_OFFSET, TEST_MODE_MAGIC);
  } else {
    gTestMode = 0;
    WriteFlashWord(TEST_BOOT_WORD_OFFSET, 0xFFFFFFFFu);
  }
}
