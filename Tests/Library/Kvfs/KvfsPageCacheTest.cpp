// Page buffers, page reads and writes and the three flush paths, through
// the real stack.
#include <gtest/gtest.h>

#include "KvfsTestSupport.h"

namespace kvfstest {
namespace {

class KvfsPageCacheTest : public KvfsTest {
 protected:
  // Data pages of the block that are written (tag byte 2 not erased).
  uint32_t WrittenPages(uint32_t block) {
    uint32_t count = 0;
    for (uint32_t i = 1; i < PagesPerBlock(); i++) {
      std::vector<uint8_t> raw = Chip().ReadRaw(ChipPage(block, i));
      if (raw[kPageSize + KVFS_TAG_OFF_WRITTEN] != 0xFF) count++;
    }
    return count;
  }
  uint32_t DirtyCount() {
    uint32_t n = 0;
    for (KVFS_PAGE_BUF *b = dev->pDirtyHead; b != nullptr; b = b->pNext) n++;
    return n;
  }
  // A data block object with pages 0..count-1 written, one page per flush
  // batch when oneByOne, else in one batch.
  KVFS_BLOCK_NODE *MakeData(uint32_t father, uint32_t count, bool oneByOne = false) {
    for (uint32_t p = 0; p < count; p++) {
      bool flush = oneByOne || p + 1 == count;
      EXPECT_EQ(Write(KVFS_TYPE_DATA, father, 1, p, Pattern(kPageSize, father * 100 + p), 0, flush, p == 0),
                kPageSize);
    }
    return Node(KVFS_TYPE_DATA, father, 1);
  }
};

TEST_F(KvfsPageCacheTest, TwoWritesToOnePageMakeOneDirtyBufferWithTheLargerEnd) {
  MakeData(7, 1);
  std::vector<uint8_t> a = Pattern(100, 1), b = Pattern(250, 2);
  ASSERT_EQ(Write(KVFS_TYPE_DATA, 7, 1, 1, a, 0), 100u);
  ASSERT_EQ(Write(KVFS_TYPE_DATA, 7, 1, 1, b, 50), 250u);
  ASSERT_EQ(DirtyCount(), 1u);
  EXPECT_EQ(dev->pDirtyHead->usLength, 300u);
  ASSERT_EQ(kvfs_FlushAllPageBuf(dev, 0), KVFS_OK);
  Remount();
  std::vector<uint8_t> expect(a.begin(), a.begin() + 50);
  expect.insert(expect.end(), b.begin(), b.end());
  EXPECT_EQ(Read(KVFS_TYPE_DATA, 7, 1, 1), expect);
  EXPECT_EQ(Node(KVFS_TYPE_DATA, 7, 1)->ulSize, kPageSize + 300);
  ExpectConsistent();
}

TEST_F(KvfsPageCacheTest, AWriteToAnotherObjectFlushesTheFirstOne) {
  MakeData(7, 1);
  MakeData(8, 1);
  ASSERT_EQ(Write(KVFS_TYPE_DATA, 7, 1, 1, Pattern(64, 3)), 64u);
  ASSERT_EQ(Write(KVFS_TYPE_DATA, 8, 1, 1, Pattern(64, 4)), 64u);
  ASSERT_EQ(DirtyCount(), 1u);
  EXPECT_EQ(dev->pDirtyHead->ulFatherID, 8u);
  kvfs_BufSetAllEmpty(dev);  // drop object 8's page and the clean copies
  EXPECT_EQ(Read(KVFS_TYPE_DATA, 7, 1, 1), Pattern(64, 3));
  EXPECT_EQ(Read(KVFS_TYPE_DATA, 8, 1, 1), std::vector<uint8_t>());
  ExpectConsistent();
}

TEST_F(KvfsPageCacheTest, DirtyPagesAppendWhenTheyFitAndMoveTheObjectWhenOnePageIsMissing) {
  struct Case {
    uint32_t dirty;
    bool moves;
  } cases[] = {{3, false}, {4, true}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.dirty);
    uint32_t father = 20 + c.dirty;
    KVFS_BLOCK_NODE *node = MakeData(father, 60);  // 3 pages left
    ASSERT_NE(node, nullptr);
    uint32_t block = node->ulBlockNum;
    uint32_t erased = dev->ulErasedCount;
    for (uint32_t p = 0; p < c.dirty; p++) {
      ASSERT_EQ(Write(KVFS_TYPE_DATA, father, 1, p, Pattern(kPageSize, 7000 + p)), kPageSize);
    }
    ASSERT_EQ(kvfs_FlushAllPageBuf(dev, 0), KVFS_OK);
    EXPECT_EQ(node->ulBlockNum != block, c.moves);
    EXPECT_EQ(dev->ulErasedCount, erased);
    if (c.moves) {
      EXPECT_EQ(kvfs_NodeOfBlock(dev, block)->ucWhere, KVFS_NODE_ERASED);
      EXPECT_EQ(WrittenPages(block), 0u) << "old block erased";
      EXPECT_EQ(WrittenPages(node->ulBlockNum), 60u) << "only the current copies move";
    } else {
      EXPECT_EQ(WrittenPages(block), 63u);
    }
    kvfs_BufSetAllEmpty(dev);
    for (uint32_t p = 0; p < 60; p++) {
      EXPECT_EQ(Read(KVFS_TYPE_DATA, father, 1, p), Pattern(kPageSize, p < c.dirty ? 7000 + p : father * 100 + p))
          << p;
    }
    ExpectConsistent();
  }
}

TEST_F(KvfsPageCacheTest, AFileMovedToANewBlockTakesItsHeaderAndThePagesOfItsSize) {
  struct Case {
    uint32_t size, pages;
  } cases[] = {{0, 1}, {1, 2}, {kPageSize + 1, 3}};
  uint32_t id = 30;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.size);
    ++id;
    std::vector<uint8_t> header(KVFS_OBJECT_HEADER_BYTES, 0);
    ASSERT_EQ(Write(KVFS_TYPE_FILE, 0, id, 0, header, 0, 1, 1), header.size());
    for (uint32_t p = 1; p <= 3; p++) ASSERT_EQ(Write(KVFS_TYPE_FILE, 0, id, p, Pattern(kPageSize, p)), kPageSize);
    ASSERT_EQ(kvfs_FlushAllPageBuf(dev, 0), KVFS_OK);
    KVFS_BLOCK_NODE *node = Node(KVFS_TYPE_FILE, 0, id);
    node->ulSize = c.size;  // the objects layer keeps the file size
    header[0] = 1;
    ASSERT_EQ(Write(KVFS_TYPE_FILE, 0, id, 0, header, 0, 1, 1), header.size());
    EXPECT_EQ(WrittenPages(node->ulBlockNum), c.pages);
    EXPECT_EQ(node->iHeaderPage, 0);
    ExpectConsistent();
  }
}

