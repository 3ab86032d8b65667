// Block infos, the erased pool with its reserve and wear levelling, block
// copies and recovery, through the real stack.
#include <gtest/gtest.h>

#include "KvfsTestSupport.h"

namespace kvfstest {
namespace {

class KvfsBlockMgTest : public KvfsTest {
 protected:
  KVFS_BLOCK_NODE *MakeData(uint32_t father, uint32_t count) {
    for (uint32_t p = 0; p < count; p++) {
      EXPECT_EQ(Write(KVFS_TYPE_DATA, father, 1, p, Pattern(kPageSize, father * 100 + p), 0, p + 1 == count, p == 0),
                kPageSize);
    }
    return Node(KVFS_TYPE_DATA, father, 1);
  }
  KVFS_BLOCK_NODE *MakeFile(uint32_t id, uint32_t dataPages) {
    std::vector<uint8_t> header(KVFS_OBJECT_HEADER_BYTES, 0);
    EXPECT_EQ(Write(KVFS_TYPE_FILE, 0, id, 0, header, 0, 1, 1), header.size());
    for (uint32_t p = 1; p <= dataPages; p++) {
      EXPECT_EQ(Write(KVFS_TYPE_FILE, 0, id, p, Pattern(kPageSize, id * 100 + p)), kPageSize);
    }
    EXPECT_EQ(kvfs_FlushAllPageBuf(dev, 0), KVFS_OK);
    KVFS_BLOCK_NODE *node = Node(KVFS_TYPE_FILE, 0, id);
    node->ulSize = dataPages * kPageSize;  // as the objects layer keeps it
    return node;
  }
  bool Pending(uint32_t block, uint32_t type) {
    for (const KVFS_PENDING_BAD &rec : dev->astPending) {
      if (rec.ulBlockNum == block && rec.ulBadType == type) return true;
    }
    return false;
  }
  bool OnBadList(uint32_t block) {
    for (KVFS_BLOCK_NODE *n = dev->stBadList.pHead; n != nullptr; n = n->pHashNext) {
      if (n->ulBlockNum == block) return true;
    }
    return false;
  }
};

TEST_F(KvfsBlockMgTest, TheLastFourErasedBlocksAreKeptInReserve) {
  std::vector<KVFS_BLOCK_NODE *> taken;
  while (dev->ulErasedCount > KVFS_RESERVED_ERASED) taken.push_back(kvfs_GetErasedWithoutReservation(dev));
  EXPECT_EQ(dev->ulReserve, 0u);
  KVFS_BLOCK_NODE *last = kvfs_GetErased(dev, nullptr);
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(dev->ulErasedCount, 3u);
  EXPECT_EQ(dev->ulReserve, 1u);
  EXPECT_EQ(kvfs_GetErased(dev, nullptr), nullptr);
  KVFS_BLOCK_NODE *more = kvfs_GetErasedWithoutReservation(dev);
  EXPECT_NE(more, nullptr);
  ASSERT_EQ(ReleaseBlock(dev, more), KVFS_OK);
  EXPECT_EQ(dev->ulReserve, 1u);
  ASSERT_EQ(ReleaseBlock(dev, last), KVFS_OK);
  EXPECT_EQ(dev->ulErasedCount, 4u);
  EXPECT_EQ(dev->ulReserve, 0u);
  // A new object honours the reserve; an existing one may still move.
  dev->ulReserve = 1;
  dev->ulErasedCount = 3;  // as seen by the write's check
  EXPECT_EQ(Write(KVFS_TYPE_DATA, 90, 1, 0, Pattern(10, 1), 0, 1, 1), 0u);
  EXPECT_EQ(g_iKvfsErrNo, KVFS_ENO_NO_SPACE);
  dev->ulErasedCount = 4;
  dev->ulReserve = 0;
  for (KVFS_BLOCK_NODE *node : taken) ReleaseBlock(dev, node);
  ExpectConsistent();
}

TEST_F(KvfsBlockMgTest, EverySixtyFourthAllocationMovesTheColdestBlockIntoAWornOne) {
  KVFS_BLOCK_NODE *cold = MakeData(5, 3);
  uint32_t coldBlock = cold->ulBlockNum;
  cold->ulEraseCount = 0;  // colder than every erased block (1 after the format)
  // First in its used bucket (the bad block table was there before it).
  kvfs_BreakFromList(dev, &dev->astUsed[0], dev->pBadTable);
  kvfs_InsertToList(dev, &dev->astUsed[0], dev->pBadTable);
  uint32_t wornCount = dev->astErased[0].pHead->ulEraseCount;
  uint32_t wornBlock = dev->astErased[0].pHead->ulBlockNum;
  dev->ulAllocCount = KVFS_WEAR_LEVEL_PERIOD - 1;
  KVFS_BLOCK_NODE *got = kvfs_GetErased(dev, nullptr);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->ulBlockNum, coldBlock) << "the freed, erased old block of the cold object";
  EXPECT_EQ(got->ulEraseCount, 1u) << "its count plus the erase";
  EXPECT_EQ(cold->ulBlockNum, wornBlock);
  EXPECT_EQ(cold->ulEraseCount, wornCount);
  kvfs_BufSetAllEmpty(dev);
  for (uint32_t p = 0; p < 3; p++) EXPECT_EQ(Read(KVFS_TYPE_DATA, 5, 1, p), Pattern(kPageSize, 500 + p));
  ReleaseBlock(dev, got);
  ExpectConsistent();
}

TEST_F(KvfsBlockMgTest, WearLevellingNeverMovesTheBlockItsCallerWorksOn) {
  KVFS_BLOCK_NODE *busy = MakeData(5, 3);
  busy->ulEraseCount = 0;
  kvfs_BreakFromList(dev, &dev->astUsed[0], dev->pBadTable);
  kvfs_InsertToList(dev, &dev->astUsed[0], dev->pBadTable);
  ASSERT_EQ(dev->astUsed[0].pHead, busy);
  uint32_t block = busy->ulBlockNum;
  dev->ulAllocCount = KVFS_WEAR_LEVEL_PERIOD - 1;
  KVFS_BLOCK_NODE *got = kvfs_GetErased(dev, busy);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(busy->ulBlockNum, block);
  EXPECT_NE(got->ulBlockNum, block);
  ReleaseBlock(dev, got);
  // Truncation copies take their block this way: the copy stays right.
  busy->ulSize = 3 * kPageSize;
  dev->ulAllocCount = KVFS_WEAR_LEVEL_PERIOD - 1;
  ASSERT_EQ(kvfs_CopyBlockToNew(dev, busy, KVFS_TYPE_DATA, 2 * kPageSize, 1), KVFS_OK);
  kvfs_BufSetAllEmpty(dev);
  for (uint32_t p = 0; p < 2; p++) EXPECT_EQ(Read(KVFS_TYPE_DATA, 5, 1, p), Pattern(kPageSize, 500 + p));
  ExpectConsistent();
}

TEST_F(KvfsBlockMgTest, FindPageInBlockTakesTheNewestCopy) {
  MakeData(6, 4);  // pages 0..3 at indexes 0..3
  for (uint32_t p : {0u, 1u, 2u, 3u}) {
    ASSERT_EQ(Write(KVFS_TYPE_DATA, 6, 1, p, Pattern(kPageSize, 60 + p), 0, 1), kPageSize);
  }
  KVFS_BLOCK_NODE *node = Node(KVFS_TYPE_DATA, 6, 1);
  KVFS_BLOCK_INFO *info = kvfs_GetBlockInfo(dev, node->ulBlockNum);
  ASSERT_NE(info, nullptr);
  ASSERT_EQ(kvfs_LoadBlockInfo(dev, info, KVFS_ALL_PAGES, nullptr), KVFS_OK);
  EXPECT_EQ(FindPageInBlock(dev, info, 3), 7);
  EXPECT_EQ(FindPageInBlock(dev, info, 0), 4);
  EXPECT_EQ(FindPageInBlock(dev, info, 9), KVFS_NO_PAGE);
  EXPECT_EQ(FreePageCount(dev, info), DataPages() - 8);
  EXPECT_EQ(kvfs_LoadBlockInfo(dev, info, (INT32)DataPages(), nullptr), KVFS_ERR_BI_PAGE_RANGE);
  EXPECT_EQ(kvfs_PutBackBlockInfo(dev, info), KVFS_OK);
  EXPECT_EQ(kvfs_PutBackBlockInfo(dev, info), KVFS_ERR_BI_PUT_UNUSED);
  EXPECT_EQ(kvfs_GetBlockInfo(dev, Blocks()), nullptr);
  ExpectConsistent();
}

TEST_F(KvfsBlockMgTest, ATagThatFailsTwiceLeavesAPendingReadRecord) {
  struct Case {
    unsigned failures;
    KVFS_STATUS status;
  } cases[] = {{1, KVFS_OK}, {2, KVFS_ERR_BI_TAG_UNREADABLE}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.failures);
    KVFS_BLOCK_NODE *node = MakeData(10 + c.failures, 2);
    for (KVFS_PENDING_BAD &rec : dev->astPending) rec.ulBlockNum = KVFS_PENDING_FREE;
    kvfs_ExpireAllBlockInfo(dev);
    Chip().Faults().MakeUncorrectable(sim::NandUnit::Page(ChipPage(node->ulBlockNum, 2)), sim::NandArea::Spare,
                                      c.failures);
    KVFS_BLOCK_INFO *info = kvfs_GetBlockInfo(dev, node->ulBlockNum);
    EXPECT_EQ(kvfs_LoadBlockInfo(dev, info, KVFS_ALL_PAGES, nullptr), c.status);
    EXPECT_EQ(Pending(node->ulBlockNum, KVFS_BAD_READ), c.status != KVFS_OK);
    kvfs_PutBackBlockInfo(dev, info);
    for (KVFS_PENDING_BAD &rec : dev->astPending) rec.ulBlockNum = KVFS_PENDING_FREE;
    Chip().Faults().Clear();
  }
  ExpectConsistent();
}

