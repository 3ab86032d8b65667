// The OAM UART and the loopback plug on its line, driven through the
// register bus the way the firmware's probe drives them.
#include <gtest/gtest.h>

#include <memory>

#include "Devices/OamUart.h"
#include "Support/SimTest.h"

namespace sim {
namespace {

class OamUartTest : public ::testing::Test {
 protected:
  void SetUp() override { bus.Map("oam uart", kOamUartBase, kOamUartSize, uart.get()); }
  // A new UART with a new plug in place of the old one.
  void Replace() {
    bus.Unmap(uart.get());
    uart = std::make_unique<OamUart>(clock);
    bus.Map("oam uart", kOamUartBase, kOamUartSize, uart.get());
  }
  void TearDown() override { simtest::ExpectNoUnownedAccess(bus); }

  uint8_t Reg(uint32_t offset) { return uint8_t(bus.Read(kOamUartBase + offset, 1)); }
  void SetReg(uint32_t offset, uint8_t value) { bus.Write(kOamUartBase + offset, 1, value); }

  // The probe's initialisation at a 1000 MHz system PLL.
  void Init() {
    SetReg(OamUart::kLcr, 3);
    SetReg(OamUart::kIirFcr, 7);
    SetReg(OamUart::kLcr, 0x83);
    const uint32_t divisor = (1000000000u / 2) / 614400u;
    SetReg(OamUart::kRbrThrDll, uint8_t(divisor));
    SetReg(OamUart::kIerDlm, uint8_t(divisor >> 8));
    SetReg(OamUart::kLcr, 3);
    SetReg(OamUart::kIerDlm, 0);
  }
  // Receive with the probe's poll limit; 0 on time-out.
  uint8_t Receive() {
    for (int poll = 0; poll < 500001; ++poll) {
      if (Reg(OamUart::kLsr) & OamUart::kLsrDataReady) return Reg(OamUart::kRbrThrDll);
    }
    return 0;
  }
  void Drain() {
    while (Reg(OamUart::kUsr) & OamUart::kUsrRxFifoNotEmpty) Reg(OamUart::kRbrThrDll);
  }
  // Sends the probe text up to 11 times; the attempt that came back whole,
  // or -1.
  int Probe() {
    static const char kText[] = "OAM_Loop_Detect";
    for (int attempt = 0; attempt <= 10; ++attempt) {
      bool whole = true;
      for (const char *p = kText; *p != '\0' && whole; ++p) {
        while (!(Reg(OamUart::kUsr) & OamUart::kUsrTxFifoNotFull)) {
        }
        SetReg(OamUart::kRbrThrDll, uint8_t(*p));
        whole = Receive() == uint8_t(*p);
      }
      if (whole) return attempt;
      Drain();
    }
    return -1;
  }

