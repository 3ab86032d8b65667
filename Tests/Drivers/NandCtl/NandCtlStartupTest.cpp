// NandCtl's start-up: the device record, the protocols, repeated and
// failing start-ups.
#include "NandCtlFixture.h"

namespace simtest {
namespace {

TEST_F(NandCtlTest, StartupDescribesTheChipAndInstallsBothProtocols) {
  ASSERT_NE(g_pstNandDevice, nullptr);
  EXPECT_EQ(g_pstNandDevice->ulBuffer, 0x12000000u);
  EXPECT_EQ(g_pstNandDevice->ulFixed48, 48u);
  EXPECT_EQ(g_pstNandDevice->ulFixed1, 1u);
  EXPECT_EQ(g_pstNandDevice->ulChipSize, 0x20000000u);
  EXPECT_EQ(g_pstNandDevice->ulOpSetting, 0xA00u);
  EXPECT_EQ(board->nandController->Read(sim::kNandRegControl, 4) & 1, 0u);

  EXPECT_EQ(pages->Magic, 0xDCBAu);
  EXPECT_STREQ(pages->Name, "NAND 512MiB 3,3V 8-bit");
  EXPECT_EQ(pages->PageSize, 2048u);
  EXPECT_EQ(pages->SpareSize, 64u);
  EXPECT_EQ(pages->UserSpareSize, 56u);
  EXPECT_EQ(pages->PagesPerBlock, 64u);
  EXPECT_EQ(pages->BlockCount, 4096u);
  EXPECT_EQ(pages->ChipSizeMiB, 512u);
  ASSERT_EQ(pages->PartitionCount, 3u);
  const struct {
    const char *name;
    UINT32 first, last;
  } expected[] = {{"disk1:", 0, 511}, {"disk2:", 512, 2047}, {"disk3:", 2048, 4095}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_STREQ(pages->Partitions[i].Name, expected[i].name);
    EXPECT_EQ(pages->Partitions[i].FirstBlock, expected[i].first);
    EXPECT_EQ(pages->Partitions[i].LastBlock, expected[i].last);
  }
  EXPECT_EQ(Console(), "");  // "page_size" is a debug-level message
}

TEST_F(NandCtlTest, SecondStartupReturnsAtOnce) {
  size_t pool = board->core.PoolBytesInUse();
  EFI_HANDLE handle = board->core.CreateImageHandle("NandCtl again");
  EXPECT_EQ(NandCtlEntryPoint(handle, board->core.SystemTable()), EFI_SUCCESS);
  EXPECT_EQ(Console(), "NANDFlash has been inited!\n");
  EXPECT_TRUE(Trace().empty());
  EXPECT_EQ(board->core.PoolBytesInUse(), pool);
}

TEST_F(NandCtlTest, SmallerChipsGetThePartitionsThatFitCutToTheirEnd) {
  const struct {
    uint8_t code;
    UINT32 count, lastOfLast;
  } chips[] = {{0xF1, 2, 1023}, {0xF2, 1, 511}};  // 128 MiB, 64 MiB
  for (const auto &c : chips) {
    ReplaceNandChip(*board, sim::NandGeometry::ForDeviceCode(c.code));
    ASSERT_EQ(LoadNandCtl(*board), EFI_SUCCESS);
    NAND_PAGE_DEVICE_PROTOCOL *device = LocateNandPageDevice(*board);
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(device->PartitionCount, c.count) << std::hex << int(c.code);
    EXPECT_EQ(device->Partitions[0].FirstBlock, 0u);
    EXPECT_EQ(device->Partitions[c.count - 1].LastBlock, c.lastOfLast);
    EXPECT_EQ(device->Partitions[c.count - 1].LastBlock, device->BlockCount - 1);
  }
}

class NandCtlStartupFailureTest : public BoardTest {
 protected:
  void ExpectNothingLeft(size_t poolBefore) {
    EXPECT_EQ(LocateNandFlash(*board), nullptr);
    EXPECT_EQ(LocateNandPageDevice(*board), nullptr);
    EXPECT_EQ(g_pstNandDevice, nullptr);
    EXPECT_EQ(board->core.PoolBytesInUse(), poolBefore);
  }
};

TEST_F(NandCtlStartupFailureTest, UnknownChipFailsAndFreesTheRecord) {
  ReplaceNandChip(*board, sim::NandGeometry::Custom(0xF0, 2048, 64, 64, 16));
  size_t pool = board->core.PoolBytesInUse();
  EXPECT_EQ(LoadNandCtl(*board), EFI_UNSUPPORTED);
  ExpectNothingLeft(pool);
}

TEST_F(NandCtlStartupFailureTest, AllocationFailuresAreErrorsNotWarnings) {
  for (unsigned n = 1; n <= 2; ++n) {  // the device record, then the ID bytes
    size_t pool = board->core.PoolBytesInUse();
    board->core.FailAllocationAfter(n);
    EXPECT_EQ(LoadNandCtl(*board), EFI_OUT_OF_RESOURCES) << n;
    board->core.FailAllocationAfter(0);
    ExpectNothingLeft(pool);
  }
}

TEST_F(NandCtlStartupFailureTest, ControllerThatNeverFinishesFailsTheStartup) {
  size_t pool = board->core.PoolBytesInUse();
  board->nandChip->Faults().HangNextOperations(1);
  EXPECT_EQ(LoadNandCtl(*board), EFI_TIMEOUT);
  EXPECT_NE(Console().find("L]fail:nand flash operation is time out!\n"), std::string::npos);
  ExpectNothingLeft(pool);
}

}  // namespace
}  // namespace simtest
