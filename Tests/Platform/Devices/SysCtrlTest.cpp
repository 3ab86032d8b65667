// The system control block: the PLL register the UART clock comes from and
// plain storage for the other registers.
#include <gtest/gtest.h>

#include "Devices/SysCtrl.h"
#include "Support/SimTest.h"

namespace sim {
namespace {

class SysCtrlTest : public ::testing::Test {
 protected:
  void SetUp() override { bus.Map("sysctrl", kSysCtrlBase, kSysCtrlSize, &sysctrl); }
  void TearDown() override { simtest::ExpectNoUnownedAccess(bus); }

  VirtualClock clock;
  MmioBus bus{clock};
  SysCtrl sysctrl;
};

TEST_F(SysCtrlTest, DefaultPllRunsAtOneGigahertz) {
  uint32_t pll = bus.Read(kSysCtrlBase + kSysCtrlPllOffset, 4);
  // Decoded by hand the way the firmware does it.
  uint32_t fbdiv = (pll >> 6) & 0xFFF, refdiv = pll & 0x3F;
  uint32_t postdiv1 = (pll >> 18) & 7, postdiv2 = (pll >> 21) & 7;
  ASSERT_NE(refdiv * postdiv1 * postdiv2, 0u);
  uint32_t mhz = fbdiv * 25 / (refdiv * postdiv1 * postdiv2);
  EXPECT_EQ(mhz, 1000u);
  EXPECT_EQ(sysctrl.PllHz(), 1000000000u);
  EXPECT_EQ((mhz * 1000000u / 2) / 614400u, 813u);  // the OAM UART divisor
}

TEST_F(SysCtrlTest, PllFieldsSitInTheirBits) {
  struct Case {
    PllSettings pll;
    uint32_t raw;
    uint64_t hz;
  };
  const Case cases[] = {
      {{40, 1, 1, 1}, 0x00240A01u, 1000000000u},
      {{1, 0, 0, 0}, 1u << 6, 0u},  // a zero divider gives no clock
      {{0xFFF, 0, 0, 0}, 0x3FFC0u, 0u},
      {{0, 0x3F, 0, 0}, 0x3Fu, 0u},
      {{0, 0, 7, 0}, 0x1C0000u, 0u},
      {{0, 0, 0, 7}, 0xE00000u, 0u},
      {{96, 2, 3, 1}, (96u << 6) | 2u | (3u << 18) | (1u << 21), 400000000u},
      {{100, 3, 2, 2}, (100u << 6) | 3u | (2u << 18) | (2u << 21), 208000000u},  // whole MHz
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "fbdiv " << c.pll.fbdiv << " refdiv " << c.pll.refdiv);
    EXPECT_EQ(EncodePll(c.pll), c.raw);
    PllSettings back = DecodePll(c.raw);
    EXPECT_EQ(back.fbdiv, c.pll.fbdiv);
    EXPECT_EQ(back.refdiv, c.pll.refdiv);
    EXPECT_EQ(back.postdiv1, c.pll.postdiv1);
    EXPECT_EQ(back.postdiv2, c.pll.postdiv2);
    EXPECT_EQ(PllFrequencyHz(c.raw), c.hz);
  }

  sysctrl.SetPll(PllSettings{96, 2, 3, 1});
  EXPECT_EQ(bus.Read(kSysCtrlBase + kSysCtrlPllOffset, 4), (96u << 6) | 2u | (3u << 18) | (1u << 21));
  EXPECT_EQ(sysctrl.PllHz(), 400000000u);
}

TEST_F(SysCtrlTest, RegistersKeepWhatIsWrittenInEveryWidth) {
  bus.Write(kSysCtrlBase + 0x40, 4, 0x11223344);
  bus.Write(kSysCtrlBase + 0x41, 1, 0xAB);
  bus.Write(kSysCtrlBase + 0x46, 2, 0xBEEF);
  EXPECT_EQ(bus.Read(kSysCtrlBase + 0x40, 4), 0x1122AB44u);
  EXPECT_EQ(bus.Read(kSysCtrlBase + 0x44, 4), 0xBEEF0000u);
  EXPECT_EQ(bus.Read(kSysCtrlBase + 0x43, 1), 0x11u);
  EXPECT_EQ(sysctrl.Register(0x40), 0x1122AB44u);

  bus.Write(kSysCtrlBase + kSysCtrlPllOffset, 4, 0x00240A02);  // REFDIV 2
  EXPECT_EQ(sysctrl.PllHz(), 500000000u);
  EXPECT_EQ(bus.Read(kSysCtrlBase + 0xFFC, 4), 0u);
  EXPECT_THROW(sysctrl.Register(0x1000), std::out_of_range);
}

}  // namespace
}  // namespace sim
