// The NAND chip model: program and erase semantics, factory-bad blocks,
// sparse storage and the image file, counters and timing, power cuts.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Devices/NandChip.h"
#include "Devices/NandEcc.h"

namespace sim {
namespace {

NandGeometry SmallChip() { return NandGeometry::Custom(0xDC, 2048, 64, 4, 8); }

std::vector<uint8_t> Pattern(size_t length, uint8_t seed) {
  std::vector<uint8_t> bytes(length);
  for (size_t i = 0; i < length; ++i) bytes[i] = uint8_t(seed + i * 7);
  return bytes;
}

// A raw page image: data bytes, the rest erased.
std::vector<uint8_t> DataOnly(const NandGeometry &g, uint8_t seed) {
  std::vector<uint8_t> raw(g.RawPageSize(), 0xFF);
  std::vector<uint8_t> data = Pattern(g.pageSize, seed);
  std::copy(data.begin(), data.end(), raw.begin());
  return raw;
}

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/nandchip-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string File(const char *name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

class NandChipTest : public ::testing::Test {
 protected:
  VirtualClock clock;
  NandChip chip{clock, SmallChip()};
};

TEST_F(NandChipTest, ProgramClearsBitsOnlyAndEraseSetsTheWholeBlockToFF) {
  const NandGeometry &g = chip.Geometry();
  std::vector<uint8_t> first = DataOnly(g, 1);
  EXPECT_EQ(chip.ProgramPage(5, first.data(), true), kNandStatusReady);

  // A second program that writes only spare columns is allowed; cells keep
  // old AND new.
  std::vector<uint8_t> spare(g.RawPageSize(), 0xFF);
  spare[g.pageSize] = 0x31;
  spare[g.pageSize + 1] = 0xF0;
  EXPECT_EQ(chip.ProgramPage(5, spare.data(), false), kNandStatusReady);
  spare[g.pageSize] = 0x0F;
  EXPECT_EQ(chip.ProgramPage(5, spare.data(), false), kNandStatusReady);
  std::vector<uint8_t> raw = chip.ReadRaw(5);
  EXPECT_EQ(raw[g.pageSize], 0x01);
  EXPECT_EQ(raw[g.pageSize + 1], 0xF0);
  EXPECT_TRUE(std::equal(first.begin(), first.begin() + g.pageSize, raw.begin()));

  // Programming the data area again is an error the chip reports; the
  // cells still take what they can (old AND new).
  std::vector<uint8_t> second = DataOnly(g, 2);
  EXPECT_EQ(chip.ProgramPage(5, second.data(), true), kNandStatusReady | kNandStatusFail);
  EXPECT_EQ(chip.ProgramViolations(), 1u);
  raw = chip.ReadRaw(5);
  for (uint32_t i = 0; i < g.pageSize; ++i) ASSERT_EQ(raw[i], uint8_t(first[i] & second[i])) << i;

  // Erase: the block (pages 4..7) is 0xFF again, its neighbours untouched.
  ASSERT_EQ(chip.ProgramPage(8, first.data(), true), kNandStatusReady);
  EXPECT_EQ(chip.EraseBlock(1), kNandStatusReady);
  for (uint32_t page = 4; page < 8; ++page) EXPECT_EQ(chip.ReadRaw(page), std::vector<uint8_t>(g.RawPageSize(), 0xFF));
  EXPECT_EQ(chip.ReadRaw(8), first);
  // After the erase the page may be programmed again.
  EXPECT_EQ(chip.ProgramPage(5, second.data(), true), kNandStatusReady);
}

TEST_F(NandChipTest, FactoryBadBlockCarriesItsMarkAndRefusesEraseAndProgram) {
  const NandGeometry &g = chip.Geometry();
  chip.MarkFactoryBad(3);
  EXPECT_TRUE(chip.IsFactoryBad(3));
  EXPECT_EQ(chip.ReadRaw(12)[g.pageSize], 0x00);
  EXPECT_EQ(chip.ReadRaw(13)[g.pageSize], 0x00);
  EXPECT_EQ(chip.ReadRaw(14)[g.pageSize], 0xFF);
  EXPECT_EQ(chip.EraseBlock(3), kNandStatusReady | kNandStatusFail);
  EXPECT_EQ(chip.ReadRaw(12)[g.pageSize], 0x00);
  std::vector<uint8_t> data = DataOnly(g, 3);
  EXPECT_EQ(chip.ProgramPage(14, data.data(), true), kNandStatusReady | kNandStatusFail);
}

TEST(NandChipStorage, UntouchedBlocksCostNothing) {
  VirtualClock clock;
  NandChip chip(clock, NandGeometry::ForDeviceCode(0xDC));
  EXPECT_EQ(chip.Geometry().ChipBytes(), 512ull << 20);
  EXPECT_EQ(chip.BlocksInMemory(), 0u);
  std::vector<uint8_t> data = DataOnly(chip.Geometry(), 4);
  ASSERT_EQ(chip.ProgramPage(4095 * 64 + 63, data.data(), true), kNandStatusReady);
  EXPECT_EQ(chip.BlocksInMemory(), 1u);
  ASSERT_EQ(chip.EraseBlock(4095), kNandStatusReady);
  EXPECT_EQ(chip.BlocksInMemory(), 0u);
}

TEST(NandChipStorage, ImageFileKeepsDataSpareAndFactoryMarksAndStaysSparse) {
  TempDir dir;
  const std::string path = dir.File("nand.img");
  const NandGeometry geometry = NandGeometry::ForDeviceCode(0xDC);
  std::vector<uint8_t> raw = DataOnly(geometry, 9);
  raw[geometry.pageSize + 5] = 0x42;
  {
    VirtualClock clock;
    NandChip chip(clock, geometry, path);
    ASSERT_EQ(chip.ProgramPage(200 * 64 + 3, raw.data(), true), kNandStatusReady);
    ASSERT_EQ(chip.ProgramPage(201 * 64, raw.data(), true), kNandStatusReady);
    ASSERT_EQ(chip.EraseBlock(201), kNandStatusReady);
    chip.MarkFactoryBad(7);
  }
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_GT(uint64_t(st.st_size), 512ull << 20);           // the whole chip, as holes
  EXPECT_LT(uint64_t(st.st_blocks) * 512, 4ull << 20);     // but hardly any of it stored

  VirtualClock clock;
  NandChip again(clock, geometry, path);
  EXPECT_EQ(again.ReadRaw(200 * 64 + 3), raw);
  EXPECT_EQ(again.ReadRaw(201 * 64), std::vector<uint8_t>(geometry.RawPageSize(), 0xFF));
  EXPECT_EQ(again.ReadRaw(0), std::vector<uint8_t>(geometry.RawPageSize(), 0xFF));
  EXPECT_TRUE(again.IsFactoryBad(7));
  EXPECT_EQ(again.ReadRaw(7 * 64)[geometry.pageSize], 0x00);
  EXPECT_EQ(again.EraseBlock(7), kNandStatusReady | kNandStatusFail);

  // An image of another chip type is refused.
  EXPECT_THROW(NandChip(clock, NandGeometry::ForDeviceCode(0xF1), path), std::runtime_error);
}

TEST_F(NandChipTest, CountsPerBlockAndSumsTheChipsTimeOnTheClock) {
  const NandGeometry &g = chip.Geometry();
  NandTiming timing;
  timing.pageReadNs = 1000;
  timing.pageProgramNs = 20000;
  timing.blockEraseNs = 300000;
  timing.transferNsPerByte = 2;
  chip.SetTiming(timing);
  std::vector<uint8_t> raw = DataOnly(g, 5);
  std::vector<uint32_t> flips;
  uint64_t start = clock.NowNs();

  chip.Transfer(9, g.RawPageSize(), true);
  ASSERT_EQ(chip.ProgramPage(9, raw.data(), true), kNandStatusReady);
  chip.LoadPage(9, raw.data(), &flips);
  chip.Transfer(9, 100, false);
  chip.LoadPage(1, raw.data(), &flips);
  ASSERT_EQ(chip.EraseBlock(2), kNandStatusReady);
  ASSERT_EQ(chip.EraseBlock(2), kNandStatusReady);

  NandCounters block2 = chip.BlockCounters(2);
  EXPECT_EQ(block2.programs, 1u);
  EXPECT_EQ(block2.reads, 1u);
  EXPECT_EQ(block2.erases, 2u);
  EXPECT_EQ(block2.bytesProgrammed, g.RawPageSize());
  EXPECT_EQ(block2.bytesRead, 100u);
  EXPECT_EQ(chip.EraseCount(2), 2u);
  EXPECT_EQ(chip.BlockCounters(0).reads, 1u);
  EXPECT_EQ(chip.Totals().reads, 2u);

  const NandBusyTime &busy = chip.Busy();
  EXPECT_EQ(busy.readNs, 2000u);
  EXPECT_EQ(busy.programNs, 20000u);
  EXPECT_EQ(busy.eraseNs, 600000u);
  EXPECT_EQ(busy.transferNs, 2u * (g.RawPageSize() + 100));
  EXPECT_EQ(clock.NowNs() - start, busy.TotalNs());

  chip.ResetCounters();
  EXPECT_EQ(chip.Totals().erases, 0u);
  EXPECT_EQ(chip.Busy().TotalNs(), 0u);
}

TEST_F(NandChipTest, ReadDisturbsAreRepeatableUnderASeed) {
  auto flipsWithSeed = [](uint64_t seed) {
    VirtualClock clock;
    NandChip chip(clock, SmallChip(), "", seed);
    chip.Faults().FlipBitsOnRead(NandUnit::Block(1), 5, NandArea::Data, 2);
    std::vector<uint8_t> raw(chip.Geometry().RawPageSize());
    std::vector<uint32_t> flips, all;
    for (int i = 0; i < 3; ++i) {
      chip.LoadPage(6, raw.data(), &flips);
      all.insert(all.end(), flips.begin(), flips.end());
    }
    return all;
  };
  std::vector<uint32_t> a = flipsWithSeed(7);
  EXPECT_EQ(a.size(), 10u);  // two reads disturbed, the third clean
  EXPECT_EQ(a, flipsWithSeed(7));
  EXPECT_NE(a, flipsWithSeed(8));
  for (uint32_t bit : a) EXPECT_LT(bit / 8, 2048u);
}

struct PowerCutCase {
  const char *name;
  bool erase;
  NandPowerCutMode mode;
};

class NandPowerCutTest : public ::testing::TestWithParam<PowerCutCase> {};

TEST_P(NandPowerCutTest, CutAtTheNthOperationEndsTheRunAndLeavesTheModesState) {
  const PowerCutCase &c = GetParam();
  VirtualClock clock;
  NandChip chip(clock, SmallChip(), "", 11);
  const NandGeometry &g = chip.Geometry();
  std::vector<uint8_t> oldPage = DataOnly(g, 1);
  std::vector<uint8_t> newPage = DataOnly(g, 2);
  ASSERT_EQ(chip.ProgramPage(4, oldPage.data(), true), kNandStatusReady);  // block 1, page 0

  // The cut comes at the third counted operation; the two before it happen.
  chip.Faults().CutPowerAt(3, c.mode,
                           c.erase ? NandPowerCutTarget::Erase : NandPowerCutTarget::Program);
  unsigned done = 0;
  RunEnd end = RunGuarded([&] {
    for (;;) {
      if (c.erase) {
        chip.EraseBlock(done < 2 ? 2 : 1);
      } else {
        chip.ProgramPage(done < 2 ? 8 + done : 5, newPage.data(), true);
      }
      ++done;
    }
  });
  EXPECT_EQ(end.outcome, RunOutcome::PowerCut);
  EXPECT_EQ(done, 2u);

  std::vector<uint8_t> erased(g.RawPageSize(), 0xFF);
  std::vector<uint8_t> after = chip.ReadRaw(c.erase ? 4 : 5);
  std::vector<uint8_t> before = c.erase ? oldPage : erased;
  std::vector<uint8_t> finished = c.erase ? erased : newPage;
  switch (c.mode) {
    case NandPowerCutMode::NotDone: EXPECT_EQ(after, before); break;
    case NandPowerCutMode::Completes: EXPECT_EQ(after, finished); break;
    case NandPowerCutMode::Torn:
      EXPECT_NE(after, before);
      EXPECT_NE(after, finished);
      for (size_t i = 0; i < after.size(); ++i) {
        // Torn cells lie between the old and the new state.
        ASSERT_EQ(after[i] & (before[i] & finished[i]), before[i] & finished[i]) << i;
        ASSERT_EQ(after[i] | (before[i] | finished[i]), before[i] | finished[i]) << i;
      }
      break;
  }
  // The cut is used up: the chip works again after the power comes back.
  EXPECT_EQ(chip.EraseBlock(3), kNandStatusReady);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, NandPowerCutTest,
    ::testing::Values(PowerCutCase{"ProgramNotDone", false, NandPowerCutMode::NotDone},
                      PowerCutCase{"ProgramTorn", false, NandPowerCutMode::Torn},
                      PowerCutCase{"ProgramCompletes", false, NandPowerCutMode::Completes},
                      PowerCutCase{"EraseNotDone", true, NandPowerCutMode::NotDone},
                      PowerCutCase{"EraseTorn", true, NandPowerCutMode::Torn},
                      PowerCutCase{"EraseCompletes", true, NandPowerCutMode::Completes}),
    [](const ::testing::TestParamInfo<PowerCutCase> &info) { return std::string(info.param.name); });

TEST_F(NandChipTest, ProgramAndEraseFailuresReportTheirStatusAndChangeNothing) {
  const NandGeometry &g = chip.Geometry();
  std::vector<uint8_t> data = DataOnly(g, 6);
  chip.Faults().FailProgram(NandUnit::Page(9), 0xE3, 1);
  EXPECT_EQ(chip.ProgramPage(9, data.data(), true), 0xE3);
  EXPECT_EQ(chip.ReadRaw(9), std::vector<uint8_t>(g.RawPageSize(), 0xFF));
  EXPECT_EQ(chip.ProgramPage(9, data.data(), true), kNandStatusReady);  // used up

  chip.Faults().FailErase(2);
  EXPECT_EQ(chip.EraseBlock(2), kNandStatusReady | kNandStatusFail);
  EXPECT_EQ(chip.EraseBlock(2), kNandStatusReady | kNandStatusFail);  // until cleared
  EXPECT_EQ(chip.ReadRaw(9), data);
  chip.Faults().Clear();
  EXPECT_EQ(chip.EraseBlock(2), kNandStatusReady);
}

}  // namespace
}  // namespace sim
