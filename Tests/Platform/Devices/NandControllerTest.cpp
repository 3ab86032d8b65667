// The NAND controller model driven through its registers: transfers, the
// hidden ECC and its result register, the four-sector sequence, the
// long-address codes, faults as software sees them, and refused requests.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "Devices/NandController.h"

namespace sim {
namespace {

constexpr uint32_t kSetting = 0xA00;

std::vector<uint8_t> Pattern(size_t length, uint8_t seed) {
  std::vector<uint8_t> bytes(length);
  for (size_t i = 0; i < length; ++i) bytes[i] = uint8_t(seed * 31 + i * 7);
  return bytes;
}

class NandControllerTest : public ::testing::Test {
 protected:
  explicit NandControllerTest(const NandGeometry &geometry = NandGeometry::Custom(0xDC, 2048, 64, 4, 8))
      : chip(clock, geometry, "", 3), ctl(chip) {}

  const NandGeometry &G() const { return chip.Geometry(); }

  uint32_t Start(uint32_t mode, uint32_t command, uint32_t page, uint32_t column, uint32_t length, uint32_t code) {
    ctl.Write(kNandRegMode, 4, mode);
    ctl.Write(kNandRegCommand, 4, command);
    ctl.Write(kNandRegAddressLow, 4, (page << 16) | column);
    ctl.Write(kNandRegAddressHigh, 4, page >> 16);
    ctl.Write(kNandRegLength, 4, length);
    ctl.Write(kNandRegOperation, 4, kSetting | code);
    return ctl.Read(kNandRegStatus, 4);
  }
  uint32_t Program(uint32_t page, uint32_t column, const std::vector<uint8_t> &bytes, uint32_t code = 0x7D) {
    std::copy(bytes.begin(), bytes.end(), ctl.BufferBytes());
    return Start(0x103, 0x701080, page, column, uint32_t(bytes.size()), code);
  }
  std::vector<uint8_t> Read(uint32_t page, uint32_t column, uint32_t length, uint32_t command = 0x703000,
                            uint32_t code = 0x6F) {
    lastStatus = Start(0x103, command, page, column, length, code);
    return std::vector<uint8_t>(ctl.BufferBytes(), ctl.BufferBytes() + length);
  }
  uint32_t EccResult() { return ctl.Read(kNandRegEccResult, 4); }
  uint32_t Erase(uint32_t block, uint32_t code = 0x6D) {
    ctl.Write(kNandRegCommand, 4, 0x70D060);
    ctl.Write(kNandRegAddressLow, 4, block * G().pagesPerBlock);
    ctl.Write(kNandRegAddressHigh, 4, 0);
    ctl.Write(kNandRegOperation, 4, kSetting | code);
    return ctl.Read(kNandRegStatus, 4);
  }

