// The hardware-ECC page layer over NandCtl and the chip model.
#include <gtest/gtest.h>

#include "KvfsTestSupport.h"

namespace kvfstest {
namespace {

class KvfsHwEccTest : public KvfsTest {
 protected:
  // A block from the erased pool, taken out so the test owns it.
  uint32_t TakeBlock() {
    KVFS_BLOCK_NODE *node = kvfs_GetErasedWithoutReservation(dev);
    EXPECT_NE(node, nullptr);
    taken.push_back(node);
    return node->ulBlockNum;
  }
  void TearDown() override {
    for (KVFS_BLOCK_NODE *node : taken) {
      if (node->ucWhere == KVFS_NODE_NOWHERE) ReleaseBlock(dev, node);
    }
    KvfsTest::TearDown();
  }
  std::vector<uint8_t> PageWithTag(uint32_t seed) {
    std::vector<uint8_t> page = Pattern(kPageSize + dev->strAttr.usSpareSize, seed);
    page[kPageSize + KVFS_TAG_OFF_BAD] = 0xFF;
    return page;
  }
  std::vector<KVFS_BLOCK_NODE *> taken;
};

TEST_F(KvfsHwEccTest, WritesAndLoadsDataAndSpareTogetherOrApart) {
  uint32_t block = TakeBlock();
  std::vector<uint8_t> page = PageWithTag(3);
  KVFS_STATS before = dev->stStat;
  ASSERT_EQ(HwEcc_WritePage(dev, block, 1, page.data(), page.data() + kPageSize), KVFS_OK);
  EXPECT_EQ(dev->stStat.ulPageWrites, before.ulPageWrites + 1);
  EXPECT_EQ(dev->stStat.ulTagWrites, before.ulTagWrites + 1);

  std::vector<uint8_t> both(page.size(), 0);
  UINT32 flip = 0;
  ASSERT_EQ(HwEcc_LoadPage(dev, block, 1, both.data(), both.data() + kPageSize, &flip), KVFS_OK);
  EXPECT_EQ(both, page);
  EXPECT_EQ(flip, 0u);

  std::vector<uint8_t> data(kPageSize), tag(KVFS_TAG_SIZE);
  // Apart buffers must come in two calls.
  EXPECT_EQ(HwEcc_LoadPage(dev, block, 1, data.data(), tag.data(), &flip), KVFS_ERR_NOT_ADJACENT);
  ASSERT_EQ(HwEcc_LoadPage(dev, block, 1, data.data(), nullptr, &flip), KVFS_OK);
  ASSERT_EQ(HwEcc_LoadPage(dev, block, 1, nullptr, tag.data(), &flip), KVFS_OK);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), page.begin()));
  EXPECT_TRUE(std::equal(tag.begin(), tag.end(), page.begin() + kPageSize));
  std::vector<uint8_t> spare(KVFS_TAG_SIZE);
  ASSERT_EQ(HwEcc_LoadPageSpare(dev, block, 1, spare.data(), &flip), KVFS_OK);
  EXPECT_EQ(spare, tag);
  EXPECT_EQ(dev->stStat.ulDataReads, before.ulDataReads + 2);
  EXPECT_EQ(dev->stStat.ulTagReads, before.ulTagReads + 3);
}

TEST_F(KvfsHwEccTest, TagBufferNotRightAfterTheDataIsRefusedWithoutTouchingTheFlash) {
  uint32_t block = TakeBlock();
  std::vector<uint8_t> page(kPageSize + KVFS_TAG_SIZE + 1, 0xFF);
  sim::NandCounters before = Chip().Totals();
  UINT32 flip = 0;
  EXPECT_EQ(HwEcc_LoadPage(dev, block, 1, page.data(), page.data() + kPageSize + 1, &flip), KVFS_ERR_NOT_ADJACENT);
  EXPECT_EQ(g_iKvfsErrNo, KVFS_ENO_RANGE);
  EXPECT_EQ(HwEcc_WritePage(dev, block, 1, page.data(), page.data() + kPageSize - 1), KVFS_ERR_NOT_ADJACENT);
  EXPECT_EQ(Chip().Totals().reads, before.reads);
  EXPECT_EQ(Chip().Totals().programs, before.programs);
}

