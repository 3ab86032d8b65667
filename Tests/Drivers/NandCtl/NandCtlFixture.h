// A board with NandCtl loaded on a chip of the test's choice.
#pragma once

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "NandCtlTestSupport.h"
#include "Support/BoardFixture.h"

namespace simtest {

class NandCtlTest : public BoardTest {
 protected:
  explicit NandCtlTest(uint8_t deviceCode = 0xDC) { settings.nandDeviceCode = deviceCode; }

  void SetUp() override {
    BoardTest::SetUp();
    board->nandController->SetTracing(true);
    ASSERT_EQ(LoadNandCtl(*board), EFI_SUCCESS);
    nand = LocateNandFlash(*board);
    pages = LocateNandPageDevice(*board);
    ASSERT_NE(nand, nullptr);
    ASSERT_NE(pages, nullptr);
    board->nandController->ClearTrace();
  }
  void TearDown() override {
    for (const std::string &error : board->nandController->ProtocolErrors()) ADD_FAILURE() << error;
    BoardTest::TearDown();
  }

  sim::NandChip &Chip() { return *board->nandChip; }
  const std::vector<sim::NandCtlOperation> &Trace() { return board->nandController->Trace(); }
  // Low bytes of the operation codes started, in order.
  std::vector<uint32_t> Codes() {
    std::vector<uint32_t> codes;
    for (const sim::NandCtlOperation &op : Trace()) codes.push_back(op.operation & 0xFF);
    return codes;
  }
  // Console holds Text, with "[<line>L]" in front.
  bool PrintedWithLine(const std::string &text) {
    return std::regex_search(Console(), std::regex("\\[[0-9]+L\\]" + std::regex_replace(
                                                                           text, std::regex(R"([\[\]!.:()])"), R"(\$&)")));
  }

  static std::vector<uint8_t> Pattern(size_t length, uint8_t seed) {
    std::vector<uint8_t> bytes(length);
    for (size_t i = 0; i < length; ++i) bytes[i] = uint8_t(seed * 13 + i * 5 + (i >> 8));
    return bytes;
  }

  NAND_FLASH_PROTOCOL *nand = nullptr;
  NAND_PAGE_DEVICE_PROTOCOL *pages = nullptr;
};

}  // namespace simtest
