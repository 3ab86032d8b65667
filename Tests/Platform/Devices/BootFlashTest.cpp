// The boot flash chip model: program and erase semantics, counters, timing,
// injected faults, the file behind it and the firmware's read-only window.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <vector>

#include "Devices/BootFlash.h"

namespace sim {
namespace {

class BootFlashTest : public ::testing::Test {
 protected:
  std::vector<uint8_t> Bytes(uint32_t offset, uint32_t length) {
    std::vector<uint8_t> out(length);
    flash.Read(offset, out.data(), length);
    return out;
  }

  VirtualClock clock;
  BootFlash flash{clock};
};

TEST_F(BootFlashTest, ProgramClearsBitsOnlyAndEraseRestoresWholeBlock) {
  EXPECT_EQ(Bytes(0, 8), std::vector<uint8_t>(8, 0xFF));
  EXPECT_EQ(Bytes(kBootFlashSize - 8, 8), std::vector<uint8_t>(8, 0xFF));

  const uint8_t first[] = {0xF0, 0x0F, 0xAA};
  const uint8_t second[] = {0x3C, 0xFF, 0x55};
  ASSERT_EQ(flash.Program(0x20000 + 10, first, 3), EFI_SUCCESS);
  ASSERT_EQ(flash.Program(0x20000 + 10, second, 3), EFI_SUCCESS);
  // A program cannot set a bit back to 1: the cell keeps old AND new.
  EXPECT_EQ(Bytes(0x20000 + 10, 3), (std::vector<uint8_t>{0x30, 0x0F, 0x00}));

  flash.Write32(0x20000 - 4, 0x12345678);  // last word of block 0
  flash.Write32(0x40000, 0x9ABCDEF0);      // first word of block 2
  ASSERT_EQ(flash.EraseBlock(1), EFI_SUCCESS);
  EXPECT_EQ(Bytes(0x20000, 0x20000), std::vector<uint8_t>(0x20000, 0xFF));
  EXPECT_EQ(flash.Read32(0x20000 - 4), 0x12345678u);
  EXPECT_EQ(flash.Read32(0x40000), 0x9ABCDEF0u);
}

TEST_F(BootFlashTest, RejectsOperationsOutsideTheArray) {
  uint8_t byte = 0;
  EXPECT_EQ(flash.Program(kBootFlashSize - 1, &byte, 2), EFI_INVALID_PARAMETER);
  EXPECT_EQ(flash.Program(0xFFFFFFFFu, &byte, 2), EFI_INVALID_PARAMETER);
  EXPECT_EQ(flash.Program(0, nullptr, 1), EFI_INVALID_PARAMETER);
  EXPECT_EQ(flash.EraseBlock(kBootFlashBlockCount), EFI_INVALID_PARAMETER);
  EXPECT_EQ(flash.Totals().programOps + flash.Totals().erases, 0u);
  EXPECT_THROW(flash.Read(kBootFlashSize - 2, &byte, 4), std::out_of_range);
}

TEST_F(BootFlashTest, CountsPageOperationsPerBlockAndByRange) {
  // 600 bytes from 10 bytes before a page end: pieces of 10, 256, 256, 78.
  std::vector<uint8_t> data(600, 0x00);
  ASSERT_EQ(flash.Program(0x100 - 10, data.data(), 600), EFI_SUCCESS);
  // 8 bytes across the boundary of blocks 0 and 1.
  ASSERT_EQ(flash.Program(0x20000 - 4, data.data(), 8), EFI_SUCCESS);
  ASSERT_EQ(flash.EraseBlock(1), EFI_SUCCESS);

  BootFlashCounters total = flash.Totals();
  EXPECT_EQ(total.programOps, 6u);
  EXPECT_EQ(total.bytesProgrammed, 608u);
  EXPECT_EQ(total.erases, 1u);

  BootFlashCounters block0 = flash.BlockCounters(0);
  EXPECT_EQ(block0.programOps, 5u);
  EXPECT_EQ(block0.bytesProgrammed, 604u);
  EXPECT_EQ(block0.erases, 0u);
  BootFlashCounters block1 = flash.BlockCounters(1);
  EXPECT_EQ(block1.programOps, 1u);
  EXPECT_EQ(block1.bytesProgrammed, 4u);
  EXPECT_EQ(block1.erases, 1u);

  // The page [0x100, 0x200) was programmed once; only 16 of its bytes lie
  // in the queried range.
  BootFlashCounters mid = flash.ActivityIn(0x180, 0x190);
  EXPECT_EQ(mid.programOps, 1u);
  EXPECT_EQ(mid.bytesProgrammed, 16u);
  EXPECT_EQ(mid.erases, 0u);
  BootFlashCounters untouched = flash.ActivityIn(0x1000, 0x1FFFC);
  EXPECT_EQ(untouched.programOps + untouched.erases, 0u);
  BootFlashCounters edge = flash.ActivityIn(0x1FFFC, 0x20001);
  EXPECT_EQ(edge.programOps, 2u);
  EXPECT_EQ(edge.erases, 1u);

  flash.ResetCounters();
  EXPECT_EQ(flash.Totals().programOps, 0u);
  EXPECT_EQ(flash.BlockCounters(1).erases, 0u);
  EXPECT_EQ(flash.ActivityIn(0, kBootFlashSize).erases, 0u);
}

TEST_F(BootFlashTest, OperationsTakeVirtualTimeAndHostAccessDoesNot) {
  const uint64_t page = flash.Timing().pageProgramNs;
  const uint64_t erase = flash.Timing().blockEraseNs;
  EXPECT_GE(page, 100000u);     // hundreds of microseconds per page
  EXPECT_GE(erase, 100000000u);  // hundreds of milliseconds per block

  std::vector<uint8_t> data(512, 0);
  ASSERT_EQ(flash.Program(0, data.data(), 512), EFI_SUCCESS);
  ASSERT_EQ(flash.EraseBlock(3), EFI_SUCCESS);
  EXPECT_EQ(clock.NowNs(), 2 * page + erase);

  flash.SetTiming(BootFlashTiming{10, 1000});
  uint64_t before = clock.NowNs();
  ASSERT_EQ(flash.Program(0, data.data(), 1), EFI_SUCCESS);
  ASSERT_EQ(flash.EraseBlock(0), EFI_SUCCESS);
  flash.WriteRaw(0, data.data(), 512);
  flash.Read(0, data.data(), 512);
  EXPECT_EQ(clock.NowNs() - before, 1010u);
}

TEST_F(BootFlashTest, FailedWriteProgramsNothingAndFailedEraseKeepsTheBlock) {
  std::vector<uint8_t> zeros(1024, 0x00);
  flash.FailNextWrite();
  EXPECT_EQ(flash.Program(0x1000, zeros.data(), 1024), EFI_DEVICE_ERROR);
  EXPECT_EQ(Bytes(0x1000, 1024), std::vector<uint8_t>(1024, 0xFF));
  EXPECT_EQ(flash.Totals().programOps, 0u);
  // The fault is used up.
  EXPECT_EQ(flash.Program(0x1000, zeros.data(), 1024), EFI_SUCCESS);
  EXPECT_EQ(Bytes(0x1000, 1024), zeros);

  flash.FailNextErase();
  EXPECT_EQ(flash.EraseBlock(0), EFI_DEVICE_ERROR);
  EXPECT_EQ(Bytes(0x1000, 1024), zeros);
  EXPECT_EQ(flash.Totals().erases, 0u);
  EXPECT_EQ(flash.EraseBlock(0), EFI_SUCCESS);
  EXPECT_EQ(Bytes(0x1000, 1024), std::vector<uint8_t>(1024, 0xFF));
}

TEST_F(BootFlashTest, PowerCutTearsTheInterruptedPageAndEndsTheRun) {
  const uint32_t base = 0x30000;
  std::vector<uint8_t> zeros(4 * kBootFlashPageSize, 0x00);
  flash.CutPowerDuringProgram(3);

  RunEnd end = RunGuarded([&] {
    flash.Program(base, zeros.data(), uint32_t(zeros.size()));
    ADD_FAILURE() << "program returned after the power cut";
  });

  EXPECT_EQ(end.outcome, RunOutcome::PowerCut);
  EXPECT_EQ(end.value, base + 2 * kBootFlashPageSize);
  EXPECT_EQ(end.timeNs, clock.NowNs());
  const uint32_t half = kBootFlashPageSize / 2;
  EXPECT_EQ(Bytes(base, 2 * kBootFlashPageSize), std::vector<uint8_t>(2 * kBootFlashPageSize, 0x00));
  EXPECT_EQ(Bytes(base + 2 * kBootFlashPageSize, half), std::vector<uint8_t>(half, 0x00));
  EXPECT_EQ(Bytes(base + 2 * kBootFlashPageSize + half, half + kBootFlashPageSize),
            std::vector<uint8_t>(half + kBootFlashPageSize, 0xFF));
  EXPECT_EQ(flash.Totals().programOps, 3u);

  // The cut is not armed again for the next boot.
  EXPECT_EQ(flash.Program(base, zeros.data(), uint32_t(zeros.size())), EFI_SUCCESS);
}

class BootFlashFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path = ::testing::TempDir() + "bootflash-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".bin";
    std::remove(path.c_str());
  }
  void TearDown() override { std::remove(path.c_str()); }

