// Power cuts at every program and erase of the core's write paths: after
// the restart and mount every object holds either its old or its new pages,
// the device's lists are whole and it keeps working.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "Core/RunControl.h"
#include "KvfsTestSupport.h"

namespace kvfstest {
namespace {

constexpr uint32_t kSmallBlocks = 16;
constexpr uint32_t kSmallPages = 32;  // 31 data pages per block

struct Scenario {
  const char *name;
  // Brings the fresh device to the state before the operation.
  std::function<void(class KvfsPowerCutTest &)> setup;
  // The operation the power cut interrupts.
  std::function<void(class KvfsPowerCutTest &)> operation;
  // Pages (type, father, object, page ID) the operation changes, with their
  // content before and after (empty: absent).
  struct Page {
    uint32_t type, father, object, pageId;
    std::vector<uint8_t> before, after;
  };
  std::vector<Page> pages;
  // Pages the operation must leave alone.
  std::vector<Page> untouched;
};

const sim::NandPowerCutMode kModes[] = {sim::NandPowerCutMode::NotDone, sim::NandPowerCutMode::Torn,
                                        sim::NandPowerCutMode::Completes};

const char *ModeName(sim::NandPowerCutMode mode) {
  switch (mode) {
    case sim::NandPowerCutMode::NotDone: return "not done";
    case sim::NandPowerCutMode::Torn: return "torn";
    default: return "completes";
  }
}

class KvfsPowerCutTest : public KvfsTest {
 public:
  KvfsPowerCutTest() : KvfsTest(kSmallBlocks, kSmallPages) {}

  void FreshBoard() {
    if (dev != nullptr && dev->ucInUse) kvfs_Unmount(dev);
    kvfs_ForgetDevices();
    dev = nullptr;
    board.reset();
    board = std::make_unique<sim::Board>("", settings);
    StartBoard();
  }

  // Programs and erases the operation makes without a cut.
  unsigned CountOperations(const Scenario &s) {
    FreshBoard();
    s.setup(*this);
    sim::NandCounters before = Chip().Totals();
    s.operation(*this);
    sim::NandCounters after = Chip().Totals();
    return unsigned((after.programs - before.programs) + (after.erases - before.erases));
  }

  void Sweep(const Scenario &s) {
    unsigned total = CountOperations(s);
    ASSERT_GT(total, 0u);
    for (sim::NandPowerCutMode mode : kModes) {
      for (unsigned n = 1; n <= total; n++) {
        SCOPED_TRACE(std::string(s.name) + ", " + ModeName(mode) + " cut at operation " + std::to_string(n) + " of " +
                     std::to_string(total));
        FreshBoard();
        s.setup(*this);
        Chip().Faults().CutPowerAt(n, mode);
        sim::RunEnd end = sim::RunGuarded([&] { s.operation(*this); });
        ASSERT_EQ(end.outcome, sim::RunOutcome::PowerCut);
        RestartAfterPowerCut();
        CheckOldOrNew(s);
        ExpectConsistent();
        EXPECT_EQ(dev->ulBadCount, 0u) << "a power cut retires no block";
        // The device goes on working.
        ASSERT_EQ(Write(KVFS_TYPE_DATA, 999, 1, 0, Pattern(100, 999), 0, 1, 1), 100u);
        Remount();
        EXPECT_EQ(Read(KVFS_TYPE_DATA, 999, 1, 0), Pattern(100, 999));
        CheckOldOrNew(s);
        if (HasFatalFailure() || HasNonfatalFailure()) return;
      }
    }
  }

  void CheckOldOrNew(const Scenario &s) {
    kvfs_BufSetAllEmpty(dev);
    bool allOld = true, allNew = true;
    for (const Scenario::Page &p : s.pages) {
      std::vector<uint8_t> got = Read(p.type, p.father, p.object, p.pageId);
      allOld = allOld && got == p.before;
      allNew = allNew && got == p.after;
    }
    EXPECT_TRUE(allOld || allNew) << "a mix of old and new pages";
    for (const Scenario::Page &p : s.untouched) {
      EXPECT_EQ(Read(p.type, p.father, p.object, p.pageId), p.before) << "page " << p.pageId;
    }
  }

  void WritePages(uint32_t father, uint32_t first, uint32_t count, uint32_t seed, bool newObject) {
    for (uint32_t p = first; p < first + count; p++) {
      ASSERT_EQ(Write(KVFS_TYPE_DATA, father, 1, p, PatternOf(seed + p), 0, p + 1 == first + count,
                      newObject && p == first),
                kPageSize);
    }
  }

