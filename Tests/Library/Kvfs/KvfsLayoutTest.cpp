// Keys, sums, buckets, the bad-block mark's CRC and the device table.
#include <gtest/gtest.h>

#include <cstring>

#include "KvfsTestSupport.h"
#include "Kvfs/KvfsCrc32.h"

namespace kvfstest {
namespace {

TEST(KvfsNameSum, SumsLowerCasedBytesAndTheirXor) {
  struct Case {
    const char *name;
    uint16_t sum;
  } cases[] = {
      {"abc", 0x6026},
      {"ABC", 0x6026},  // upper case counts as lower case
      {"aBc", 0x6026},
      {"", 0x0000},
      {"a", 0x6161},
      {"_1", uint16_t(((0x5F + 0x31) & 0xFF) | ((0x5F ^ 0x31) << 8))},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(kvfs_NameSum(c.name, (UINT32)strlen(c.name)), c.sum) << c.name;
  }
}

TEST(KvfsEraseBucket, EightThousandOneHundredNinetyTwoErasesPerBucketUpToTwelve) {
  struct Case {
    uint32_t count, bucket;
  } cases[] = {{0, 0}, {8191, 0}, {8192, 1}, {98303, 11}, {98304, 12}, {0xFFFFFFFFu, 12}};
  for (const Case &c : cases) EXPECT_EQ(kvfs_EraseBucket(c.count), c.bucket) << c.count;
}

TEST(KvfsCrc32, IsTheIeeeCrc) {
  const char *check = "123456789";
  EXPECT_EQ(kvfs_Crc32(reinterpret_cast<const UINT8 *>(check), 9), 0xCBF43926u);
  EXPECT_EQ(kvfs_Crc32(nullptr, 0), 0u);
}

TEST(KvfsBadBlockMark, IsTheMarkByteZerosAndTheCrcOfTheFirst32Bytes) {
  UINT8 mark[KVFS_TAG_SIZE];
  HwEcc_BuildBadBlockMark(mark);
  UINT8 head[32] = {0x31};
  EXPECT_EQ(mark[0], 0x31);
  for (int i = 1; i < 32; i++) EXPECT_EQ(mark[i], 0) << i;
  EXPECT_EQ(KvfsGet32(mark + 32), kvfs_Crc32(head, 32));
  for (int i = 36; i < KVFS_TAG_SIZE; i++) EXPECT_EQ(mark[i], 0) << i;
}

TEST(KvfsHwEccTable, EntriesInTheirSlotsAndTheRegistryName) {
  const KVFS_PAGE_OPS &ops = g_stHwEccOps;
  EXPECT_EQ(ops.pfuncLoadPage, &HwEcc_LoadPage);
  EXPECT_EQ(ops.pfuncLoadPageSpare, &HwEcc_LoadPageSpare);
  EXPECT_EQ(ops.pfuncWritePage, &HwEcc_WritePage);
  EXPECT_EQ(ops.pfuncWriteSpare(nullptr, 0, 0, nullptr), KVFS_ERR_NAND);
  EXPECT_EQ(ops.pfuncEraseBlock, &HwEcc_EraseBlock);
  EXPECT_EQ(ops.pfuncNop6(nullptr), KVFS_OK);
  EXPECT_EQ(ops.pfuncNop8(nullptr), KVFS_OK);
  EXPECT_EQ(ops.pfuncIsBadBlockMarked, &HwEcc_IsBadBlockMarked);
  EXPECT_EQ(ops.pfuncMakeBadBlockMark, &HwEcc_MakeBadBlockMark);
  EXPECT_EQ(ops.pfuncCheckFactoryBadBlock, &HwEcc_CheckFactoryBadBlock);
  ASSERT_EQ(g_ulKvfsEccModeCount, 1u);
  EXPECT_STREQ(g_astKvfsEccMode[0].szName, " HwEcc");
  KVFS_DEVICE device{};
  EXPECT_EQ(kvfs_SetEccMode(&device, "HwEcc"), KVFS_ERR_NOT_FOUND);  // the blank belongs to the name
  EXPECT_EQ(kvfs_SetEccMode(&device, " HwEcc"), KVFS_OK);
  EXPECT_EQ(device.pOps, &g_stHwEccOps);
}

using KvfsLayoutTest = KvfsTest;

TEST_F(KvfsLayoutTest, ObjectIdsAreTheSmallestFreeFromOne) {
  // The format wrote the bad block table, which took ID 1.
  ASSERT_NE(dev->pBadTable, nullptr);
  EXPECT_EQ(dev->pBadTable->ulObjectID, 1u);
  EXPECT_EQ(kvfs_AllocObjectID(dev), 2u);
  std::vector<uint8_t> header(KVFS_OBJECT_HEADER_BYTES, 0);
  for (uint32_t id : {2u, 4u}) {
    ASSERT_EQ(Write(KVFS_TYPE_FILE, 0, id, 0, header, 0, 1, 1), header.size());
  }
  EXPECT_EQ(kvfs_AllocObjectID(dev), 3u);
  // Data blocks' object IDs are ordinals, not IDs.
  ASSERT_EQ(Write(KVFS_TYPE_DATA, 2, 3, 0, header, 0, 1, 1), header.size());
  EXPECT_EQ(kvfs_AllocObjectID(dev), 3u);
  // An open object's ID counts (the objects layer's hook).
  g_pfnKvfsOpenObjectUsesId = [](KVFS_DEVICE *, UINT32 id) -> BOOLEAN { return id == 3; };
  EXPECT_EQ(kvfs_AllocObjectID(dev), 5u);
  g_pfnKvfsOpenObjectUsesId = nullptr;
  ExpectConsistent();
}

TEST_F(KvfsLayoutTest, DeviceTableLooksUpByNumberAndCountsUses) {
  KVFS_DEVICE *found = kvfs_GetDevice(dev->usDevNum);
  ASSERT_EQ(found, dev);
  EXPECT_EQ(dev->ulUseCount, 1u);
  kvfs_ReleaseDevice(found);
  EXPECT_EQ(dev->ulUseCount, 0u);
  EXPECT_EQ(kvfs_GetDevice(9), nullptr);
  EXPECT_EQ(kvfs_DeviceLockByNum(dev->usDevNum), KVFS_OK);
  EXPECT_EQ(kvfs_DeviceLockByNum(7), KVFS_ERR_PARAM);
  EXPECT_NE(Console().find("[kvfs_DeviceLockByNum]:dev is null!!\r\n"), std::string::npos);
  EXPECT_EQ(kvfs_DeviceUnLockByNum(7), KVFS_ERR_PARAM);
}

TEST_F(KvfsLayoutTest, SequenceNumbersGrowAndABlockKeepsItsOwn) {
  UINT32 first = kvfs_NextSeq(dev);
  EXPECT_EQ(kvfs_NextSeq(dev), first + 1);
  kvfs_UndoSeq(dev);
  EXPECT_EQ(kvfs_NextSeq(dev), first + 1);
  ASSERT_EQ(Write(KVFS_TYPE_DATA, 9, 1, 0, Pattern(100, 1), 0, 1, 1), 100u);
  KVFS_BLOCK_NODE *node = Node(KVFS_TYPE_DATA, 9, 1);
  ASSERT_NE(node, nullptr);
  UINT32 blockSeq = kvfs_BlockSeq(dev, node->ulBlockNum);
  EXPECT_EQ(blockSeq, first + 2);
  // An appended batch reuses the block's number.
  ASSERT_EQ(Write(KVFS_TYPE_DATA, 9, 1, 1, Pattern(100, 2), 0, 1, 0), 100u);
  EXPECT_EQ(kvfs_BlockSeq(dev, node->ulBlockNum), blockSeq);
  // An erased block gets a new number.
  KVFS_BLOCK_NODE *erased = dev->astErased[0].pHead;
  ASSERT_NE(erased, nullptr);
  EXPECT_EQ(kvfs_BlockSeq(dev, erased->ulBlockNum), dev->ulSeq);
  EXPECT_GT(dev->ulSeq, blockSeq);
}

TEST_F(KvfsLayoutTest, BlockStateFromTheFirstTwoDataPages) {
  KVFS_BLOCK_NODE *erased = dev->astErased[0].pHead;
  ASSERT_NE(erased, nullptr);
  EXPECT_EQ(kvfs_BlockState(dev, erased->ulBlockNum), 0xFFu);
  EXPECT_EQ(kvfs_BlockState(dev, dev->pBadTable->ulBlockNum), 1u);
  ASSERT_EQ(HwEcc_MakeBadBlockMark(dev, erased->ulBlockNum), KVFS_OK);
  EXPECT_EQ(kvfs_BlockState(dev, erased->ulBlockNum), 0xE0u);
  // The block is still in the erased pool; take it out as the recovery would.
  kvfs_BreakFromList(dev, &dev->astErased[kvfs_EraseBucket(erased->ulEraseCount)], erased);
  MarkBadBlock(dev, erased, KVFS_BAD_WRITE);
  ExpectConsistent();
}

}  // namespace
}  // namespace kvfstest