  VirtualClock clock;
  std::string path;
};

TEST_F(BootFlashFileTest, NewFileIsErasedAndContentSurvivesReopening) {
  {
    BootFlash flash(clock, path);
    EXPECT_EQ(flash.Read32(0x123450), 0xFFFFFFFFu);
    const uint8_t data[] = {0x12, 0x34, 0x56, 0x78};
    ASSERT_EQ(flash.Program(0x860000, data, 4), EFI_SUCCESS);
    flash.Write32(kBootFlashSize - 4, 0xCAFEF00D);
  }
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  EXPECT_EQ(uint64_t(file.tellg()), uint64_t(kBootFlashSize));

  BootFlash reopened(clock, path);
  EXPECT_EQ(reopened.Read32(0x860000), 0x78563412u);
  EXPECT_EQ(reopened.Read32(kBootFlashSize - 4), 0xCAFEF00Du);
  EXPECT_EQ(reopened.Read32(0x860004), 0xFFFFFFFFu);
}

TEST_F(BootFlashFileTest, RefusesAFileOfAnotherSize) {
  {
    std::ofstream file(path, std::ios::binary);
    file << "not a flash image";
  }
  EXPECT_THROW(BootFlash(clock, path), std::runtime_error);
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  EXPECT_EQ(file.tellg(), 17);  // left as it was
}

