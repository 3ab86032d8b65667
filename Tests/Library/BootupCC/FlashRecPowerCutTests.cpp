// Power fails during every program operation of FlashRecPut in turn. The
// next boot must read the old or the new record (never first
// configuration), and the next store must leave both copies valid.
#include <gtest/gtest.h>

#include "BootupCC/records/FlashRec.h"
#include "Core/RunControl.h"
#include "RecordTestSupport.h"

namespace rectest {
namespace {

struct UpdateCase {
  const char *name;
  FlashRec before;
  FlashRec after;
};

class FlashRecPowerCutTest : public RecordTest {
 protected:
  void StartFrom(const FlashRec &record) {
    FreshBoard();
    Store(FLASHDESC_ADDR, record);
    Store(FLASHDESC_BACK_ADDR, record);
  }

  // Program operations one complete FlashRecPut issues.
  uint64_t CountProgramOps(const UpdateCase &c) {
    StartFrom(c.before);
    board->bootFlash->ResetCounters();
    FlashRec record = c.after;
    EXPECT_EQ(FlashRecPut(&record), 0);
    return board->bootFlash->Totals().programOps;
  }
};

TEST_F(FlashRecPowerCutTest, EveryCutPointKeepsTheOldOrTheNewRecord) {
  const UpdateCase cases[] = {
      // Needs an erase: the whole copy is programmed again.
      {"new package", MakeRecord("cfcard:/old.cc", 1), MakeRecord("ofs1:/new_package.cc", 0)},
      // Only a few bits change; the pages that differ are programmed in place
      // or after an erase, as the bits demand.
      {"count incremented", MakeRecord("cfcard:/old.cc", 1), MakeRecord("cfcard:/old.cc", 2)},
  };
  for (const UpdateCase &c : cases) {
    SCOPED_TRACE(c.name);
    uint64_t programOps = CountProgramOps(c);
    ASSERT_GT(programOps, 1u);

    for (unsigned cut = 1; cut <= programOps; ++cut) {
      SCOPED_TRACE("power cut during program operation " + std::to_string(cut) + " of " +
                   std::to_string(programOps));
      StartFrom(c.before);
      board->bootFlash->CutPowerDuringProgram(cut);
      sim::RunEnd end = sim::RunGuarded([&] {
        FlashRec record = c.after;
        FlashRecPut(&record);
      });
      ASSERT_EQ(end.outcome, sim::RunOutcome::PowerCut);
      board->core.RecoverAfterRunEnd();

      // The next boot, on the same flash.
      gFirstConfigMarker = 0;
      FlashRec got;
      ASSERT_EQ(FlashRecGet(&got), 0);
      EXPECT_EQ(gFirstConfigMarker, 0);
      EXPECT_TRUE(SameBytes(got, c.before) || SameBytes(got, c.after));

      FlashRec next = c.after;
      next.ulHidPackageStarted = 3;
      ASSERT_EQ(FlashRecPut(&next), 0);
      EXPECT_TRUE(StoredValid(FLASHDESC_ADDR));
      EXPECT_TRUE(StoredValid(FLASHDESC_BACK_ADDR));
      EXPECT_TRUE(SameBytes(Stored(FLASHDESC_ADDR), Stored(FLASHDESC_BACK_ADDR)));
    }
  }
}

}  // namespace
}  // namespace rectest