TEST_F(KvfsBlockMgTest, TruncatingCopiesKeepOnlyThePagesOfTheNewSizeAlsoAfterARemount) {
  struct Case {
    uint32_t size;
    uint32_t pages;          // data pages kept besides the header
    uint32_t lastLength;     // length of the last kept page
  } cases[] = {{0, 0, 0}, {kPageSize + kPageSize / 2, 2, kPageSize / 2}, {2 * kPageSize, 2, kPageSize}};
  uint32_t id = 100;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.size);
    KVFS_BLOCK_NODE *node = MakeFile(++id, 3);
    uint32_t old = node->ulBlockNum;
    ASSERT_EQ(kvfs_CopyBlockToNew(dev, node, KVFS_TYPE_FILE, c.size, 1), KVFS_OK);
    EXPECT_NE(node->ulBlockNum, old);
    EXPECT_EQ(node->ulSize, c.size);
    EXPECT_EQ(node->iHeaderPage, 0);
    Remount();
    node = Node(KVFS_TYPE_FILE, 0, id);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->ulSize, c.size) << "the mount takes the size from the page lengths";
    for (uint32_t p = 1; p <= 3; p++) {
      std::vector<uint8_t> got = Read(KVFS_TYPE_FILE, 0, id, p);
      if (p > c.pages) {
        EXPECT_TRUE(got.empty()) << p;
        continue;
      }
      std::vector<uint8_t> expect = Pattern(kPageSize, id * 100 + p);
      if (p == c.pages) expect.resize(c.lastLength);
      EXPECT_EQ(got, expect) << p;
    }
    if (c.pages > 0 && c.lastLength < kPageSize) {
      // The rest of the last page is erased on flash.
      std::vector<uint8_t> raw = Chip().ReadRaw(ChipPage(node->ulBlockNum, c.pages + 1));
      for (uint32_t i = c.lastLength; i < kPageSize; i++) ASSERT_EQ(raw[i], 0xFF) << i;
    }
    ExpectConsistent();
  }
  KVFS_BLOCK_NODE *node = Node(KVFS_TYPE_FILE, 0, id);
  EXPECT_EQ(kvfs_CopyBlockToNew(dev, node, KVFS_TYPE_FILE, node->ulSize + 1, 1), KVFS_ERR_COPY_SIZE);
}

