// A firmware core on its own clock, active for the test, with the checks
// every core test wants at the end: no bad frees, no TPL misuse.
#pragma once

#include <gtest/gtest.h>

#include "Core/FirmwareCore.h"
#include "Core/VirtualClock.h"

namespace coretest {

inline EFI_GUID kGuidA = {0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};
inline EFI_GUID kGuidB = {0x44444444, 0x5555, 0x6666, {8, 7, 6, 5, 4, 3, 2, 1}};
inline EFI_GUID kGuidC = {0x77777777, 0x8888, 0x9999, {0, 0, 0, 0, 0, 0, 0, 1}};

constexpr uint64_t kMs = 1000'000;

class CoreTest : public ::testing::Test {
 protected:
  CoreTest() {
    core.Activate();
    bs = core.BootServices();
  }
  void TearDown() override {
    EXPECT_EQ(core.BadFreeCount(), expectedBadFrees);
    EXPECT_EQ(core.TplErrorCount(), expectedTplErrors);
  }

  sim::VirtualClock clock;
  sim::FirmwareCore core{clock};
  EFI_BOOT_SERVICES *bs = nullptr;
  size_t expectedBadFrees = 0;
  size_t expectedTplErrors = 0;
};

}  // namespace coretest
