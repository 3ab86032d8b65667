// Geometry from the read-ID bytes and the device table.
#include <gtest/gtest.h>

#include <cstring>

#include "NandCtl.h"

namespace {

struct DecodeCase {
  const char *what;
  UINT8 id[4];
  const char *name;
  UINT32 pageSize, blockSize, spareSize, busWidth, chipSizeMiB, blocks, opSetting;
};

class NandIdDecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(NandIdDecodeTest, GeometryFromTableOrIdByte3) {
  const DecodeCase &c = GetParam();
  NAND_DEVICE_RECORD record;
  std::memset(&record, 0, sizeof(record));
  ASSERT_EQ(NandDecodeGeometry(c.id, &record), 0);
  EXPECT_STREQ(record.pcName, c.name);
  EXPECT_EQ(record.ulPageSize, c.pageSize);
  EXPECT_EQ(record.ulBlockSize, c.blockSize);
  EXPECT_EQ(record.ulSpareSize, c.spareSize);
  EXPECT_EQ(record.ulBusWidth, c.busWidth);
  EXPECT_EQ(record.ulChipSizeMiB, c.chipSizeMiB);
  EXPECT_EQ(record.ulBlocks, c.blocks);
  EXPECT_EQ(record.ulOpSetting, c.opSetting);
  EXPECT_EQ(record.ulPagesPerBlock, c.blockSize / c.pageSize);
  // The byte size is never doubled and never wraps to 0.
  if (c.chipSizeMiB != 0) {
    EXPECT_EQ(uint64_t(record.ulChipSize), uint64_t(c.chipSizeMiB) << 20);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, NandIdDecodeTest,
    ::testing::Values(
        DecodeCase{"Dc", {0xC2, 0xDC, 0x10, 0x00}, "NAND 512MiB 3,3V 8-bit", 2048, 0x20000, 64, 0, 512, 4096, 0xA00},
        DecodeCase{"D5", {0xC2, 0xD5, 0x10, 0x00}, "NAND 2GiB 3,3V 8-bit", 8192, 0x100000, 32, 0, 2048, 2048, 0xA00},
        // Layout from ID byte 3: 2 KiB pages, 16 spare bytes per 512, 128 KiB blocks.
        DecodeCase{"D3", {0xC2, 0xD3, 0x10, 0x15}, "NAND 1GiB 3,3V 8-bit", 2048, 0x20000, 64, 0, 1024, 8192, 0xA00},
        // 128 MiB: small enough for setting 0x800 once the size is not doubled.
        DecodeCase{"F1", {0xC2, 0xF1, 0x10, 0x15}, "NAND 128MiB 3,3V 8-bit", 2048, 0x20000, 64, 0, 128, 1024, 0x800},
        // 2 GiB, 16-bit bus, 8 KiB pages, 512 KiB blocks: the size that wrapped to 0.
        DecodeCase{"C5", {0xC2, 0xC5, 0x10, 0x77}, "NAND 2GiB 3,3V 16-bit", 8192, 0x80000, 256, 2, 2048, 4096,
                   0xA00},
        // Smallest layout: 1 KiB pages, 8 spare bytes per 512, 64 KiB blocks.
        DecodeCase{"F2", {0xC2, 0xF2, 0x10, 0x00}, "NAND 64MiB 3,3V 8-bit", 1024, 0x10000, 16, 0, 64, 1024, 0x800},
        // The maker byte plays no part; 0x74 is entry 14.
        DecodeCase{"74", {0x00, 0x74, 0x00, 0x00}, "NAND 128MiB 3,3V 16-bit", 512, 0x4000, 0, 2, 0, 0, 0xA00}),
    [](const ::testing::TestParamInfo<DecodeCase> &info) { return std::string(info.param.what); });

TEST(NandDeviceTable, FirstEntryWithTheCodeWinsAndUnknownCodesFail) {
  EXPECT_EQ(NandFindDevice(0x53), &g_astNandDeviceTable[0]);
  EXPECT_EQ(NandFindDevice(0x01), &g_astNandDeviceTable[44]);
  EXPECT_EQ(g_astNandDeviceTable[45].pcName, nullptr);
  EXPECT_EQ(NandFindDevice(0xF0), nullptr);
  NAND_DEVICE_RECORD record;
  const UINT8 unknown[4] = {0xC2, 0xF0, 0, 0x15};
  EXPECT_EQ(NandDecodeGeometry(unknown, &record), -1);
}

}  // namespace
