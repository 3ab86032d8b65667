// The flash access protocol over the boot flash model, called through its
// function pointers as the firmware does.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "Devices/FlashAccessProtocol.h"

namespace sim {
namespace {

constexpr uint32_t kBlock = kBootFlashBlockSize;

std::vector<uint8_t> Pattern(uint32_t length, uint32_t seed) {
  std::vector<uint8_t> out(length);
  for (uint32_t i = 0; i < length; ++i) out[i] = uint8_t((i * 131u + seed * 7u) ^ (i >> 8));
  return out;
}

class FlashAccessProtocolTest : public ::testing::Test {
 protected:
  std::vector<uint8_t> Bytes(uint32_t offset, uint32_t length) {
    std::vector<uint8_t> out(length);
    flash.Read(offset, out.data(), length);
    return out;
  }
  void FillBlocks(uint32_t firstBlock, uint32_t count, uint32_t seed) {
    std::vector<uint8_t> data = Pattern(count * kBlock, seed);
    flash.WriteRaw(firstBlock * kBlock, data.data(), uint32_t(data.size()));
  }
  EFI_STATUS Write(uint32_t offset, std::vector<uint8_t> data) {
    return fa->Write(fa, offset, data.data(), uint32_t(data.size()));
  }

  VirtualClock clock;
  BootFlash flash{clock};
  FlashAccessProtocol service{flash};
  FLASH_ACCESS_PROTOCOL *fa = service.Interface();
};

TEST_F(FlashAccessProtocolTest, WriteOverDataNeedingEraseKeepsTheRestOfTheBlock) {
  FillBlocks(3, 3, 1);
  std::vector<uint8_t> expected = Bytes(3 * kBlock, 3 * kBlock);
  const uint32_t offset = 4 * kBlock + 0x1234;
  std::vector<uint8_t> record = Pattern(1920, 9);
  std::copy(record.begin(), record.end(), expected.begin() + (offset - 3 * kBlock));
  flash.ResetCounters();

  ASSERT_EQ(Write(offset, record), EFI_SUCCESS);

  EXPECT_EQ(Bytes(3 * kBlock, 3 * kBlock), expected);
  EXPECT_EQ(flash.BlockCounters(4).erases, 1u);
  EXPECT_EQ(flash.BlockCounters(3).erases + flash.BlockCounters(5).erases, 0u);
  EXPECT_EQ(flash.Totals().programOps, kBlock / kBootFlashPageSize);
  EXPECT_EQ(clock.NowNs(), flash.Timing().blockEraseNs + (kBlock / kBootFlashPageSize) * flash.Timing().pageProgramNs);
}

TEST_F(FlashAccessProtocolTest, WriteThatOnlyClearsBitsProgramsWithoutErase) {
  // Erased space, then the same word again with more bits cleared, then the
  // very same bytes once more.
  const uint32_t offset = 0x400860;
  ASSERT_EQ(Write(offset, {0xCD, 0xAB, 0x34, 0x12}), EFI_SUCCESS);
  ASSERT_EQ(Write(offset, {0x00, 0xAB, 0x00, 0x12}), EFI_SUCCESS);
  EXPECT_EQ(flash.Totals().erases, 0u);
  EXPECT_EQ(flash.Totals().programOps, 2u);
  EXPECT_EQ(flash.Read32(offset), 0x1200AB00u);

  ASSERT_EQ(Write(offset, {0x00, 0xAB, 0x00, 0x12}), EFI_SUCCESS);
  EXPECT_EQ(flash.Totals().programOps, 2u);  // nothing to change

  // Back to all ones needs the erase; the neighbours of the word survive it.
  flash.Write32(offset - 4, 0x11111111);
  ASSERT_EQ(Write(offset, {0xFF, 0xFF, 0xFF, 0xFF}), EFI_SUCCESS);
  EXPECT_EQ(flash.Totals().erases, 1u);
  EXPECT_EQ(flash.Read32(offset), 0xFFFFFFFFu);
  EXPECT_EQ(flash.Read32(offset - 4), 0x11111111u);
}

TEST_F(FlashAccessProtocolTest, UnalignedWritesAcrossBlockBoundaries) {
  struct Case {
    uint32_t offset;
    uint32_t length;
  };
  const Case cases[] = {
      {5 * kBlock - 0x123, 0x300},            // two blocks, unaligned both ends
      {8 * kBlock - 1, 2},                    // one byte either side
      {12 * kBlock + 0x77, 2 * kBlock + 5},   // three blocks, the middle one whole
      {kBootFlashSize - 0x101, 0x101},        // up to the end of the flash
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << "offset 0x" << c.offset << " length 0x" << c.length);
    const uint32_t first = c.offset / kBlock;
    const uint32_t last = (c.offset + c.length - 1) / kBlock;
    const uint32_t lo = first > 0 ? first - 1 : 0;
    const uint32_t hi = last + 1 < kBootFlashBlockCount ? last + 1 : last;
    // Old bytes all have bit 7 clear and new ones have it set, so every
    // block the write touches needs its erase.
    std::vector<uint8_t> expected = Pattern((hi - lo + 1) * kBlock, c.offset);
    for (uint8_t &b : expected) b &= 0x7F;
    flash.WriteRaw(lo * kBlock, expected.data(), uint32_t(expected.size()));
    std::vector<uint8_t> data = Pattern(c.length, c.length);
    for (uint8_t &b : data) b |= 0x80;
    std::copy(data.begin(), data.end(), expected.begin() + (c.offset - lo * kBlock));
    flash.ResetCounters();

    ASSERT_EQ(Write(c.offset, data), EFI_SUCCESS);

    EXPECT_EQ(Bytes(lo * kBlock, (hi - lo + 1) * kBlock), expected);
    for (uint32_t b = lo; b <= hi; ++b) {
      EXPECT_EQ(flash.BlockCounters(b).erases, (b >= first && b <= last) ? 1u : 0u) << "block " << b;
    }
  }
}

TEST_F(FlashAccessProtocolTest, EraseTakesEveryBlockTheRangeTouches) {
  FillBlocks(0, 0x60, 2);
  struct Case {
    uint32_t offset;
    uint32_t length;
    uint32_t firstBlock;
    uint32_t blocks;
  };
  const Case cases[] = {
      {0x4A0000, 0x200000, 0x25, 16},  // the block-aligned extended BIOS area
      {0x20010, 0x10, 1, 1},           // inside one block: the whole block goes
      {0x3FFFF, 2, 1, 2},              // straddling a boundary
      {0x50000, 0, 0, 0},              // nothing
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << "offset 0x" << c.offset << " length 0x" << c.length);
    flash.ResetCounters();
    ASSERT_EQ(fa->Erase(fa, c.offset, c.length), EFI_SUCCESS);
    EXPECT_EQ(flash.Totals().erases, c.blocks);
    for (uint32_t b = c.firstBlock; b < c.firstBlock + c.blocks; ++b) {
      EXPECT_EQ(flash.BlockCounters(b).erases, 1u) << "block " << b;
      EXPECT_EQ(Bytes(b * kBlock, kBlock), std::vector<uint8_t>(kBlock, 0xFF)) << "block " << b;
    }
  }
  const std::vector<uint8_t> original = Pattern(0x60 * kBlock, 2);
  for (uint32_t b : {0u, 3u, 0x24u, 0x35u}) {
    EXPECT_TRUE(std::equal(original.begin() + b * kBlock, original.begin() + (b + 1) * kBlock,
                           Bytes(b * kBlock, kBlock).begin()))
        << "block " << b << " lies outside every erased range";
  }