TEST_F(KvfsHwEccTest, BlocksOutsideTheRangesAreRefusedByEveryOperation) {
  // One past the only range: the chip has it, the device does not.
  dev->astRange[0].ulLast = Blocks() - 2;
  uint32_t outside = Blocks() - 1;
  std::vector<uint8_t> page(kPageSize + KVFS_TAG_SIZE, 0xFF);
  UINT32 flip = 0, result = 0;
  sim::NandCounters before = Chip().Totals();
  struct Case {
    const char *name;
    std::function<KVFS_STATUS()> call;
  } cases[] = {
      {"LoadPage", [&] { return HwEcc_LoadPage(dev, outside, 1, page.data(), page.data() + kPageSize, &flip); }},
      {"LoadPageSpare", [&] { return HwEcc_LoadPageSpare(dev, outside, 1, page.data(), &flip); }},
      {"WritePage", [&] { return HwEcc_WritePage(dev, outside, 1, page.data(), page.data() + kPageSize); }},
      {"EraseBlock", [&] { return HwEcc_EraseBlock(dev, outside); }},
      {"MakeBadBlockMark", [&] { return HwEcc_MakeBadBlockMark(dev, outside); }},
      {"CheckFactoryBadBlock", [&] { return HwEcc_CheckFactoryBadBlock(dev, outside, &result); }},
  };
  for (const Case &c : cases) {
    g_iKvfsErrNo = 0;
    EXPECT_EQ(c.call(), KVFS_ERR_PARAM) << c.name;
    EXPECT_EQ(g_iKvfsErrNo, KVFS_ENO_RANGE) << c.name;
  }
  // The marked check cannot fail; it calls the block bad.
  EXPECT_EQ(HwEcc_IsBadBlockMarked(dev, outside), 1u);
  EXPECT_EQ(Chip().Totals().reads, before.reads);
  EXPECT_EQ(Chip().Totals().programs, before.programs);
  EXPECT_EQ(Chip().Totals().erases, before.erases);
  EXPECT_NE(Console().find("[HwEcc_LoadPage]: blockNum 15 is out of rang  \n"), std::string::npos);
  dev->astRange[0].ulLast = Blocks() - 1;
  EXPECT_EQ(HwEcc_EraseBlock(nullptr, 0), KVFS_ERR_PARAM);
  EXPECT_NE(Console().find(" [HwEcc_EraseBlock]:device is NULL ? \n"), std::string::npos);
}

TEST_F(KvfsHwEccTest, MissingDriverEntriesAreReported) {
  uint32_t block = TakeBlock();
  KVFS_DEVICE saved = *dev;
  dev->_NAND_ReadWithHEcc = nullptr;
  dev->_NAND_WriteWithHEcc = nullptr;
  dev->_NAND_Erase = nullptr;
  dev->_NAND_GetFactorMark = nullptr;
  std::vector<uint8_t> page(kPageSize + KVFS_TAG_SIZE, 0xFF);
  UINT32 flip = 0, result = 0;
  EXPECT_EQ(HwEcc_LoadPage(dev, block, 1, page.data(), page.data() + kPageSize, &flip), KVFS_ERR_NOT_FOUND);
  EXPECT_EQ(g_iKvfsErrNo, KVFS_ENO_NO_DRIVER);
  EXPECT_EQ(HwEcc_LoadPageSpare(dev, block, 1, page.data(), &flip), KVFS_ERR_NOT_FOUND);
  EXPECT_EQ(HwEcc_WritePage(dev, block, 1, page.data(), page.data() + kPageSize), KVFS_ERR_NOT_FOUND);
  EXPECT_EQ(HwEcc_EraseBlock(dev, block), KVFS_ERR_NOT_FOUND);
  EXPECT_EQ(HwEcc_CheckFactoryBadBlock(dev, block, &result), KVFS_ERR_NOT_FOUND);
  *dev = saved;
}