  // Page patterns kept for the whole test: a run a power cut ends skips
  // destructors, so the interrupted operations allocate nothing on the host.
  const std::vector<uint8_t> &PatternOf(uint32_t seed) {
    auto it = patterns.find(seed);
    if (it == patterns.end()) it = patterns.emplace(seed, Pattern(kPageSize, seed)).first;
    return it->second;
  }
  void Prepare(uint32_t first, uint32_t count) {
    for (uint32_t seed = first; seed < first + count; seed++) PatternOf(seed);
  }
  std::map<uint32_t, std::vector<uint8_t>> patterns;
};

Scenario::Page DataPage(uint32_t father, uint32_t pageId, int before, int after) {
  Scenario::Page page{KVFS_TYPE_DATA, father, 1, pageId, {}, {}};
  if (before >= 0) page.before = KvfsTest::Pattern(kPageSize, uint32_t(before) + pageId);
  if (after >= 0) page.after = KvfsTest::Pattern(kPageSize, uint32_t(after) + pageId);
  return page;
}

TEST_F(KvfsPowerCutTest, AppendingABatchToItsBlock) {
  Scenario s;
  s.name = "append";
  s.setup = [](KvfsPowerCutTest &t) { t.WritePages(5, 0, 5, 100, true); };
  s.operation = [](KvfsPowerCutTest &t) { t.WritePages(5, 2, 4, 200, false); };
  for (uint32_t p = 2; p < 6; p++) s.pages.push_back(DataPage(5, p, p < 5 ? 100 : -1, 200));
  for (uint32_t p = 0; p < 2; p++) s.untouched.push_back(DataPage(5, p, 100, -1));
  Sweep(s);
}

TEST_F(KvfsPowerCutTest, MovingAnObjectToANewBlock) {
  Scenario s;
  s.name = "move";
  s.setup = [](KvfsPowerCutTest &t) { t.WritePages(6, 0, 29, 300, true); };  // 2 pages left
  s.operation = [](KvfsPowerCutTest &t) { t.WritePages(6, 0, 3, 400, false); };
  for (uint32_t p = 0; p < 3; p++) s.pages.push_back(DataPage(6, p, 300, 400));
  for (uint32_t p = 3; p < 29; p++) s.untouched.push_back(DataPage(6, p, 300, -1));
  Sweep(s);
}

TEST_F(KvfsPowerCutTest, CreatingAnObject) {
  Scenario s;
  s.name = "create";
  s.setup = [](KvfsPowerCutTest &t) { t.WritePages(7, 0, 2, 500, true); };
  s.operation = [](KvfsPowerCutTest &t) {
    // Page 0 creates the block; pages 1..3 follow as one appended batch.
    t.WritePages(8, 0, 1, 600, true);
    t.WritePages(8, 1, 3, 600, false);
  };
  s.untouched.push_back(DataPage(7, 0, 500, -1));
  s.untouched.push_back(DataPage(7, 1, 500, -1));
  Sweep(s);
  // The first batch (page 0) and the second (pages 1..3) are each whole.
}

TEST_F(KvfsPowerCutTest, TruncatingCopy) {
  Scenario s;
  s.name = "truncate";
  s.setup = [](KvfsPowerCutTest &t) {
    t.WritePages(9, 0, 6, 700, true);
    ASSERT_EQ(t.Node(KVFS_TYPE_DATA, 9, 1)->ulSize, 6 * kPageSize);
  };
  s.operation = [](KvfsPowerCutTest &t) {
    KVFS_BLOCK_NODE *node = t.Node(KVFS_TYPE_DATA, 9, 1);
    ASSERT_EQ(kvfs_CopyBlockToNew(t.dev, node, KVFS_TYPE_DATA, 2 * kPageSize + 10, 1), KVFS_OK);
  };
  for (uint32_t p = 3; p < 6; p++) s.pages.push_back(DataPage(9, p, 700, -1));
  Scenario::Page cut = DataPage(9, 2, 700, 700);
  cut.after.resize(10);
  s.pages.push_back(cut);
  for (uint32_t p = 0; p < 2; p++) s.untouched.push_back(DataPage(9, p, 700, -1));
  Sweep(s);
}

TEST_F(KvfsPowerCutTest, WearLevellingCopy) {
  Scenario s;
  s.name = "wear levelling";
  s.setup = [](KvfsPowerCutTest &t) {
    t.WritePages(10, 0, 4, 800, true);
    KVFS_BLOCK_NODE *cold = t.Node(KVFS_TYPE_DATA, 10, 1);
    cold->ulEraseCount = 0;
    kvfs_BreakFromList(t.dev, &t.dev->astUsed[0], t.dev->pBadTable);
    kvfs_InsertToList(t.dev, &t.dev->astUsed[0], t.dev->pBadTable);
    t.dev->ulAllocCount = KVFS_WEAR_LEVEL_PERIOD - 1;
  };
  s.operation = [](KvfsPowerCutTest &t) {
    KVFS_BLOCK_NODE *got = kvfs_GetErased(t.dev, nullptr);
    ASSERT_NE(got, nullptr);
    ReleaseBlock(t.dev, got);
    // An append to the moved object follows.
    t.WritePages(10, 4, 2, 900, false);
  };
  for (uint32_t p = 0; p < 4; p++) s.untouched.push_back(DataPage(10, p, 800, -1));
  for (uint32_t p = 4; p < 6; p++) s.pages.push_back(DataPage(10, p, -1, 900));
  Sweep(s);
}

TEST_F(KvfsPowerCutTest, RecoveringFromAFailedProgram) {
  Scenario s;
  s.name = "recovery";
  s.setup = [](KvfsPowerCutTest &t) {
    t.WritePages(11, 0, 4, 1000, true);
    uint32_t block = t.Node(KVFS_TYPE_DATA, 11, 1)->ulBlockNum;
    // The second page of the next batch fails: the block's pages move.
    t.Chip().Faults().FailProgram(sim::NandUnit::Page(t.ChipPage(block, 6)),
                                  sim::kNandStatusReady | sim::kNandStatusFail, 1);
  };
  s.operation = [](KvfsPowerCutTest &t) { t.WritePages(11, 4, 3, 1100, false); };
  for (uint32_t p = 0; p < 4; p++) s.untouched.push_back(DataPage(11, p, 1000, -1));
  for (uint32_t p = 4; p < 7; p++) s.pages.push_back(DataPage(11, p, -1, 1100));
  unsigned total = CountOperations(s);
  // The failed program's block is retired by design; only cuts are checked.
  for (sim::NandPowerCutMode mode : kModes) {
    for (unsigned n = 1; n <= total; n++) {
      SCOPED_TRACE(std::string(ModeName(mode)) + " cut at " + std::to_string(n));
      FreshBoard();
      s.setup(*this);
      Chip().Faults().CutPowerAt(n, mode);
      sim::RunEnd end = sim::RunGuarded([&] { s.operation(*this); });
      if (end.outcome != sim::RunOutcome::PowerCut) continue;
      RestartAfterPowerCut();
      CheckOldOrNew(s);
      ExpectConsistent();
      if (HasFailure()) return;
    }
  }
}

class KvfsMountRulesTest : public KvfsTest {
 public:
  KvfsMountRulesTest() : KvfsTest(kSmallBlocks, kSmallPages) {}
};

TEST_F(KvfsMountRulesTest, AnEraseWithoutItsRecordIsErasedAgainAndGetsOne) {
  KVFS_BLOCK_NODE *erased = dev->astErased[0].pHead;
  uint32_t block = erased->ulBlockNum;
  uint32_t count = erased->ulEraseCount;
  // The erase happened, the power went before the record.
  sim::RunGuarded([&] { Chip().EraseBlock(block); });
  RestartAfterPowerCut();
  EXPECT_EQ(report.ulErasedWithoutRecord, 1u);
  std::vector<uint8_t> raw = Chip().ReadRaw(ChipPage(block, 0));
  EXPECT_EQ(KvfsGet32(raw.data()), KVFS_ERASE_MAGIC);
  EXPECT_GE(KvfsGet32(raw.data() + 4), count) << "the lost count is taken from the device's average";
  ExpectConsistent();
}

TEST_F(KvfsMountRulesTest, ATornLastPageIsDroppedWithoutRetiringTheBlock) {
  for (uint32_t p = 0; p < 3; p++) ASSERT_EQ(Write(KVFS_TYPE_DATA, 3, 1, p, Pattern(kPageSize, p), 0, 1, p == 0), kPageSize);
  uint32_t block = Node(KVFS_TYPE_DATA, 3, 1)->ulBlockNum;
  Chip().Faults().CutPowerAt(1, sim::NandPowerCutMode::Torn, sim::NandPowerCutTarget::Program);
  const std::vector<uint8_t> page = Pattern(kPageSize, 3);  // made before the run the cut ends
  sim::RunEnd end = sim::RunGuarded([&] { Write(KVFS_TYPE_DATA, 3, 1, 3, page, 0, 1); });
  ASSERT_EQ(end.outcome, sim::RunOutcome::PowerCut);
  RestartAfterPowerCut();
  EXPECT_EQ(report.ulRepaired, 1u);
  EXPECT_EQ(dev->ulBadCount, 0u);
  EXPECT_EQ(kvfs_NodeOfBlock(dev, block)->ucWhere == KVFS_NODE_BAD, false);
  for (uint32_t p = 0; p < 3; p++) EXPECT_EQ(Read(KVFS_TYPE_DATA, 3, 1, p), Pattern(kPageSize, p));
  EXPECT_TRUE(Read(KVFS_TYPE_DATA, 3, 1, 3).empty());
  ExpectConsistent();
}

TEST_F(KvfsMountRulesTest, TheSequenceCounterStartsAboveEveryNumberOnFlash) {
  for (uint32_t i = 0; i < 5; i++) ASSERT_EQ(Write(KVFS_TYPE_DATA, 20 + i, 1, 0, Pattern(10, i), 0, 1, 1), 10u);
  UINT32 highest = dev->ulSeq;
  Remount();
  EXPECT_GE(dev->ulSeq, highest);
  EXPECT_GT(kvfs_NextSeq(dev), highest);
}

TEST_F(KvfsMountRulesTest, FactoryBadBlocksAreFoundByTheFormatAndKeptByTheTable) {
  kvfs_Unmount(dev);
  kvfs_ForgetDevices();
  board.reset();
  board = std::make_unique<sim::Board>("", settings);
  factoryBad = {3, 7};
  StartBoard();
  EXPECT_EQ(report.ulFormatted, 1u);
  EXPECT_EQ(dev->ulBadCount, 2u);
  EXPECT_EQ(report.ulErasedBlocks + report.ulUsedBlocks, kSmallBlocks - 2);
  // A torn first data page looks like a factory mark to the raw mark read;
  // with the table on flash the mount never asks for factory marks again.
  KVFS_BLOCK_NODE *erased = dev->astErased[0].pHead;
  uint32_t block = erased->ulBlockNum;
  Chip().Faults().CutPowerAt(1, sim::NandPowerCutMode::Torn, sim::NandPowerCutTarget::Program);
  const std::vector<uint8_t> page = Pattern(kPageSize, 4);
  sim::RunEnd end = sim::RunGuarded([&] { Write(KVFS_TYPE_DATA, 4, 1, 0, page, 0, 1, 1); });
  ASSERT_EQ(end.outcome, sim::RunOutcome::PowerCut);
  RestartAfterPowerCut();
  EXPECT_EQ(report.ulFormatted, 0u);
  EXPECT_EQ(dev->ulBadCount, 2u);
  EXPECT_EQ(kvfs_NodeOfBlock(dev, block)->ucWhere, KVFS_NODE_ERASED);
  EXPECT_TRUE(Node(KVFS_TYPE_DATA, 4, 1) == nullptr);
  ExpectConsistent();
}

TEST_F(KvfsMountRulesTest, TheNewestCompleteCopyWinsAndOlderCopiesAreErased) {
  for (uint32_t p = 0; p < 3; p++) ASSERT_EQ(Write(KVFS_TYPE_DATA, 3, 1, p, Pattern(kPageSize, p), 0, 1, p == 0), kPageSize);
  KVFS_BLOCK_NODE *node = Node(KVFS_TYPE_DATA, 3, 1);
  uint32_t old = node->ulBlockNum;
  // Copy the block by hand to a fresh one with a newer number, as a move
  // cut before the release leaves it.
  KVFS_BLOCK_NODE *fresh = kvfs_GetErasedWithoutReservation(dev);
  ASSERT_EQ(kvfs_BlockCpy(dev, fresh, node), KVFS_OK);
  uint32_t copy = fresh->ulBlockNum;
  // Append one more page to the copy only.
  KVFS_PAGE_BUF *buf = kvfs_GetRemainBuf(dev);
  std::vector<uint8_t> extra = Pattern(kPageSize, 3);
  std::copy(extra.begin(), extra.end(), buf->pData);
  buf->ulType = KVFS_TYPE_DATA;
  buf->ulFatherID = 3;
  buf->ulObjectID = 1;
  buf->ulPageID = 3;
  buf->usLength = kPageSize;
  ASSERT_EQ(kvfs_FlushPageBufToFlash(dev, buf, copy, 3, FALSE, kvfs_BlockSeq(dev, copy), KVFS_BATCH_END), KVFS_OK);
  kvfs_PutBackBuf(dev, buf);
  RestartAfterPowerCut();
  EXPECT_EQ(report.ulSuperseded, 1u);
  node = Node(KVFS_TYPE_DATA, 3, 1);
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->ulBlockNum, copy) << "same number, more completed pages";
  EXPECT_EQ(kvfs_NodeOfBlock(dev, old)->ucWhere, KVFS_NODE_ERASED);
  for (uint32_t p = 0; p < 4; p++) EXPECT_EQ(Read(KVFS_TYPE_DATA, 3, 1, p), Pattern(kPageSize, p));
  ExpectConsistent();
}

}  // namespace
}  // namespace kvfstest
