// Fixture for tests that run firmware on a fresh in-memory board.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Board/Board.h"
#include "Devices/BootFlash.h"
#include "Devices/ConsoleUart.h"
#include "Support/SimTest.h"

#include <Library/UefiBootServicesTableLib.h>

namespace simtest {

class BoardTest : public testing::Test {
 protected:
  // Firmware routines called directly by a test reach the services through
  // the same table pointers a loaded driver has.
  void SetUp() override {
    board = std::make_unique<sim::Board>("", settings);
    UefiLibConstructor(nullptr, board->core.SystemTable());
  }
  void TearDown() override {
    ExpectNoUnownedAccess(board->bus);
    board.reset();
    gST = nullptr;
    gBS = nullptr;
    gRT = nullptr;
  }

  // Console text printed so far.
  const std::string &Console() const { return board->consoleUart->Text(); }
  uint32_t FlashWord(uint32_t offset) const { return board->bootFlash->Read32(offset); }

  sim::BoardSettings settings;  // set before SetUp runs to change the board
  std::unique_ptr<sim::Board> board;
};

}  // namespace simtest