  VirtualClock clock;
  NandChip chip;
  NandController ctl;
  uint32_t lastStatus = 0;
};

constexpr uint32_t kDone = 1 | (uint32_t(kNandStatusReady) << 5);
constexpr uint32_t kFailed = 1 | ((kNandStatusReady | kNandStatusFail) << 5);

TEST_F(NandControllerTest, SpareReadsBackAsWrittenWhileTheEccHidesInIt) {
  std::vector<uint8_t> page = Pattern(G().RawPageSize(), 1);  // software fills every spare byte
  ASSERT_EQ(Program(6, 0, page), kDone);

  std::vector<uint8_t> back = Read(6, 0, G().RawPageSize());
  EXPECT_EQ(lastStatus, kDone);
  EXPECT_EQ(EccResult(), 0u);
  const uint32_t free = G().RawPageSize() - kNandEccBytes;
  EXPECT_TRUE(std::equal(page.begin(), page.begin() + free, back.begin()));
  EXPECT_EQ(std::vector<uint8_t>(back.begin() + free, back.end()), std::vector<uint8_t>(kNandEccBytes, 0xFF));
  // The codes are on the chip, not what software wrote there.
  std::vector<uint8_t> raw = chip.ReadRaw(6);
  EXPECT_NE(std::vector<uint8_t>(raw.begin() + free, raw.end()),
            std::vector<uint8_t>(page.begin() + free, page.end()));

  // A spare-only read sees the same bytes; so does a raw read.
  std::vector<uint8_t> spare = Read(6, G().pageSize, G().spareSize);
  EXPECT_TRUE(std::equal(spare.begin(), spare.end(), back.begin() + G().pageSize));
  EXPECT_EQ(Read(6, G().pageSize, G().spareSize, 0x3000), spare);
}

struct DisturbCase {
  const char *name;
  NandArea area;
  bool uncorrectable;
  unsigned bits;
  uint32_t column, length;  // the columns read
  uint32_t expectedResult;
};

class NandControllerDisturbTest : public NandControllerTest, public ::testing::WithParamInterface<DisturbCase> {};

TEST_P(NandControllerDisturbTest, EccCorrectsWhatItCanAndReportsTheRest) {
  const DisturbCase &c = GetParam();
  std::vector<uint8_t> page = Pattern(G().RawPageSize() - kNandEccBytes, 2);
  ASSERT_EQ(Program(9, 0, page), kDone);
  if (c.uncorrectable) {
    chip.Faults().MakeUncorrectable(NandUnit::Page(9), c.area, 1);
  } else {
    chip.Faults().FlipBitsOnRead(NandUnit::Page(9), c.bits, c.area, 1);
  }
  std::vector<uint8_t> got = Read(9, c.column, c.length);
  EXPECT_EQ(lastStatus, kDone);
  EXPECT_EQ(EccResult(), c.expectedResult);
  bool intact = std::equal(got.begin(), got.end(), page.begin() + c.column);
  EXPECT_EQ(intact, (c.expectedResult & kNandEccResultUncorrectable) == 0);
  // The disturb was for one read only.
  Read(9, c.column, c.length);
  EXPECT_EQ(EccResult(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NandControllerDisturbTest,
    ::testing::Values(DisturbCase{"DataFlipsCorrected", NandArea::Data, false, 3, 0, 2048, 3},
                      DisturbCase{"AsManyAsTheEccCorrects", NandArea::Data, false, kNandEccCorrectableBits, 0,
                                  2048, kNandEccCorrectableBits},
                      DisturbCase{"OneBeyondIsUncorrectable", NandArea::Data, false, kNandEccCorrectableBits + 1, 0,
                                  2048, kNandEccResultUncorrectable},
                      DisturbCase{"UncorrectableData", NandArea::Data, true, 0, 0, 2048,
                                  kNandEccResultUncorrectable},
                      DisturbCase{"SpareFlipsCorrected", NandArea::Spare, false, 2, 2048, 56, 2},
                      DisturbCase{"UncorrectableSpareSeenInSpareRead", NandArea::Spare, true, 0, 2048, 56,
                                  kNandEccResultUncorrectable}),
    [](const ::testing::TestParamInfo<DisturbCase> &info) { return std::string(info.param.name); });

TEST_F(NandControllerTest, SpareOnlyProgramAfterDataKeepsBothAreasReadable) {
  std::vector<uint8_t> data = Pattern(G().pageSize, 3);
  ASSERT_EQ(Program(10, 0, data), kDone);
  std::vector<uint8_t> mark(G().spareSize, 0x00);
  mark[0] = 0x31;
  ASSERT_EQ(Program(10, G().pageSize, mark), kDone);
  std::vector<uint8_t> back = Read(10, 0, G().RawPageSize());
  EXPECT_EQ(EccResult(), 0u);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin()));
  EXPECT_EQ(back[G().pageSize], 0x31);
}

TEST_F(NandControllerTest, TwiceProgrammedOrTornPagesFailTheEcc) {
  ASSERT_EQ(Program(11, 0, Pattern(G().pageSize, 4)), kDone);
  EXPECT_EQ(Program(11, 0, Pattern(G().pageSize, 5)), kFailed);  // the chip reports the second program
  Read(11, 0, G().pageSize);
  EXPECT_EQ(EccResult(), kNandEccResultUncorrectable);

  chip.Faults().CutPowerAt(1, NandPowerCutMode::Torn, NandPowerCutTarget::Program);
  // Nothing with a destructor may live in the frames a power cut skips.
  const std::vector<uint8_t> torn = Pattern(G().RawPageSize(), 6);
  RunEnd end = RunGuarded([&] { Program(12, 0, torn); });
  EXPECT_EQ(end.outcome, RunOutcome::PowerCut);
  Read(12, 0, G().RawPageSize());
  EXPECT_EQ(EccResult(), kNandEccResultUncorrectable);
}

TEST_F(NandControllerTest, ChipFailuresAppearInStatusBitsFiveToTwelve) {
  chip.Faults().FailProgram(NandUnit::Block(3), 0xE3);
  EXPECT_EQ(Program(13, 0, Pattern(64, 7)), 1u | (0xE3u << 5));
  chip.Faults().FailErase(2, 0xC1);
  EXPECT_EQ(Erase(2), 1u | (0xC1u << 5));
  EXPECT_EQ(Erase(1), 1u | (uint32_t(kNandStatusReady) << 5));
  EXPECT_TRUE(ctl.ProtocolErrors().empty());
}

TEST_F(NandControllerTest, HungOperationNeverSetsDoneUntilTheNextStarts) {
  chip.Faults().HangOperations(NandUnit::Page(2), 1);
  EXPECT_EQ(Read(2, 0, 16).size(), 16u);
  EXPECT_EQ(lastStatus & 1, 0u);
  EXPECT_EQ(ctl.Read(kNandRegStatus, 4) & 1, 0u);
  Read(2, 0, 16);
  EXPECT_EQ(lastStatus, kDone);

  chip.Faults().HangNextOperations(1);
  ctl.Write(kNandRegEccEngine, 4, 1);
  EXPECT_EQ(ctl.Read(kNandRegEccEngine, 4), 0u);
  ctl.Write(kNandRegEccEngine, 4, 1);
  EXPECT_EQ(ctl.Read(kNandRegEccEngine, 4), 1u);
}

TEST_F(NandControllerTest, EccEngineWritesTheCodesIntoTheBuffersSpare) {
  std::vector<uint8_t> page = Pattern(G().RawPageSize(), 8);
  std::copy(page.begin(), page.end(), ctl.BufferBytes());
  ctl.Write(kNandRegEccEngine, 4, 1);
  EXPECT_EQ(ctl.Read(kNandRegEccEngine, 4), 1u);
  NandEccLayout layout{G().pageSize, G().spareSize};
  uint32_t code;
  std::memcpy(&code, ctl.BufferBytes() + layout.DataCodeOffset(), 4);
  EXPECT_EQ(code, NandEccCode(page.data(), G().pageSize));
  EXPECT_TRUE(std::equal(page.begin(), page.begin() + layout.DataCodeOffset(), ctl.BufferBytes()));
}

TEST_F(NandControllerTest, ResetAndReadId) {
  ctl.Write(kNandRegCommand, 4, 0xFF);
  ctl.Write(kNandRegOperation, 4, 0x44);
  EXPECT_EQ(ctl.Read(kNandRegStatus, 4), kDone);
  ctl.Write(kNandRegLength, 4, 4);
  ctl.Write(kNandRegCommand, 4, 0x90);
  ctl.Write(kNandRegOperation, 4, 0x266);
  EXPECT_EQ(ctl.Read(kNandRegStatus, 4), kDone);
  EXPECT_EQ(std::vector<uint8_t>(ctl.BufferBytes(), ctl.BufferBytes() + 4),
            (std::vector<uint8_t>{kNandMakerCode, 0xDC, 0x10, kNandIdByte3Large}));
}

TEST_F(NandControllerTest, RefusesRequestsItCannotCarryOut) {
  struct Bad {
    uint32_t mode, command, page, column, length, code;
  };
  const Bad cases[] = {
      {0x103, 0x703000, 0, 0, 2048, 0xEE},        // long code below 0x20000000
      {0x103, 0x703000, 32, 0, 16, 0x6F},         // row beyond the chip
      {0x103, 0x703000, 0, 2000, 200, 0x6F},      // beyond the page and spare
      {0x103, 0x123456, 0, 0, 16, 0x6F},          // unknown command
      {0x103, 0x703000, 0, 0, 2048, 0x6E},        // sector code outside four-sector mode
      {0x107, 0x703000, 0, 0, 2048, 0x02},        // next sector without a first
      {0x107, 0x701080, 0, 0, 2048, 0x1D},        // last sector without a first
      {0x103, 0x703000, 0, 0, 16, 0x55},          // no such operation
  };
  for (const Bad &c : cases) {
    size_t before = ctl.ProtocolErrors().size();
    EXPECT_EQ(Start(c.mode, c.command, c.page, c.column, c.length, c.code), kFailed) << std::hex << c.code;
    EXPECT_EQ(ctl.ProtocolErrors().size(), before + 1);
  }
  ctl.Write(kNandRegCommand, 4, 0x70D060);
  ctl.Write(kNandRegAddressLow, 4, 5);  // not a block's first row
  ctl.Write(kNandRegOperation, 4, kSetting | 0x6D);
  EXPECT_EQ(ctl.Read(kNandRegStatus, 4), kFailed);
  EXPECT_EQ(chip.Totals().programs + chip.Totals().erases + chip.Totals().reads, 0u);
}

class NandSectorControllerTest : public NandControllerTest {
 protected:
  NandSectorControllerTest() : NandControllerTest(NandGeometry::Custom(0xD5, 8192, 32, 4, 4)) {}
};

TEST_F(NandSectorControllerTest, FourSectorStepsMoveThePageAndSpareInChipOrder) {
  const uint32_t step = 2048 + 8;
  std::vector<uint8_t> page = Pattern(G().RawPageSize() - kNandEccBytes, 9);
  page.resize(G().RawPageSize(), 0xFF);
  ctl.Write(kNandRegMode, 4, 0x107);
  ctl.Write(kNandRegCommand, 4, 0x701080);
  ctl.Write(kNandRegAddressLow, 4, 5u << 16);
  ctl.Write(kNandRegAddressHigh, 4, 0);
  ctl.Write(kNandRegLength, 4, step);
  const uint32_t programCodes[] = {0x70, 0x10, 0x10, 0x1D};
  for (uint32_t s = 0; s < 4; ++s) {
    std::copy(page.begin() + s * step, page.begin() + (s + 1) * step, ctl.BufferBytes());
    ctl.Write(kNandRegSector, 4, s == 3 ? 1 : 0);
    ctl.Write(kNandRegOperation, 4, kSetting | programCodes[s]);
    ASSERT_EQ(ctl.Read(kNandRegStatus, 4), kDone) << s;
    EXPECT_EQ(chip.Totals().programs, s == 3 ? 1u : 0u);  // the chip programs at the last step
  }
  std::vector<uint8_t> raw = chip.ReadRaw(5);
  EXPECT_TRUE(std::equal(page.begin(), page.end() - kNandEccBytes, raw.begin()));

  ctl.Write(kNandRegCommand, 4, 0x703000);
  std::vector<uint8_t> back;
  const uint32_t readCodes[] = {0x6E, 0x02, 0x02, 0x02};
  for (uint32_t s = 0; s < 4; ++s) {
    ctl.Write(kNandRegOperation, 4, kSetting | readCodes[s]);
    ASSERT_EQ(ctl.Read(kNandRegStatus, 4), kDone) << s;
    back.insert(back.end(), ctl.BufferBytes(), ctl.BufferBytes() + step);
  }
  EXPECT_EQ(back, page);
  EXPECT_EQ(EccResult(), 0u);
  EXPECT_EQ(chip.Totals().reads, 1u);  // one page load for four steps
  EXPECT_TRUE(ctl.ProtocolErrors().empty());
}

class NandLongAddressControllerTest : public NandControllerTest {
 protected:
  NandLongAddressControllerTest() : NandControllerTest(NandGeometry::ForDeviceCode(0xD3)) {}
};

TEST_F(NandLongAddressControllerTest, LongCodesFromByteAddress0x20000000) {
  const uint32_t firstLongPage = kNandLongAddress / 2048;  // 262144, past 16 row bits too
  EXPECT_EQ(Program(firstLongPage, 0, Pattern(2048, 1), 0xFD), kDone);
  EXPECT_EQ(Read(firstLongPage, 0, 2048, 0x703000, 0xEE), Pattern(2048, 1));
  EXPECT_EQ(Program(firstLongPage - 1, 0, Pattern(2048, 2), 0x7D), kDone);
  EXPECT_TRUE(ctl.ProtocolErrors().empty());
  EXPECT_EQ(chip.ReadRaw(firstLongPage)[0], Pattern(2048, 1)[0]);

  EXPECT_EQ(Read(firstLongPage, 0, 16, 0x703000, 0x6F).size(), 16u);
  EXPECT_EQ(lastStatus, kFailed);
  EXPECT_EQ(Erase(firstLongPage / 64, 0xED), 1u | (uint32_t(kNandStatusReady) << 5));
  EXPECT_EQ(Erase(firstLongPage / 64 - 1, 0xED), kFailed);
  EXPECT_EQ(ctl.ProtocolErrors().size(), 2u);
}

}  // namespace
}  // namespace sim
