// A fresh board with the shipped startup configuration, the shared area
// initialised and boot attempt 1 counting, so startup errors are stored in
// byte 63 of search slot 0.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

#include "BootupCC/boot/SharedArea.h"
#include "BootupCC/boot/StartupConfig.h"
#include "Devices/BoardIdRegister.h"
#include "Devices/ConsoleUart.h"
#include "Support/BoardFixture.h"

namespace pkgtest {

constexpr uint32_t kSharedBase = 0xBFFFF000u;
constexpr uint32_t kSearchArray = kSharedBase + 0xC00;
constexpr uint32_t kBootAttempt = kSharedBase + 0xF98;

inline std::string Format(const char *format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  return text;
}

class PackageTest : public simtest::BoardTest {
 protected:
  void SetUp() override {
    BoardTest::SetUp();
    gBootDebugMask = 0xFFFF;
    gRpsFileId = 3;
    gBoardTypeFileId = 1;
    gBiosLogMode = 0;  // console only: the boot log file has its own tests
    ASSERT_EQ(SharedAreaInit(0xC0000000u), EFI_SUCCESS);
    SetBootAttempt(1);
  }

  void SetBootAttempt(uint32_t attempt) { board->memory.Write32(kBootAttempt, attempt); }
  uint8_t *SearchSlot(uint32_t slot) { return board->memory.Map(kSearchArray + 64 * slot, 64); }
  // The code stored for attempt 1.
  uint8_t RecordedError() { return SearchSlot(0)[63]; }
  void ClearConsole() { board->consoleUart->Clear(); }
  void SetBoardId(uint16_t id) { board->boardId->SetValue(id); }
};

}  // namespace pkgtest