TEST_F(KvfsBlockMgTest, AFailedEraseStillWritesTheRecordAndRetiresTheBlock) {
  KVFS_BLOCK_NODE *node = kvfs_GetErasedWithoutReservation(dev);
  ASSERT_NE(node, nullptr);
  uint64_t programs = Chip().Totals().programs;
  Chip().Faults().FailErase(node->ulBlockNum, sim::kNandStatusReady | sim::kNandStatusFail, 1);
  EXPECT_EQ(ReleaseBlock(dev, node), KVFS_ERR_NAND);
  EXPECT_GT(Chip().Totals().programs, programs) << "the erase record was written";
  EXPECT_TRUE(OnBadList(node->ulBlockNum));
  EXPECT_EQ(node->ulBadType, (UINT32)KVFS_BAD_ERASE);
  EXPECT_TRUE(Pending(node->ulBlockNum, KVFS_BAD_ERASE));
  ExpectConsistent();
}

TEST_F(KvfsBlockMgTest, RecoveryWithoutMemoryGivesTheErasedBlockBack) {
  KVFS_BLOCK_NODE *node = MakeData(7, 3);
  uint32_t erased = dev->ulErasedCount;
  kvfs_ExpireAllBlockInfo(dev);
  board->core.FailAllocationAfter(1);
  KVFS_FLUSH_CTX ctx{0, -1};
  EXPECT_EQ(kvfs_RecoverBlock(dev, node, &ctx), KVFS_ERR_NO_MEMORY);
  board->core.FailAllocationAfter(0);
  EXPECT_EQ(dev->ulErasedCount, erased);
  ExpectConsistent();
}