TEST_F(KvfsPageCacheTest, ReadingAtOrPastThePageLengthCopiesNothing) {
  KVFS_BLOCK_NODE *node = MakeData(9, 1);
  ASSERT_EQ(Write(KVFS_TYPE_DATA, 9, 1, 1, Pattern(100, 1), 0, 1), 100u);
  std::vector<uint8_t> out(kPageSize);
  for (uint32_t offset : {100u, 101u, 2047u}) {
    EXPECT_EQ(kvfs_pageRead(dev, out.data(), 10, offset, KVFS_TYPE_DATA, 1, node), 0u) << offset;
  }
  EXPECT_EQ(kvfs_pageRead(dev, out.data(), 10, 95, KVFS_TYPE_DATA, 1, node), 5u);
  kvfs_BufSetAllEmpty(dev);
  EXPECT_EQ(kvfs_pageRead(dev, out.data(), 10, 100, KVFS_TYPE_DATA, 1, node), 0u);
  ExpectConsistent();
}

TEST_F(KvfsPageCacheTest, OnlyAPageThatNoAttemptCanReadIsRecordedAsBad) {
  struct Case {
    unsigned failures;
    bool read, recorded;
  } cases[] = {{1, true, false}, {2, true, false}, {3, false, true}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.failures);
    KVFS_BLOCK_NODE *node = MakeData(40 + c.failures, 2);
    kvfs_BufSetAllEmpty(dev);
    Read(KVFS_TYPE_DATA, 40 + c.failures, 1, 0);  // the block's tags are cached now
    kvfs_BufSetAllEmpty(dev);
    for (KVFS_PENDING_BAD &rec : dev->astPending) rec.ulBlockNum = KVFS_PENDING_FREE;
    Chip().Faults().MakeUncorrectable(sim::NandUnit::Page(ChipPage(node->ulBlockNum, 2)), sim::NandArea::Data,
                                      c.failures);
    std::vector<uint8_t> got = Read(KVFS_TYPE_DATA, 40 + c.failures, 1, 1);
    EXPECT_EQ(!got.empty(), c.read);
    bool recorded = false;
    for (const KVFS_PENDING_BAD &rec : dev->astPending) {
      recorded = recorded || (rec.ulBlockNum == node->ulBlockNum && rec.ulBadType == KVFS_BAD_READ);
    }
    EXPECT_EQ(recorded, c.recorded);
    Chip().Faults().Clear();
    for (KVFS_PENDING_BAD &rec : dev->astPending) rec.ulBlockNum = KVFS_PENDING_FREE;
    ExpectConsistent();
  }
}

