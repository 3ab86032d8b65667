// The six NAND protocol operations on the model: round trips, range
// checks and their messages, chip failures, time-outs, the long-address
// codes and the four-sector sequences of 8192-byte pages.
#include <cstring>

#include "NandCtlFixture.h"

namespace simtest {
namespace {

constexpr uint32_t kPages512MiB = 4096 * 64;

TEST_F(NandCtlTest, PagesRoundTripAndFactoryMarksAreRead) {
  std::vector<uint8_t> data = Pattern(2048, 1), spare = Pattern(64, 2), back(2048);
  EXPECT_EQ(nand->NandWritePage(70, data.data()), 0);
  EXPECT_EQ(nand->NandReadPage(70, back.data()), 0);
  EXPECT_EQ(back, data);

  EXPECT_EQ(nand->NandWritePageSpare(71, data.data(), spare.data()), 0);
  EXPECT_EQ(board->nandController->Read(sim::kNandRegMode, 4), 0x503u);
  std::vector<uint8_t> raw = Chip().ReadRaw(71);
  EXPECT_TRUE(std::equal(spare.begin(), spare.begin() + 56, raw.begin() + 2048));

  UINT8 mark = 0;
  EXPECT_EQ(nand->NandGetFactoryMark(71, &mark), 0);
  EXPECT_EQ(mark, spare[0]);
  Chip().MarkFactoryBad(9);
  EXPECT_EQ(nand->NandGetFactoryMark(9 * 64 + 1, &mark), 0);
  EXPECT_EQ(mark, 0x00);
  EXPECT_EQ(nand->NandGetFactoryMark(9 * 64 + 2, &mark), 0);
  EXPECT_EQ(mark, 0xFF);

  EXPECT_EQ(nand->NandEraseBlock(1), 0);
  EXPECT_EQ(nand->NandReadPage(70, back.data()), 0);
  EXPECT_EQ(back, std::vector<uint8_t>(2048, 0xFF));
}

TEST_F(NandCtlTest, RangeAndBufferChecks) {
  std::vector<uint8_t> page(2048 + 64, 0x5A);
  UINT8 mark = 0;
  struct Case {
    const char *what;
    INT32 result;
    INT32 expected;
    const char *message;  // with a source line in front, or the exact text
    bool withLine;
  };
  const Case cases[] = {
      {"read past the end", nand->NandReadPage(kPages512MiB, page.data()), 1, "parameter error!\n", true},
      {"write past the end", nand->NandWritePage(kPages512MiB, page.data()), 1, "parameter error!\n", true},
      {"erase past the end", nand->NandEraseBlock(4096), 1, "parameter error!\n", true},
      {"read without buffer", nand->NandReadPage(0, nullptr), 3, "parameter error!\n", true},
      {"write without buffer", nand->NandWritePage(0, nullptr), 3, "parameter error!\n", true},
      {"ECC write past the end", nand->NandWritePageEcc(kPages512MiB, page.data(), 0), -1, "parameter error!\n", true},
      {"ECC write without buffer", nand->NandWritePageEcc(0, nullptr, 0), 3, "parameter error!\n", true},
      {"spare write past the end", nand->NandWritePageSpare(kPages512MiB, page.data(), page.data()), -1,
       "parameter error\n", false},
      {"spare write without spare", nand->NandWritePageSpare(0, page.data(), nullptr), -1, "parameter error\n", false},
      {"mark past the end", nand->NandGetFactoryMark(kPages512MiB, &mark), -1, "parameter error!\n", true},
      {"mark without output", nand->NandGetFactoryMark(0, nullptr), -1, "parameter error!\n", true},
  };
  // Each case printed its message once; none reached the controller.
  std::string console = Console();
  for (const Case &c : cases) {
    EXPECT_EQ(c.result, c.expected) << c.what;
    if (!c.withLine) {
      EXPECT_NE(console.find(std::string("\n") + c.message), std::string::npos) << c.what;
    }
  }
  const std::regex withLine("\\[[0-9]+L\\]parameter error!\n");
  EXPECT_EQ(std::distance(std::sregex_iterator(console.begin(), console.end(), withLine), std::sregex_iterator()), 9);
  EXPECT_TRUE(Trace().empty());

  // The last page and the last block are on the chip.
  EXPECT_EQ(nand->NandWritePage(kPages512MiB - 1, page.data()), 0);
  EXPECT_EQ(nand->NandReadPage(kPages512MiB - 1, page.data()), 0);
  EXPECT_EQ(nand->NandEraseBlock(4095), 0);
}

TEST_F(NandCtlTest, ChipFailuresReturnTheStatusBits) {
  std::vector<uint8_t> data = Pattern(2048, 3), spare(64, 0x11);
  Chip().Faults().FailProgram(sim::NandUnit::Block(2), 0xE3);
  EXPECT_EQ(nand->NandWritePage(2 * 64, data.data()), 0xE3);
  EXPECT_EQ(nand->NandWritePageSpare(2 * 64 + 1, data.data(), spare.data()), 0xE3);
  EXPECT_EQ(nand->NandWritePageEcc(2 * 64 + 2, data.data(), 1), 0xE3);
  Chip().Faults().FailErase(5, 0xC1);
  EXPECT_EQ(nand->NandEraseBlock(5), 0xC1);
  EXPECT_EQ(Chip().Totals().programs + Chip().Totals().erases, 0u);
}

TEST_F(NandCtlTest, UncorrectableReadIsAFailure) {
  std::vector<uint8_t> data = Pattern(2048, 4), back(2048);
  ASSERT_EQ(nand->NandWritePage(300, data.data()), 0);
  Chip().Faults().FlipBitsOnRead(sim::NandUnit::Page(300), 4, sim::NandArea::Data, 1);
  EXPECT_EQ(nand->NandReadPage(300, back.data()), 0);
  EXPECT_EQ(back, data);
  Chip().Faults().MakeUncorrectable(sim::NandUnit::Page(300), sim::NandArea::Data, 1);
  EXPECT_EQ(nand->NandReadPage(300, back.data()), NAND_RESULT_ECC_UNCORRECTABLE);
}

TEST_F(NandCtlTest, TimeOutsGiveResultFiveWithTheirMessages) {
  std::vector<uint8_t> data = Pattern(2048, 5);
  Chip().Faults().HangNextOperations(1);
  uint64_t start = board->clock.NowNs();
  EXPECT_EQ(nand->NandReadPage(0, data.data()), NAND_RESULT_TIMEOUT);
  // The wait gives up after 10,000,001 status reads.
  EXPECT_GE(board->bus.AccessCount(), 10000001u);
  EXPECT_GE(board->clock.NowNs() - start, 10000001ull * 50);
  EXPECT_TRUE(PrintedWithLine("fail:nand flash operation is time out!\n"));

  Chip().Faults().HangNextOperations(1);
  EXPECT_EQ(nand->NandWritePage(0, data.data()), NAND_RESULT_TIMEOUT);
  EXPECT_TRUE(PrintedWithLine("NANDC_WaitOpDone return ERROR!\n"));

  // The ECC engine's wait is bounded like every other.
  Chip().Faults().HangNextOperations(1);
  EXPECT_EQ(nand->NandWritePageEcc(1, data.data(), 0), NAND_RESULT_TIMEOUT);
  EXPECT_EQ(Chip().Totals().programs, 0u);
}

TEST_F(NandCtlTest, WritePageEccProgramsPageAndCodesAndLeavesACopy) {
  // A spare read leaves bytes in the buffer; they must not be programmed.
  std::vector<uint8_t> junk = Pattern(2048 + 64, 6);
  ASSERT_EQ(nand->NandWritePageSpare(10, junk.data(), junk.data() + 2048), 0);
  UINT8 mark;
  ASSERT_EQ(nand->NandGetFactoryMark(10, &mark), 0);

  std::vector<uint8_t> data = Pattern(2048, 7);
  EXPECT_EQ(nand->NandWritePageEcc(11, data.data(), 2), 0);
  std::vector<uint8_t> back(2048 + 64);
  UINT32 flips = 0;
  EXPECT_EQ(pages->ReadWithSpare(11, 0, 2048 + 64, back.data(), &flips), 0);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin()));
  EXPECT_EQ(std::vector<uint8_t>(back.begin() + 2048, back.end()), std::vector<uint8_t>(64, 0xFF));

