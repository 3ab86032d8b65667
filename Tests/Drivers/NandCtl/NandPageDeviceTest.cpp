// The page-level routines of the NAND page device protocol, as a flash
// file system uses them: any columns of a page, corrected and
// uncorrectable reads, the bad-block mark over a written page.
#include "NandCtlFixture.h"

namespace simtest {
namespace {

TEST_F(NandCtlTest, ColumnsOfAPageAndItsSpareRoundTrip) {
  std::vector<uint8_t> page = Pattern(2048 + 44, 1);  // data and a 44-byte tag in one transfer
  ASSERT_EQ(pages->WriteWithSpare(77, 0, 2048 + 44, page.data()), 0);

  std::vector<uint8_t> data(2048), tag(44), middle(10);
  UINT32 flips = 0;
  EXPECT_EQ(pages->ReadWithSpare(77, 0, 2048, data.data(), &flips), 0);
  EXPECT_EQ(pages->ReadWithSpare(77, 2048, 44, tag.data(), &flips), 0);
  EXPECT_EQ(pages->ReadWithSpare(77, 100, 10, middle.data(), nullptr), 0);
  EXPECT_EQ(flips, 0u);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), page.begin()));
  EXPECT_TRUE(std::equal(tag.begin(), tag.end(), page.begin() + 2048));
  EXPECT_TRUE(std::equal(middle.begin(), middle.end(), page.begin() + 100));
  std::vector<uint8_t> spare(64);
  EXPECT_EQ(pages->ReadSpare(77, spare.data(), nullptr), 0);
  EXPECT_EQ(std::vector<uint8_t>(spare.begin() + 44, spare.end()), std::vector<uint8_t>(20, 0xFF));

  // A bad-block mark over the written page: a spare-only write is allowed
  // and the mark's first byte reads back.
  std::vector<uint8_t> mark(44, 0x00);
  mark[0] = 0x31;
  EXPECT_EQ(pages->WriteWithSpare(77, 2048, 44, mark.data()), 0);
  tag.assign(44, 0);
  pages->ReadWithSpare(77, 2048, 44, tag.data(), nullptr);
  EXPECT_NE(tag[0], 0xFF);
  EXPECT_EQ(Chip().ProgramViolations(), 0u);

  // Whole-page routines.
  std::vector<uint8_t> other = Pattern(2048, 2), back(2048);
  EXPECT_EQ(pages->Write(78, other.data()), 0);
  EXPECT_EQ(pages->Read(78, back.data(), nullptr), 0);
  EXPECT_EQ(back, other);
  EXPECT_EQ(pages->WriteSpare(78, spare.data()), 0);
  EXPECT_EQ(pages->Erase(1), 0);
  EXPECT_EQ(pages->Read(78, back.data(), nullptr), 0);
  EXPECT_EQ(back, std::vector<uint8_t>(2048, 0xFF));
  EXPECT_EQ(pages->Set2kMode(), 0);
  EXPECT_EQ(board->nandController->Read(sim::kNandRegMode, 4), 0x103u);
}

TEST_F(NandCtlTest, CorrectedReadsSetTheFlagAndUncorrectableOnesFail) {
  std::vector<uint8_t> page = Pattern(2048 + 44, 3), back(2048 + 44);
  ASSERT_EQ(pages->WriteWithSpare(90, 0, 2048 + 44, page.data()), 0);

  UINT32 flips = 0;
  Chip().Faults().FlipBitsOnRead(sim::NandUnit::Page(90), 2, sim::NandArea::Spare, 1);
  EXPECT_EQ(pages->ReadWithSpare(90, 2048, 44, back.data(), &flips), 0);
  EXPECT_EQ(flips, 1u);
  EXPECT_TRUE(std::equal(back.begin(), back.begin() + 44, page.begin() + 2048));
  // A clean read leaves the flag as it was.
  EXPECT_EQ(pages->ReadWithSpare(90, 0, 2048 + 44, back.data(), &flips), 0);
  EXPECT_EQ(flips, 1u);
  flips = 0;
  EXPECT_EQ(pages->ReadWithSpare(90, 0, 2048 + 44, back.data(), &flips), 0);
  EXPECT_EQ(flips, 0u);

  Chip().Faults().MakeUncorrectable(sim::NandUnit::Block(1), sim::NandArea::Data);
  EXPECT_EQ(pages->ReadWithSpare(90, 0, 2048 + 44, back.data(), &flips), NAND_RESULT_ECC_UNCORRECTABLE);
  EXPECT_NE(back, page);
  // The spare area has its own code: a tag read still succeeds.
  EXPECT_EQ(pages->ReadWithSpare(90, 2048, 44, back.data(), &flips), 0);
}