class BootFlashWindowTest : public ::testing::Test {
 protected:
  VirtualClock clock;
  PhysMemory memory;  // outlives the flash mapped into it
  BootFlash flash{clock};
};

TEST_F(BootFlashWindowTest, WindowShowsChipOperationsAndIsRemovedWithTheFlash) {
  {
    BootFlash local(clock);
    local.MapWindow(memory);
    const uint8_t data[] = {0x0D, 0xF0, 0xAD, 0x8B};
    ASSERT_EQ(local.Program(0x400860, data, 4), EFI_SUCCESS);
    EXPECT_EQ(memory.Read32(kBootFlashWindowBase + 0x400860), 0x8BADF00Du);
    local.Write32(0x4008C8, 0x3412CDABu);
    EXPECT_EQ(memory.Read32(kBootFlashWindowBase + 0x4008C8), 0x3412CDABu);
    EXPECT_EQ(memory.Map(kBootFlashWindowBase + kBootFlashSize - 4, 4), local.WindowView() + kBootFlashSize - 4);
    EXPECT_EQ(memory.Map(kBootFlashWindowBase + kBootFlashSize - 4, 8), nullptr);
  }
  EXPECT_EQ(memory.Map(kBootFlashWindowBase, 4), nullptr);
}

TEST_F(BootFlashWindowTest, StoreThroughTheWindowCrashes) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  flash.MapWindow(memory);
  volatile uint8_t *window = memory.Map(kBootFlashWindowBase, 1);
  ASSERT_NE(window, nullptr);
  EXPECT_DEATH(window[0] = 0x00, "");
  EXPECT_EQ(flash.Read32(0), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace sim