  VirtualClock clock;
  MmioBus bus{clock};
  std::unique_ptr<OamUart> uart = std::make_unique<OamUart>(clock);
};

TEST_F(OamUartTest, InitLeavesDivisorAndLineSettingsReadable) {
  Init();
  EXPECT_EQ(uart->Divisor(), 813u);
  EXPECT_EQ(uart->LineControl(), 3u);
  EXPECT_EQ(uart->InterruptEnable(), 0u);
  EXPECT_TRUE(uart->FifosEnabled());
  // Writes under the divisor latch went to the divisor, not the line.
  EXPECT_TRUE(uart->Transmitted().empty());
  EXPECT_EQ(uart->Plug().CharactersSent(), 0u);

  SetReg(OamUart::kLcr, 0x83);
  EXPECT_EQ(Reg(OamUart::kRbrThrDll), 813u & 0xFF);
  EXPECT_EQ(Reg(OamUart::kIerDlm), 813u >> 8);
  SetReg(OamUart::kLcr, 3);
  EXPECT_EQ(Reg(OamUart::kLsr) & (OamUart::kLsrThrEmpty | OamUart::kLsrTxEmpty),
            OamUart::kLsrThrEmpty | OamUart::kLsrTxEmpty);
  EXPECT_EQ(Reg(OamUart::kLsr) & OamUart::kLsrDataReady, 0u);
}

TEST_F(OamUartTest, PlugModesDecideWhichProbeAttemptSucceeds) {
  struct Case {
    const char *name;
    void (*set)(LoopbackPlug &);
    int attempt;  // -1: no loopback found
    uint64_t echoed;
    uint64_t bursts;
  };
  const Case cases[] = {
      {"no plug", [](LoopbackPlug &p) { p.SetNone(); }, -1, 0, 11},
      {"echo all", [](LoopbackPlug &p) { p.SetEchoAll(); }, 0, 15, 1},
      {"echo 14 of 15", [](LoopbackPlug &p) { p.SetEchoFirst(14); }, -1, 11 * 14, 11},
      {"fail 4 bursts", [](LoopbackPlug &p) { p.SetFailFirstBursts(4); }, 4, 15, 5},
      {"fail 11 bursts", [](LoopbackPlug &p) { p.SetFailFirstBursts(11); }, -1, 0, 11},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Replace();
    c.set(uart->Plug());
    Init();
    EXPECT_EQ(Probe(), c.attempt);
    const LoopbackPlug &plug = uart->Plug();
    EXPECT_EQ(plug.CharactersEchoed(), c.echoed);
    EXPECT_EQ(plug.BurstsSeen(), c.bursts);
    EXPECT_EQ(plug.CharactersSent(), uint64_t(uart->Transmitted().size()));
    EXPECT_EQ(uart->ReceiveFifoLevel(), 0u);
  }
}

TEST_F(OamUartTest, BurstsAreSplitByGapsOfOneMillisecond) {
  Init();
  uart->Plug().SetEchoFirst(2);
  auto send = [&](char c) { SetReg(OamUart::kRbrThrDll, uint8_t(c)); };
  send('a');
  send('b');
  clock.Advance(LoopbackPlug::kBurstGapNs - 1000);  // still the same burst
  send('c');
  clock.Advance(LoopbackPlug::kBurstGapNs);
  send('d');
  send('e');
  send('f');
  EXPECT_EQ(uart->Plug().BurstsSeen(), 2u);
  EXPECT_EQ(uart->Plug().CharactersSent(), 6u);
  std::string back;
  while (Reg(OamUart::kLsr) & OamUart::kLsrDataReady) back.push_back(char(Reg(OamUart::kRbrThrDll)));
  EXPECT_EQ(back, "abde");
  EXPECT_EQ(uart->Transmitted(), "abcdef");
}

TEST_F(OamUartTest, ReceivedCharactersFifoResetAndOverrun) {
  Init();
  uart->QueueReceive("xyz");
  EXPECT_NE(Reg(OamUart::kUsr) & OamUart::kUsrRxFifoNotEmpty, 0u);
  EXPECT_EQ(Reg(OamUart::kRbrThrDll), 'x');
  SetReg(OamUart::kIirFcr, 0x03);  // receive FIFO reset
  EXPECT_EQ(Reg(OamUart::kUsr) & OamUart::kUsrRxFifoNotEmpty, 0u);
  EXPECT_EQ(Reg(OamUart::kLsr) & OamUart::kLsrDataReady, 0u);

  uart->QueueReceive(std::string(OamUart::kFifoDepth + 3, 'n'));
  EXPECT_EQ(uart->ReceiveFifoLevel(), OamUart::kFifoDepth);
  EXPECT_EQ(uart->Overruns(), 3u);
  EXPECT_NE(Reg(OamUart::kUsr) & OamUart::kUsrRxFifoFull, 0u);
  EXPECT_NE(Reg(OamUart::kLsr) & OamUart::kLsrOverrun, 0u);
  EXPECT_EQ(Reg(OamUart::kLsr) & OamUart::kLsrOverrun, 0u);  // cleared by reading
  uint64_t readBefore = uart->CharactersRead();
  Drain();
  EXPECT_EQ(uart->CharactersRead() - readBefore, OamUart::kFifoDepth);
}

TEST_F(OamUartTest, LineNoiseOutlastsAFifoResetUntilItIsRead) {
  uart->QueueReceive("q");
  uart->SetLineNoise(1000, 0x55);
  Init();  // resets the FIFO: the queued character goes, the noise stays
  EXPECT_EQ(Reg(OamUart::kRbrThrDll), 0x55);
  uint64_t drained = 1;
  while (Reg(OamUart::kUsr) & OamUart::kUsrRxFifoNotEmpty) {
    EXPECT_EQ(Reg(OamUart::kRbrThrDll), 0x55);
    ++drained;
  }
  EXPECT_EQ(drained, 1000u);
  EXPECT_EQ(uart->LineNoiseRemaining(), 0u);
  EXPECT_EQ(Reg(OamUart::kRbrThrDll), 0u);  // nothing left
}

}  // namespace
}  // namespace sim