  const uint8_t *copy = board->memory.Map(0x08100000, 2048 + 64);
  ASSERT_NE(copy, nullptr);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), copy));
  uint32_t code;
  std::memcpy(&code, copy + 2048 + 56, 4);
  EXPECT_EQ(code, sim::NandEccCode(data.data(), 2048));
  EXPECT_EQ(Trace().back().mode, 0x103u);
}

class NandCtlLongAddressTest : public NandCtlTest {
 protected:
  NandCtlLongAddressTest() : NandCtlTest(0xD3) {}  // 1 GiB, layout from ID byte 3
};

TEST_F(NandCtlLongAddressTest, ByteAddress0x20000000AndAboveUseTheLongCodes) {
  const uint32_t first = 0x20000000u / 2048;
  std::vector<uint8_t> data = Pattern(2048, 8), back(2048);
  EXPECT_EQ(g_pstNandDevice->ulChipSizeMiB, 1024u);
  ASSERT_EQ(nand->NandWritePage(first - 1, data.data()), 0);
  ASSERT_EQ(nand->NandWritePage(first, data.data()), 0);
  ASSERT_EQ(nand->NandReadPage(first, back.data()), 0);
  UINT8 mark;
  ASSERT_EQ(nand->NandGetFactoryMark(first, &mark), 0);
  ASSERT_EQ(nand->NandEraseBlock(first / 64 - 1), 0);
  ASSERT_EQ(nand->NandEraseBlock(first / 64), 0);
  EXPECT_EQ(Codes(), (std::vector<uint32_t>{0x7D, 0xFD, 0xEE, 0xEE, 0x6D, 0xED}));
  for (const sim::NandCtlOperation &op : Trace()) EXPECT_EQ(op.operation & 0xF00, 0xA00u);
  EXPECT_EQ(Trace()[1].addressHigh, first >> 16);
  EXPECT_EQ(back, data);

  // The chip is 1 GiB (not twice that): its last page is the last accepted.
  const uint32_t count = 1024u * 512;
  EXPECT_EQ(nand->NandWritePage(count - 1, data.data()), 0);
  EXPECT_EQ(nand->NandWritePage(count, data.data()), 1);
}

