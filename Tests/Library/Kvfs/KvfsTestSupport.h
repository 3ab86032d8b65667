// A test board with NandCtl loaded on a small NAND chip and a kvfs device
// mounted over all of it, driven through the real stack: kvfs -> NandCtl's
// page device -> controller model -> chip model.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Devices/NandChip.h"
#include "Devices/NandController.h"
#include "Drivers/NandCtl/NandCtlTestSupport.h"
#include "Support/BoardFixture.h"

#include "Kvfs/KvfsBadBlock.h"
#include "Kvfs/KvfsBlockMg.h"
#include "Kvfs/KvfsHwEcc.h"
#include "Kvfs/KvfsLayout.h"
#include "Kvfs/KvfsMount.h"
#include "Kvfs/KvfsPageCache.h"

namespace kvfstest {

constexpr uint32_t kPageSize = 2048;

class KvfsTest : public simtest::BoardTest {
 public:
  KvfsTest(uint32_t blocks = 16, uint32_t pagesPerBlock = 64) : blocks_(blocks), pagesPerBlock_(pagesPerBlock) {}

  void SetUp() override;
  void TearDown() override;

  // Fits a fresh board with the chip, loads NandCtl and mounts.
  void StartBoard();
  void Mount();
  // Flushes, frees and mounts again (pool accounting comes back).
  void Remount();
  // What a restart after a power cut does: the old device is gone without
  // a flush; the chip keeps what was written.
  void RestartAfterPowerCut();

  sim::NandChip &Chip() { return *board->nandChip; }
  uint32_t Blocks() const { return blocks_; }
  uint32_t PagesPerBlock() const { return pagesPerBlock_; }
  uint32_t DataPages() const { return pagesPerBlock_ - 1; }
  uint32_t ChipPage(uint32_t block, uint32_t pageIndex) const { return block * pagesPerBlock_ + pageIndex; }

  // Page I/O through kvfs.
  uint32_t Write(uint32_t type, uint32_t father, uint32_t object, uint32_t pageId, const std::vector<uint8_t> &data,
                 uint32_t offset = 0, uint32_t flushNow = 0, uint32_t newBlock = 0);
  std::vector<uint8_t> Read(uint32_t type, uint32_t father, uint32_t object, uint32_t pageId);
  KVFS_BLOCK_NODE *Node(uint32_t type, uint32_t father, uint32_t object) {
    return kvfs_FindNode(dev, type, father, object);
  }

  // Every node in exactly one place, counts consistent, nothing held.
  void ExpectConsistent();
  // Counts of nodes by place.
  uint32_t CountWhere(uint8_t where) const;

  static std::vector<uint8_t> Pattern(size_t length, uint32_t seed);

  KVFS_DEVICE *dev = nullptr;
  KVFS_MOUNT_REPORT report{};
  std::vector<uint32_t> factoryBad;  // blocks the next StartBoard's chip comes with marked bad
  size_t poolBaseline = 0;  // pool bytes in use with NandCtl loaded, before the mount

 private:
  uint32_t blocks_;
  uint32_t pagesPerBlock_;
};

}  // namespace kvfstest