TEST_F(KvfsPageCacheTest, AFlushEndsWhenADirtyPageLiesPastTheSizeItCopies) {
  std::vector<uint8_t> header(KVFS_OBJECT_HEADER_BYTES, 0);
  ASSERT_EQ(Write(KVFS_TYPE_FILE, 0, 50, 0, header, 0, 1, 1), header.size());
  // The file's size is still 0 (no size update yet), page 5 is dirty.
  ASSERT_EQ(Write(KVFS_TYPE_FILE, 0, 50, 5, Pattern(kPageSize, 5)), kPageSize);
  ASSERT_EQ(kvfs_FlushAllPageBuf(dev, 1), KVFS_OK);
  EXPECT_EQ(dev->pDirtyHead, nullptr);
  kvfs_BufSetAllEmpty(dev);
  EXPECT_EQ(Read(KVFS_TYPE_FILE, 0, 50, 5), Pattern(kPageSize, 5));
  EXPECT_EQ(Read(KVFS_TYPE_FILE, 0, 50, 3), std::vector<uint8_t>()) << "a gap page reads empty";
  ExpectConsistent();
}

TEST_F(KvfsPageCacheTest, PageIdsPastTheBlockAreRefused) {
  MakeData(11, 1);
  EXPECT_EQ(Write(KVFS_TYPE_DATA, 11, 1, DataPages(), Pattern(10, 1)), 0u);
  EXPECT_EQ(Write(KVFS_TYPE_FILE, 0, 12, DataPages() - 2, Pattern(10, 1)), 0u);
  EXPECT_EQ(Write(KVFS_TYPE_DATA, 11, 1, 0, Pattern(kPageSize + 1, 1)), 0u);
  EXPECT_EQ(dev->pDirtyHead, nullptr);
}

TEST_F(KvfsPageCacheTest, CorrectedBitFlipsMoveTheObjectToAnotherBlock) {
  KVFS_BLOCK_NODE *node = MakeData(60, 5);
  uint32_t block = node->ulBlockNum;
  kvfs_BufSetAllEmpty(dev);
  Read(KVFS_TYPE_DATA, 60, 1, 0);  // the block's tags are cached now
  kvfs_BufSetAllEmpty(dev);
  Chip().Faults().FlipBitsOnRead(sim::NandUnit::Page(ChipPage(block, 3)), 2, sim::NandArea::Data, 1);
  EXPECT_EQ(Read(KVFS_TYPE_DATA, 60, 1, 2), Pattern(kPageSize, 6002));
  EXPECT_NE(node->ulBlockNum, block);
  EXPECT_EQ(node->ulBitFlip, 0u);
  EXPECT_EQ(WrittenPages(block), 0u);
  kvfs_BufSetAllEmpty(dev);
  for (uint32_t p = 0; p < 5; p++) EXPECT_EQ(Read(KVFS_TYPE_DATA, 60, 1, p), Pattern(kPageSize, 6000 + p));
  ExpectConsistent();
}

TEST_F(KvfsPageCacheTest, BufferOperationsKeepTheirCounts) {
  KVFS_PAGE_BUF *buf = kvfs_GetFreeBuf(dev);
  ASSERT_NE(buf, nullptr);
  EXPECT_EQ(buf->usRefCount, 1u);
  EXPECT_EQ(kvfs_ClearBuf(dev, buf), KVFS_ERR_BUF_NOT_USED);
  EXPECT_EQ(kvfs_BufIsAllFree(dev), KVFS_ERR_BUF_NOT_USED);
  EXPECT_EQ(kvfs_PutBackBuf(dev, buf), KVFS_OK);
  EXPECT_EQ(kvfs_PutBackBuf(dev, buf), KVFS_ERR_BUF_NOT_USED);
  EXPECT_NE(Console().find("[kvfs_PutBackBuf]:the buffer is not used \n"), std::string::npos);
  EXPECT_EQ(kvfs_BufIsAllFree(dev), KVFS_OK);
  MakeData(70, 1);
  ASSERT_EQ(Write(KVFS_TYPE_DATA, 70, 1, 1, Pattern(10, 1)), 10u);
  EXPECT_EQ(kvfs_BufIsAllFree(dev), KVFS_ERR_BUF_IN_USE);
  EXPECT_EQ(kvfs_pageCtrl(dev, 1, 1), KVFS_OK);  // dirty set empty
  EXPECT_EQ(kvfs_BufIsAllFree(dev), KVFS_OK);
  EXPECT_EQ(kvfs_pageCtrl(dev, 1, 3), KVFS_ERR_PARAM);
  EXPECT_EQ(kvfs_pageCtrl(dev, 2, 0), KVFS_ERR_PARAM);
  EXPECT_EQ(kvfs_pageCtrl(dev, 0, 0), KVFS_OK);
  EXPECT_EQ(kvfs_GetFreeBuf(nullptr), nullptr);
  ExpectConsistent();
}

}  // namespace
}  // namespace kvfstest