class NandCtlSectorTest : public NandCtlTest {
 protected:
  NandCtlSectorTest() : NandCtlTest(0xD5) {}  // 2 GiB, 8192 + 32 byte pages
};

TEST_F(NandCtlSectorTest, PagesMoveAsFourSectors) {
  std::vector<uint8_t> data = Pattern(8192, 9), spare = Pattern(32, 10), back(8192);
  ASSERT_EQ(nand->NandWritePageSpare(1000, data.data(), spare.data()), 0);
  EXPECT_EQ(Codes(), (std::vector<uint32_t>{0x70, 0x10, 0x10, 0x1D}));
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(Trace()[i].length, 2056u);
    EXPECT_EQ(Trace()[i].sector, i == 3 ? 1u : 0u);
    EXPECT_EQ(Trace()[i].mode, 0x107u);
  }
  std::vector<uint8_t> raw = Chip().ReadRaw(1000);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), raw.begin()));
  EXPECT_TRUE(std::equal(spare.begin(), spare.begin() + 24, raw.begin() + 8192));

  board->nandController->ClearTrace();
  ASSERT_EQ(nand->NandReadPage(1000, back.data()), 0);
  EXPECT_EQ(Codes(), (std::vector<uint32_t>{0x6E, 0x02, 0x02, 0x02}));
  EXPECT_EQ(Trace()[0].length, 2048u);
  EXPECT_EQ(Trace()[3].sector, 1u);
  EXPECT_EQ(back, data);

  // A whole page with spare through the page device: 2056-byte steps.
  board->nandController->ClearTrace();
  std::vector<uint8_t> whole(8192 + 32);
  UINT32 flips = 0;
  ASSERT_EQ(pages->ReadWithSpare(1000, 0, 8192 + 32, whole.data(), &flips), 0);
  EXPECT_EQ(Trace()[0].length, 2056u);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), whole.begin()));
  EXPECT_TRUE(std::equal(spare.begin(), spare.begin() + 24, whole.begin() + 8192));

  // Sector pages are never long-address codes, even beyond 0x20000000.
  board->nandController->ClearTrace();
  ASSERT_EQ(nand->NandWritePage(0x20000000u / 8192 + 5, data.data()), 0);
  EXPECT_EQ(Codes(), (std::vector<uint32_t>{0x70, 0x10, 0x10, 0x1D}));
  EXPECT_EQ(nand->NandWritePageEcc(3, data.data(), 0), -1);
  EXPECT_NE(Console().find("don't support this page_size: 2000 !\n\r"), std::string::npos);
}

TEST_F(NandCtlSectorTest, SectorReadsHonourStatusAndEcc) {
  std::vector<uint8_t> data = Pattern(8192, 11), back(8192);
  ASSERT_EQ(nand->NandWritePage(40, data.data()), 0);
  Chip().Faults().MakeUncorrectable(sim::NandUnit::Page(40), sim::NandArea::Data, 1);
  EXPECT_EQ(nand->NandReadPage(40, back.data()), NAND_RESULT_ECC_UNCORRECTABLE);
  EXPECT_NE(back, data);  // the bytes as read are still delivered

  Chip().Faults().HangNextOperations(1);
  EXPECT_EQ(nand->NandReadPage(40, back.data()), NAND_RESULT_TIMEOUT);

  // With spare the steps go through a pool buffer; no pool, no read.
  std::vector<uint8_t> whole(8192 + 32);
  board->core.FailAllocationAfter(1);
  EXPECT_EQ(pages->ReadWithSpare(40, 0, 8192 + 32, whole.data(), nullptr), NAND_RESULT_NO_MEMORY);
  EXPECT_TRUE(PrintedWithLine("malloc error\n"));
}

}  // namespace
}  // namespace simtest