  flash.ResetCounters();
  ASSERT_EQ(fa->EraseBlock(fa, 0x38), EFI_SUCCESS);
  EXPECT_EQ(flash.BlockCounters(0x38).erases, 1u);
  EXPECT_EQ(flash.Totals().erases, 1u);
}

TEST_F(FlashAccessProtocolTest, ReadGetInfoAndTheReservedSlot) {
  std::vector<uint8_t> data = Pattern(0x100000, 5);
  flash.WriteRaw(0x4A0000, data.data(), uint32_t(data.size()));
  std::vector<uint8_t> buffer(data.size());
  ASSERT_EQ(fa->Read(fa, 0x4A0000, buffer.data(), uint32_t(buffer.size())), EFI_SUCCESS);
  EXPECT_EQ(buffer, data);

  FLASH_ACCESS_INFO info;
  static_assert(sizeof(info) == 7 * sizeof(UINT32), "seven words");
  ASSERT_EQ(fa->GetInfo(fa, &info), EFI_SUCCESS);
  const UINT32 *words = reinterpret_cast<const UINT32 *>(&info);
  EXPECT_EQ(words[2], 16u * 1024 * 1024);
  EXPECT_EQ(words[3], 0x20000u);
  EXPECT_EQ(words[5], 0x40000000u);
  EXPECT_NE(words[6], 0u);
  EXPECT_EQ(info.BlockCount, 128u);

  EXPECT_EQ(fa->Reserved(fa), EFI_UNSUPPORTED);
}

