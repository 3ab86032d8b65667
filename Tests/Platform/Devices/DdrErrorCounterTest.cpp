// The DDR error counter register as firmware sees it on the board's bus.
#include <gtest/gtest.h>

#include <Library/IoLib.h>

#include "Devices/DdrErrorCounter.h"
#include "Support/BoardFixture.h"

namespace {

class DdrErrorCounterTest : public simtest::BoardTest {};

TEST_F(DdrErrorCounterTest, CountsErrorsIgnoresWritesAndFloatsWhenUnfitted) {
  EXPECT_EQ(MmioRead32(sim::kDdrErrorCounterBase), 0u);
  board->ddrErrors->RecordError();
  board->ddrErrors->RecordError();
  EXPECT_EQ(MmioRead32(sim::kDdrErrorCounterBase), 2u);
  MmioWrite32(sim::kDdrErrorCounterBase, 0);  // read-only: no clearing by a write
  board->ddrErrors->SetCount(0x12345678u);
  EXPECT_EQ(MmioRead8(sim::kDdrErrorCounterBase + 1), 0x56u);
  EXPECT_EQ(MmioRead32(sim::kDdrErrorCounterBase), 0x12345678u);
  board->ddrErrors->SetUnfitted(true);
  EXPECT_EQ(MmioRead32(sim::kDdrErrorCounterBase), 0xFFFFFFFFu);
  EXPECT_EQ(board->ddrErrors->ReadCount(), 5u);
  EXPECT_EQ(board->ddrErrors->IgnoredWriteCount(), 1u);
}

}  // namespace
