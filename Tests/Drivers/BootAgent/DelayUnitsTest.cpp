#include <gtest/gtest.h>

#include "Support/BoardFixture.h"

#include "BootupCC/boot/DelayUnits.h"

namespace {

using simtest::BoardTest;

struct DelayCase {
  INT32 units;
  INT32 iterations;  // as the board's signed 32-bit product gives them
};

class DelayUnitsTest : public BoardTest, public testing::WithParamInterface<DelayCase> {};

TEST_P(DelayUnitsTest, SpinsForTheSigned32BitProduct) {
  const DelayCase &c = GetParam();
  EXPECT_EQ(DelayUnitsIterations(c.units), c.iterations);
  uint64_t before = board->clock.NowNs();
  DelayUnits(c.units);
  uint64_t expectedNs = c.iterations > 0 ? uint64_t(c.iterations) * sim::kSpinIterationNs : 0;
  EXPECT_EQ(board->clock.NowNs() - before, expectedNs);
}

INSTANTIATE_TEST_SUITE_P(Table, DelayUnitsTest,
                         testing::Values(DelayCase{1, 10000000}, DelayCase{2, 20000000},
                                         DelayCase{214, 2140000000},
                                         // 2,150,000,000 does not fit: negative, no wait
                                         DelayCase{215, -2144967296},
                                         // 5,000,000,000 wraps to a positive count
                                         DelayCase{500, 705032704}, DelayCase{0, 0}, DelayCase{-1, -10000000}));

}  // namespace