TEST_F(KvfsHwEccTest, ReadFailuresAndCorrectedBitFlipsReachThePageLayer) {
  uint32_t block = TakeBlock();
  std::vector<uint8_t> page = PageWithTag(5);
  ASSERT_EQ(HwEcc_WritePage(dev, block, 2, page.data(), page.data() + kPageSize), KVFS_OK);
  std::vector<uint8_t> in(page.size());
  UINT32 flip = 0;
  Chip().Faults().FlipBitsOnRead(sim::NandUnit::Page(ChipPage(block, 2)), 3, sim::NandArea::Data, 1);
  ASSERT_EQ(HwEcc_LoadPage(dev, block, 2, in.data(), in.data() + kPageSize, &flip), KVFS_OK);
  EXPECT_EQ(flip, 1u);
  EXPECT_EQ(in, page);
  Chip().Faults().MakeUncorrectable(sim::NandUnit::Page(ChipPage(block, 2)), sim::NandArea::Data, 1);
  KVFS_STATS before = dev->stStat;
  EXPECT_EQ(HwEcc_LoadPage(dev, block, 2, in.data(), in.data() + kPageSize, &flip), KVFS_ERR_NAND);
  EXPECT_EQ(g_iKvfsErrNo, KVFS_ENO_NAND_READ);
  EXPECT_EQ(dev->stStat.ulDataReads, before.ulDataReads);  // only successes count
  Chip().Faults().FailProgram(sim::NandUnit::Page(ChipPage(block, 3)), sim::kNandStatusReady | sim::kNandStatusFail,
                              1);
  EXPECT_EQ(HwEcc_WritePage(dev, block, 3, page.data(), page.data() + kPageSize), KVFS_ERR_NAND);
  EXPECT_EQ(g_iKvfsErrNo, KVFS_ENO_NAND_WRITE);
  Chip().Faults().FailErase(block, sim::kNandStatusReady | sim::kNandStatusFail, 1);
  EXPECT_EQ(HwEcc_EraseBlock(dev, block), KVFS_ERR_NAND);
  EXPECT_EQ(g_iKvfsErrNo, KVFS_ENO_ERASE);
  EXPECT_EQ(HwEcc_EraseBlock(dev, block), KVFS_OK);
  kvfs_WriteBlockEraseTime(dev, block, taken.back());
}

TEST_F(KvfsHwEccTest, BadBlockMarkIsWrittenOnceAndSeenByBothChecks) {
  uint32_t block = TakeBlock();
  EXPECT_EQ(HwEcc_IsBadBlockMarked(dev, block), 0u);
  ASSERT_EQ(HwEcc_MakeBadBlockMark(dev, block), KVFS_OK);
  EXPECT_EQ(HwEcc_IsBadBlockMarked(dev, block), 1u);
  EXPECT_EQ(kvfs_BlockState(dev, block), 0xE0u);
  // The mark is in the spare of page indexes 1 and 2.
  for (uint32_t index : {1u, 2u}) {
    std::vector<uint8_t> raw = Chip().ReadRaw(ChipPage(block, index));
    UINT8 mark[KVFS_TAG_SIZE];
    HwEcc_BuildBadBlockMark(mark);
    EXPECT_TRUE(std::equal(mark, mark + KVFS_TAG_SIZE, raw.begin() + kPageSize)) << index;
  }
  // Marked already: nothing is written again.
  uint64_t programs = Chip().Totals().programs;
  EXPECT_EQ(HwEcc_MakeBadBlockMark(dev, block), KVFS_OK);
  EXPECT_EQ(Chip().Totals().programs, programs);
  UINT32 result = 7;
  ASSERT_EQ(HwEcc_CheckFactoryBadBlock(dev, block, &result), KVFS_OK);
  EXPECT_EQ(result, 1u);
  MarkBadBlock(dev, taken.back(), KVFS_BAD_WRITE);
}

TEST_F(KvfsHwEccTest, FactoryMarksAreReadFromTheFirstTwoPages) {
  uint32_t good = TakeBlock();
  uint32_t bad = TakeBlock();
  Chip().MarkFactoryBad(bad);
  UINT32 result = 7;
  ASSERT_EQ(HwEcc_CheckFactoryBadBlock(dev, good, &result), KVFS_OK);
  EXPECT_EQ(result, 0u);
  ASSERT_EQ(HwEcc_CheckFactoryBadBlock(dev, bad, &result), KVFS_OK);
  EXPECT_EQ(result, 1u);
  EXPECT_EQ(HwEcc_CheckFactoryBadBlock(dev, bad, nullptr), KVFS_ERR_PARAM);
  taken.back()->ucWhere = KVFS_NODE_BAD;  // keep it out of the pool
  kvfs_InsertToHashList(dev, &dev->stBadList, taken.back());
}

}  // namespace
}  // namespace kvfstest
