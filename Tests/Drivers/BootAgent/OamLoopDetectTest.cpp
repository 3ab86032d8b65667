// The load-time test-mode probe: loopback plug on the OAM port, or the
// request word in flash.
#include <gtest/gtest.h>

#include "BootAgentTestSupport.h"
#include "Devices/OamUart.h"
#include "Devices/SysCtrl.h"
#include "Support/BoardFixture.h"

namespace {

using simtest::BoardTest;

std::string Repeat(const std::string &text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

struct ProbeCase {
  const char *name;
  sim::OamPlugSetting plug;
  uint32_t testRequestWord;
  INT32 expectedTestMode;
  std::string expectedConsole;  // what the probe prints
  uint64_t expectedBursts;      // attempts the plug saw
};

class TestModeProbe : public BoardTest, public testing::WithParamInterface<ProbeCase> {};

TEST_P(TestModeProbe, DecidesTestModeAndWritesTestBootWord) {
  const ProbeCase &c = GetParam();
  board.reset();
  settings.oamPlug = c.plug;
  board = std::make_unique<sim::Board>("", settings);
  board->bootFlash->Write32(TEST_REQUEST_WORD_OFFSET, c.testRequestWord);
  // A previous test-mode load left the boot word set; every load rewrites it.
  board->bootFlash->Write32(TEST_BOOT_WORD_OFFSET, c.expectedTestMode ? 0xFFFFFFFFu : TEST_MODE_MAGIC);

  ASSERT_EQ(simtest::LoadBootAgent(*board), EFI_SUCCESS);

  EXPECT_EQ(gTestMode, c.expectedTestMode);
  EXPECT_EQ(FlashWord(TEST_BOOT_WORD_OFFSET), c.expectedTestMode ? TEST_MODE_MAGIC : 0xFFFFFFFFu);
  EXPECT_EQ(Console(), c.expectedConsole);
  EXPECT_EQ(board->oamUart->Plug().BurstsSeen(), c.expectedBursts);
  EXPECT_NE(simtest::LocateUet(*board), nullptr);
}

sim::OamPlugSetting Plug(sim::OamPlugKind kind, unsigned count = 0) { return sim::OamPlugSetting{kind, count}; }

INSTANTIATE_TEST_SUITE_P(
    Table, TestModeProbe,
    testing::Values(
        // No plug: every attempt times out on the first character.
        ProbeCase{"NoPlug", Plug(sim::OamPlugKind::None), 0xFFFFFFFFu, 0, "\n", 11},
        ProbeCase{"RequestWord", Plug(sim::OamPlugKind::None), TEST_MODE_MAGIC, 1, "\n", 11},
        ProbeCase{"EchoAll", Plug(sim::OamPlugKind::EchoAll), 0xFFFFFFFFu, 1, "OAM_Loop_Detect\n", 1},
        // Echoes 14 of 15 characters in all 11 attempts: no loopback.
        ProbeCase{"EchoFirst14", Plug(sim::OamPlugKind::EchoFirst, 14), 0xFFFFFFFFu, 0,
                  Repeat("OAM_Loop_Detec", 11) + "\n", 11},
        // Attempts 0 to 3 fail, attempt 4 echoes everything.
        ProbeCase{"FailsUntilAttempt4", Plug(sim::OamPlugKind::FailFirst, 4), 0xFFFFFFFFu, 1, "OAM_Loop_Detect\n", 5},
        // Only the last attempt succeeds.
        ProbeCase{"SucceedsInLastAttempt", Plug(sim::OamPlugKind::FailFirst, 10), 0xFFFFFFFFu, 1,
                  "OAM_Loop_Detect\n", 11},
        ProbeCase{"FailsEveryAttempt", Plug(sim::OamPlugKind::FailFirst, 11), 0xFFFFFFFFu, 0, "\n", 11}),
    [](const testing::TestParamInfo<ProbeCase> &info) { return info.param.name; });

TEST_F(BoardTest, ProbeDrainsLineNoiseBeforeSending) {
  board->oamUart->Plug().SetEchoAll();
  simtest::ResetBootAgentGlobals();
  OamUartInit();  // initialising resets the FIFOs, so the noise comes after
  board->oamUart->QueueReceive("xyz");
  EXPECT_EQ(OamLoopDetect(), 0);
  EXPECT_EQ(Console(), "OAM_Loop_Detect\n");
}

TEST_F(BoardTest, UartIsProgrammedOnceFromThePllClock) {
  // 25 MHz x 48 / (1 x 1 x 1) = 1200 MHz; (1200e6 / 2) / 614400 = 976.
  board->sysCtrl->SetPll(sim::PllSettings{48, 1, 1, 1});
  simtest::ResetBootAgentGlobals();
  OamUartInit();
  EXPECT_EQ(board->oamUart->Divisor(), 976);
  EXPECT_EQ(board->oamUart->LineControl(), 0x03);
  EXPECT_EQ(board->oamUart->InterruptEnable(), 0x00);
  EXPECT_EQ(gOamUartInitMarker, OAM_UART_INIT_DONE);

  board->sysCtrl->SetPll(sim::PllSettings{96, 1, 1, 1});
  OamUartInit();  // already initialised: nothing changes
  EXPECT_EQ(board->oamUart->Divisor(), 976);
}

TEST(OamUartClock, FollowsThePllFieldsInWholeMegahertz) {
  struct {
    sim::PllSettings pll;
    UINT32 hz;
  } cases[] = {
      {{48, 1, 1, 1}, 1200000000u},
      {{40, 1, 1, 1}, 1000000000u},
      {{100, 3, 2, 1}, 416000000u},  // 2500 / 6 = 416 MHz, fraction dropped
      {{64, 1, 2, 2}, 400000000u},
      {{48, 0, 1, 1}, 0u},  // a zero divider describes no clock
      {{48, 1, 0, 1}, 0u},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(OamUartClockHz(sim::EncodePll(c.pll)), c.hz) << "fbdiv " << c.pll.fbdiv << " refdiv " << c.pll.refdiv;
  }
}

}  // namespace
