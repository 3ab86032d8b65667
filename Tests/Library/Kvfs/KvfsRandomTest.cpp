// A seeded random run of page writes, flushes, truncating copies and
// remounts with injected corrected bit flips and failing programs, checked
// against a plain model of what every page must hold. After every step no
// page buffer or block info is lost, every block node is in one place and
// the pool holds exactly the mounted device's memory.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "KvfsTestSupport.h"

namespace kvfstest {
namespace {

constexpr uint32_t kObjects = 4;
constexpr uint32_t kFatherBase = 100;

class KvfsRandomTest : public KvfsTest, public testing::WithParamInterface<uint32_t> {
 public:
  KvfsRandomTest() : KvfsTest(16, 32) {}

  // Page contents by (object, page ID); absent pages read as nothing.
  std::map<std::pair<uint32_t, uint32_t>, std::vector<uint8_t>> model;

  uint32_t Father(uint32_t o) const { return kFatherBase + o; }
  bool Exists(uint32_t o) { return Node(KVFS_TYPE_DATA, Father(o), 1) != nullptr; }

  uint32_t ModelExtent(uint32_t o) {
    uint32_t extent = 0;
    for (const auto &entry : model) {
      if (entry.first.first != o || entry.second.empty()) continue;
      extent = std::max<uint32_t>(extent, entry.first.second * kPageSize + uint32_t(entry.second.size()));
    }
    return extent;
  }

  void CheckAll() {
    for (uint32_t o = 0; o < kObjects; o++) {
      if (!Exists(o)) continue;
      for (uint32_t p = 0; p < DataPages(); p++) {
        auto it = model.find({o, p});
        std::vector<uint8_t> expect = it == model.end() ? std::vector<uint8_t>() : it->second;
        ASSERT_EQ(Read(KVFS_TYPE_DATA, Father(o), 1, p), expect) << "object " << o << " page " << p;
      }
    }
  }
};

TEST_P(KvfsRandomTest, PagesHoldWhatTheModelSays) {
  std::mt19937 random(GetParam());
  auto pick = [&](uint32_t n) { return uint32_t(random() % n); };
  size_t mountedPool = board->core.PoolBytesInUse();
  unsigned programFailures = 0;
  for (unsigned step = 0; step < 800; step++) {
    SCOPED_TRACE("seed " + std::to_string(GetParam()) + " step " + std::to_string(step));
    uint32_t what = pick(100);
    uint32_t o = pick(kObjects);
    if (what < 60) {
      uint32_t pid = pick(DataPages());
      uint32_t offset = pick(4) == 0 ? pick(kPageSize) : 0;
      uint32_t len = 1 + pick(kPageSize - offset);
      std::vector<uint8_t> data = Pattern(len, random());
      bool exists = Exists(o);
      // Its first page creates the object; the write flushes it at once.
      uint32_t flushNow = pick(5) == 0;
      uint32_t written = Write(KVFS_TYPE_DATA, Father(o), 1, pid, data, offset, flushNow, !exists);
      if (!exists && offset > 0) {
        ASSERT_EQ(written, 0u);
      } else {
        ASSERT_EQ(written, len);
        std::vector<uint8_t> &page = model[{o, pid}];
        if (page.size() < offset + len) page.resize(offset + len, 0xFF);
        std::copy(data.begin(), data.end(), page.begin() + offset);
      }
    } else if (what < 72) {
      ASSERT_EQ(kvfs_FlushAllPageBuf(dev, 0), KVFS_OK);
    } else if (what < 82) {
      KVFS_BLOCK_NODE *node = Node(KVFS_TYPE_DATA, Father(o), 1);
      if (node != nullptr && node->ulSize > 0) {
        uint32_t size = pick(node->ulSize + 1);
        ASSERT_EQ(kvfs_CopyBlockToNew(dev, node, KVFS_TYPE_DATA, size, 1), KVFS_OK)
            << Console().substr(Console().size() > 3000 ? Console().size() - 3000 : 0);
        uint32_t g = size / kPageSize, m = size % kPageSize;
        for (auto it = model.begin(); it != model.end();) {
          if (it->first.first == o && (it->first.second > g || (it->first.second == g && m == 0))) {
            it = model.erase(it);
            continue;
          }
          if (it->first.first == o && it->first.second == g && it->second.size() > m) it->second.resize(m);
          ++it;
        }
      }
    } else if (what < 88) {
      Remount();
      mountedPool = board->core.PoolBytesInUse();
      for (uint32_t i = 0; i < kObjects; i++) {
        KVFS_BLOCK_NODE *node = Node(KVFS_TYPE_DATA, Father(i), 1);
        if (node != nullptr) { EXPECT_EQ(node->ulSize, ModelExtent(i)) << "object " << i; }
      }
    } else if (what < 96) {
      // A read disturb the ECC corrects, on some page of the object.
      KVFS_BLOCK_NODE *node = Node(KVFS_TYPE_DATA, Father(o), 1);
      if (node != nullptr) {
        Chip().Faults().FlipBitsOnRead(sim::NandUnit::Page(ChipPage(node->ulBlockNum, 1 + pick(DataPages()))),
                                       1 + pick(4), sim::NandArea::Data, 1);
      }
    } else if (programFailures < 4) {
      // The next program of some page fails.
      programFailures++;
      Chip().Faults().FailProgram(sim::NandUnit::Page(pick(Blocks() * PagesPerBlock())),
                                  sim::kNandStatusReady | sim::kNandStatusFail, 1);
    }
    ExpectConsistent();
    ASSERT_EQ(board->core.PoolBytesInUse(), mountedPool) << "pool bytes";
    if (step % 10 == 9) {
      CheckAll();
      ExpectConsistent();
    }
    if (HasFailure()) return;
  }
  Remount();
  CheckAll();
  ExpectConsistent();
}

INSTANTIATE_TEST_SUITE_P(Seeds, KvfsRandomTest, testing::Values(1u, 2u, 3u, 4u, 5u, 6u));

}  // namespace
}  // namespace kvfstest
