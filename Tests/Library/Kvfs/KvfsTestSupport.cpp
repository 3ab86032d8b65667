#include "KvfsTestSupport.h"

#include "Core/RunControl.h"

namespace kvfstest {

void KvfsTest::SetUp() {
  BoardTest::SetUp();
  StartBoard();
}

void KvfsTest::TearDown() {
  if (dev != nullptr && dev->ucInUse) {
    EXPECT_EQ(kvfs_PageBufInUse(dev), 0u);
    EXPECT_EQ(kvfs_BlockInfoInUse(dev), 0u);
    kvfs_Unmount(dev);
    EXPECT_EQ(board->core.PoolBytesInUse(), poolBaseline) << "pool bytes leaked";
  }
  kvfs_ForgetDevices();
  BoardTest::TearDown();
}

void KvfsTest::StartBoard() {
  // NandCtl takes the layout from its device table (0xDC: 64 pages per
  // block) or from ID byte 3 (0xF2 with block size code 0: 32 pages).
  ASSERT_TRUE(pagesPerBlock_ == 64 || pagesPerBlock_ == 32);
  sim::NandGeometry geometry =
      sim::NandGeometry::Custom(pagesPerBlock_ == 64 ? 0xDC : 0xF2, kPageSize, 64, pagesPerBlock_, blocks_);
  if (pagesPerBlock_ == 32) geometry.id[3] = 0x05;
  simtest::ReplaceNandChip(*board, geometry);
  for (uint32_t block : factoryBad) Chip().MarkFactoryBad(block);
  ASSERT_EQ(simtest::LoadNandCtl(*board), EFI_SUCCESS);
  kvfs_ForgetDevices();
  poolBaseline = board->core.PoolBytesInUse();
  Mount();
}

void KvfsTest::Mount() {
  KVFS_BLOCK_RANGE range{0, blocks_ - 1};
  dev = nullptr;
  ASSERT_EQ(kvfs_Mount("cfcard:", &range, 1, &report, &dev), KVFS_OK);
  ASSERT_NE(dev, nullptr);
}

void KvfsTest::Remount() {
  ASSERT_EQ(kvfs_Unmount(dev), KVFS_OK);
  EXPECT_EQ(board->core.PoolBytesInUse(), poolBaseline);
  Mount();
}

void KvfsTest::RestartAfterPowerCut() {
  board->core.RecoverAfterRunEnd();
  Chip().Faults().Clear();
  kvfs_ForgetDevices();
  dev = nullptr;
  poolBaseline = board->core.PoolBytesInUse();
  Mount();
}

uint32_t KvfsTest::Write(uint32_t type, uint32_t father, uint32_t object, uint32_t pageId,
                         const std::vector<uint8_t> &data, uint32_t offset, uint32_t flushNow, uint32_t newBlock) {
  return kvfs_pageWrite(dev, nullptr, data.data(), (UINT32)data.size(), offset, pageId, type, father, object, flushNow,
                        newBlock);
}

std::vector<uint8_t> KvfsTest::Read(uint32_t type, uint32_t father, uint32_t object, uint32_t pageId) {
  KVFS_BLOCK_NODE *node = Node(type, father, object);
  if (node == nullptr) return {};
  std::vector<uint8_t> out(kPageSize);
  uint32_t n = kvfs_pageRead(dev, out.data(), kPageSize, 0, type, pageId, node);
  out.resize(n);
  return out;
}

uint32_t KvfsTest::CountWhere(uint8_t where) const {
  uint32_t count = 0;
  for (uint32_t i = 0; i < dev->ulNodeCount; i++) count += dev->pNodes[i].ucWhere == where ? 1 : 0;
  return count;
}

void KvfsTest::ExpectConsistent() {
  ASSERT_NE(dev, nullptr);
  EXPECT_EQ(kvfs_PageBufInUse(dev), 0u) << "a page buffer was not put back";
  EXPECT_EQ(kvfs_BlockInfoInUse(dev), 0u) << "a block info was not put back";
  // Every buffer is in one list.
  uint32_t buffers = 0;
  for (KVFS_PAGE_BUF *b = dev->pCleanHead; b != nullptr; b = b->pNext) buffers++;
  for (KVFS_PAGE_BUF *b = dev->pDirtyHead; b != nullptr; b = b->pNext) buffers++;
  EXPECT_EQ(buffers, dev->ulBufCount) << "a page buffer was lost from the lists";
  uint32_t infos = 0;
  for (KVFS_BLOCK_INFO *i = dev->pBlockInfoHead; i != nullptr; i = i->pNext) infos++;
  EXPECT_EQ(infos, dev->ulBlockInfoCount) << "a block info was lost from the cache list";
  // Every node in exactly one place, and the lists agree.
  uint32_t erased = 0;
  for (uint32_t b = 0; b < KVFS_ERASE_BUCKETS; b++) {
    for (KVFS_BLOCK_NODE *n = dev->astErased[b].pHead; n != nullptr; n = n->pNext) {
      erased++;
      EXPECT_EQ(n->ucWhere, KVFS_NODE_ERASED);
    }
  }
  EXPECT_EQ(erased, dev->ulErasedCount);
  EXPECT_EQ(erased, CountWhere(KVFS_NODE_ERASED));
  uint32_t used = 0;
  for (uint32_t b = 0; b < KVFS_ERASE_BUCKETS; b++) {
    for (KVFS_BLOCK_NODE *n = dev->astUsed[b].pHead; n != nullptr; n = n->pNext) {
      used++;
      EXPECT_EQ(n->ucWhere, KVFS_NODE_USED);
      EXPECT_EQ(kvfs_FindNode(dev, n->ucType, n->ulFatherID, n->ulObjectID), n);
    }
  }
  EXPECT_EQ(used, CountWhere(KVFS_NODE_USED));
  uint32_t bad = 0;
  for (KVFS_BLOCK_NODE *n = dev->stBadList.pHead; n != nullptr; n = n->pHashNext) bad++;
  EXPECT_EQ(bad, dev->ulBadCount);
  EXPECT_EQ(bad, CountWhere(KVFS_NODE_BAD));
  EXPECT_EQ(erased + used + bad, dev->ulNodeCount) << "a block node is nowhere";
  // No two nodes claim one block.
  std::vector<int> seen(Blocks(), 0);
  for (uint32_t i = 0; i < dev->ulNodeCount; i++) {
    ASSERT_LT(dev->pNodes[i].ulBlockNum, Blocks());
    EXPECT_EQ(++seen[dev->pNodes[i].ulBlockNum], 1) << "block " << dev->pNodes[i].ulBlockNum << " twice";
  }
  EXPECT_EQ(dev->ulReserve, dev->ulErasedCount < KVFS_RESERVED_ERASED ? 1u : dev->ulReserve);
}

std::vector<uint8_t> KvfsTest::Pattern(size_t length, uint32_t seed) {
  std::vector<uint8_t> bytes(length);
  uint32_t x = seed * 2654435761u + 12345;
  for (size_t i = 0; i < length; ++i) {
    x = x * 1103515245u + 12345u;
    bytes[i] = uint8_t(x >> 16);
  }
  return bytes;
}

}  // namespace kvfstest