TEST_F(KvfsBlockMgTest, AFailedProgramMovesTheObjectAndRetiresTheBlock) {
  KVFS_BLOCK_NODE *node = MakeData(8, 3);
  uint32_t block = node->ulBlockNum;
  // The next append fails on its first page: recovery moves the object.
  Chip().Faults().FailProgram(sim::NandUnit::Page(ChipPage(block, 4)), sim::kNandStatusReady | sim::kNandStatusFail,
                              1);
  ASSERT_EQ(Write(KVFS_TYPE_DATA, 8, 1, 3, Pattern(kPageSize, 803)), kPageSize);
  ASSERT_EQ(Write(KVFS_TYPE_DATA, 8, 1, 4, Pattern(kPageSize, 804), 0, 1), kPageSize);
  EXPECT_NE(node->ulBlockNum, block);
  EXPECT_TRUE(OnBadList(block));
  EXPECT_EQ(HwEcc_IsBadBlockMarked(dev, block), 1u);
  Remount();
  for (uint32_t p = 0; p < 5; p++) EXPECT_EQ(Read(KVFS_TYPE_DATA, 8, 1, p), Pattern(kPageSize, 800 + p)) << p;
  EXPECT_EQ(dev->ulBadCount, 1u) << "the bad block table brought it back";
  ExpectConsistent();
}