TEST_F(NandCtlTest, PageRoutinesCheckTheirArguments) {
  const uint32_t count = 4096 * 64;
  std::vector<uint8_t> buffer(2048 + 64);
  UINT8 mark;
  EXPECT_EQ(pages->ReadWithSpare(count, 0, 16, buffer.data(), nullptr), 1);
  EXPECT_EQ(pages->ReadWithSpare(0, 2048, 65, buffer.data(), nullptr), 1);
  EXPECT_EQ(pages->WriteWithSpare(0, 0xFFFFFFF0u, 32, buffer.data()), 1);
  EXPECT_EQ(pages->WriteWithSpare(0, 0, 2048, nullptr), 3);
  EXPECT_EQ(pages->Erase(4096), 1);
  EXPECT_EQ(pages->GetFactoryMark(count, &mark), 1);
  EXPECT_EQ(pages->GetFactoryMark(0, nullptr), 3);
  EXPECT_EQ(pages->ReadWithSpare(0, 10, 0, buffer.data(), nullptr), 0);
  EXPECT_TRUE(Trace().empty());

  EXPECT_EQ(pages->ReadWithSpare(count - 1, 0, 2048 + 64, buffer.data(), nullptr), 0);
  EXPECT_EQ(pages->GetFactoryMark(count - 1, &mark), 0);
  EXPECT_EQ(mark, 0xFF);
}

TEST_F(NandCtlTest, PageRoutinesPassOnChipFailuresAndTimeOuts) {
  std::vector<uint8_t> page = Pattern(2048 + 44, 4);
  Chip().Faults().FailProgram(sim::NandUnit::Page(5), 0xE1, 1);
  EXPECT_EQ(pages->WriteWithSpare(5, 0, 2048 + 44, page.data()), 0xE1);
  Chip().Faults().FailErase(0, 0xE1, 1);
  EXPECT_EQ(pages->Erase(0), 0xE1);
  Chip().Faults().HangOperations(sim::NandUnit::Page(6), 1);
  EXPECT_EQ(pages->ReadWithSpare(6, 0, 2048, page.data(), nullptr), NAND_RESULT_TIMEOUT);
}

TEST_F(NandCtlTest, EveryOperationCostsTheChipsTime) {
  std::vector<uint8_t> page = Pattern(2048 + 44, 5);
  Chip().ResetCounters();
  ASSERT_EQ(pages->Erase(3), 0);
  ASSERT_EQ(pages->WriteWithSpare(3 * 64, 0, 2048 + 44, page.data()), 0);
  ASSERT_EQ(pages->ReadWithSpare(3 * 64, 0, 2048 + 44, page.data(), nullptr), 0);
  sim::NandCounters block = Chip().BlockCounters(3);
  EXPECT_EQ(block.erases, 1u);
  EXPECT_EQ(block.programs, 1u);
  EXPECT_EQ(block.reads, 1u);
  EXPECT_EQ(block.bytesProgrammed, 2048u + 44);
  EXPECT_EQ(block.bytesRead, 2048u + 44);
  const sim::NandTiming &t = Chip().Timing();
  EXPECT_EQ(Chip().Busy().TotalNs(),
            t.blockEraseNs + t.pageProgramNs + t.pageReadNs + 2 * (2048 + 44) * t.transferNsPerByte);
}

}  // namespace
}  // namespace simtest