TEST_F(FlashAccessProtocolTest, RejectsRangesOutsideTheFlashAndMissingBuffers) {
  struct Range {
    uint32_t offset;
    uint32_t length;
  };
  const Range bad[] = {
      {kBootFlashSize, 1},
      {kBootFlashSize - 4, 8},
      {0xFFFFFFF0u, 0x20},  // the end wraps around
      {4, 0xFFFFFFFFu},
      {0xFFFFFFFFu, 0},
  };
  std::vector<uint8_t> buffer(64, 0);
  for (const Range &r : bad) {
    SCOPED_TRACE(testing::Message() << std::hex << "offset 0x" << r.offset << " length 0x" << r.length);
    EXPECT_EQ(fa->Write(fa, r.offset, buffer.data(), r.length), EFI_INVALID_PARAMETER);
    EXPECT_EQ(fa->Read(fa, r.offset, buffer.data(), r.length), EFI_INVALID_PARAMETER);
    EXPECT_EQ(fa->Erase(fa, r.offset, r.length), EFI_INVALID_PARAMETER);
  }
  EXPECT_EQ(fa->Write(fa, 0, nullptr, 4), EFI_INVALID_PARAMETER);
  EXPECT_EQ(fa->Read(fa, 0, nullptr, 4), EFI_INVALID_PARAMETER);
  EXPECT_EQ(fa->GetInfo(fa, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(fa->EraseBlock(fa, kBootFlashBlockCount), EFI_INVALID_PARAMETER);
  EXPECT_EQ(fa->Write(nullptr, 0, buffer.data(), 4), EFI_INVALID_PARAMETER);
  EXPECT_EQ(flash.Totals().programOps + flash.Totals().erases, 0u);

  // An empty range at the very end is in the flash.
  EXPECT_EQ(fa->Write(fa, kBootFlashSize, buffer.data(), 0), EFI_SUCCESS);
  EXPECT_EQ(fa->Read(fa, kBootFlashSize, buffer.data(), 0), EFI_SUCCESS);
}

TEST_F(FlashAccessProtocolTest, ChipFaultsComeBackAsDeviceErrors) {
  const uint32_t offset = 0x480000;
  FillBlocks(offset / kBlock, 1, 3);
  std::vector<uint8_t> old = Bytes(offset, kBlock);

  // The erase of a read-modify-write fails: the block is as it was.
  flash.FailNextErase();
  EXPECT_EQ(Write(offset + 8, {0xFF, 0xFF}), EFI_DEVICE_ERROR);
  EXPECT_EQ(Bytes(offset, kBlock), old);

  // A write that can be programmed directly fails before changing anything.
  flash.FailNextWrite();
  EXPECT_EQ(Write(offset + 8, {0x00, 0x00, 0x00}), EFI_DEVICE_ERROR);
  EXPECT_EQ(Bytes(offset, kBlock), old);

  // A program that fails after the chip erased the block leaves it erased.
  flash.FailNextWrite();
  EXPECT_EQ(Write(offset + 8, {0xFF, 0xFF}), EFI_DEVICE_ERROR);
  EXPECT_EQ(Bytes(offset, kBlock), std::vector<uint8_t>(kBlock, 0xFF));

  flash.FailNextErase();
  EXPECT_EQ(fa->Erase(fa, 0, 3 * kBlock), EFI_DEVICE_ERROR);
  EXPECT_EQ(flash.Totals().erases, 1u);  // the read-modify-write above; none here
  flash.FailNextErase();
  EXPECT_EQ(fa->EraseBlock(fa, 0), EFI_DEVICE_ERROR);
}

TEST_F(FlashAccessProtocolTest, PowerCutStopsAWritePartWay) {
  // Two blocks of old data; the new data only clears bits in the first and
  // needs an erase in the second.
  const uint32_t offset = 0x700000;
  FillBlocks(offset / kBlock, 2, 4);
  std::vector<uint8_t> old = Bytes(offset, 2 * kBlock);
  std::vector<uint8_t> data(2 * kBlock);
  for (size_t i = 0; i < data.size(); ++i) data[i] = i < kBlock ? uint8_t(old[i] & 0x0F) : uint8_t(~old[i]);
  const uint32_t page = kBootFlashPageSize;
  flash.CutPowerDuringProgram(10);

  RunEnd end = RunGuarded([&] {
    fa->Write(fa, offset, data.data(), uint32_t(data.size()));
    ADD_FAILURE() << "Write returned after the power cut";
  });

  ASSERT_EQ(end.outcome, RunOutcome::PowerCut);
  std::vector<uint8_t> now = Bytes(offset, 2 * kBlock);
  // Nine pages written, the tenth torn halfway, everything after it as it was.
  const size_t cut = 9 * page + page / 2;
  EXPECT_TRUE(std::equal(now.begin(), now.begin() + cut, data.begin()));
  EXPECT_TRUE(std::equal(now.begin() + cut, now.end(), old.begin() + cut));
  EXPECT_EQ(flash.Totals().erases, 0u);
}

}  // namespace
}  // namespace sim