TEST_F(KvfsBlockMgTest, ABlockWhoseProgramFailedIsNeverReused) {
  // The first block a new object would take fails its program.
  KVFS_BLOCK_NODE *next = dev->astErased[0].pHead;
  ASSERT_NE(next, nullptr);
  uint32_t failing = next->ulBlockNum;
  Chip().Faults().FailProgram(sim::NandUnit::Block(failing));
  ASSERT_EQ(Write(KVFS_TYPE_DATA, 9, 1, 0, Pattern(kPageSize, 900), 0, 1, 1), kPageSize);
  KVFS_BLOCK_NODE *node = Node(KVFS_TYPE_DATA, 9, 1);
  ASSERT_NE(node, nullptr);
  EXPECT_NE(node->ulBlockNum, failing);
  EXPECT_TRUE(OnBadList(failing));
  for (uint32_t b = 0; b < KVFS_ERASE_BUCKETS; b++) {
    for (KVFS_BLOCK_NODE *n = dev->astErased[b].pHead; n != nullptr; n = n->pNext) EXPECT_NE(n->ulBlockNum, failing);
  }
  // A truncating copy retires a failing block and copies to another.
  KVFS_BLOCK_NODE *target = dev->astErased[0].pHead;
  uint32_t second = target->ulBlockNum;
  Chip().Faults().FailProgram(sim::NandUnit::Block(second));
  EXPECT_EQ(kvfs_CopyBlockToNew(dev, node, KVFS_TYPE_DATA, 100, 1), KVFS_OK);
  EXPECT_TRUE(OnBadList(second));
  EXPECT_NE(node->ulBlockNum, second);
  Chip().Faults().Clear();
  kvfs_BufSetAllEmpty(dev);
  std::vector<uint8_t> expect = Pattern(kPageSize, 900);
  expect.resize(100);
  EXPECT_EQ(Read(KVFS_TYPE_DATA, 9, 1, 0), expect);
  ExpectConsistent();
}

}  // namespace
}  // namespace kvfstest

namespace kvfstest {
namespace {

class KvfsPendingBadTest : public KvfsTest {};

TEST_F(KvfsPendingBadTest, RecordsKeepTheWorstTypeAndASixthBlockNeverDropsAnObjectMidFlush) {
  kvfs_FindBadBlock(dev, 3, KVFS_BAD_READ);
  kvfs_FindBadBlock(dev, 3, KVFS_BAD_ERASE);
  EXPECT_EQ(dev->astPending[0].ulBlockNum, 3u);
  EXPECT_EQ(dev->astPending[0].ulBadType, (UINT32)KVFS_BAD_READ);
  // An object whose block has a pending read failure stays while a flush
  // runs; the records of blocks nobody uses make room.
  ASSERT_EQ(Write(KVFS_TYPE_DATA, 5, 1, 0, Pattern(100, 5), 0, 1, 1), 100u);
  uint32_t used = Node(KVFS_TYPE_DATA, 5, 1)->ulBlockNum;
  for (KVFS_PENDING_BAD &rec : dev->astPending) rec.ulBlockNum = KVFS_PENDING_FREE;
  kvfs_FindBadBlock(dev, used, KVFS_BAD_READ);
  for (uint32_t b : {11u, 12u, 13u, 14u}) kvfs_FindBadBlock(dev, b, KVFS_BAD_WRITE);
  kvfs_FindBadBlock(dev, 15, KVFS_BAD_WRITE);
  EXPECT_NE(Node(KVFS_TYPE_DATA, 5, 1), nullptr);
  EXPECT_EQ(dev->astPending[0].ulBlockNum, used);
  EXPECT_EQ(dev->astPending[1].ulBlockNum, 15u);
  // The objects layer's pass then retires the failing block.
  kvfs_RecoverBadBlock(dev);
  EXPECT_EQ(Node(KVFS_TYPE_DATA, 5, 1), nullptr);
  EXPECT_EQ(kvfs_NodeOfBlock(dev, used)->ucWhere, KVFS_NODE_BAD);
  for (const KVFS_PENDING_BAD &rec : dev->astPending) EXPECT_EQ(rec.ulBlockNum, KVFS_PENDING_FREE);
  EXPECT_EQ(dev->ulBadChanged, 0u) << "the table was written";
  Remount();
  EXPECT_EQ(dev->ulBadCount, 1u);
  ExpectConsistent();
}

}  // namespace
}  // namespace kvfstest
