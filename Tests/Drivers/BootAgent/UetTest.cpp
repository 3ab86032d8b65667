// BootAgent's entry and the boot protocol's first entry around the boot flow.
#include <gtest/gtest.h>

#include "BootAgentTestSupport.h"
#include "Devices/FlashAccessProtocol.h"
#include "Support/BoardFixture.h"

#include "BootupCC/boot/StartupConfig.h"

namespace {

using simtest::BoardTest;

const char kKrFlagLine[] = "\r\ndwKrFlgAddr = 404008c8\n";
const char kBootMainUnbuilt[] = "[BootMain] is not available in this firmware build\n";
const char kRunningMode[] = " -> BIOS BSP: Running Mode\n";

class UetTest : public BoardTest {
 protected:
  void SetUp() override {
    BoardTest::SetUp();
    ASSERT_EQ(simtest::LoadBootAgent(*board), EFI_SUCCESS);
    uet = simtest::LocateUet(*board);
    ASSERT_NE(uet, nullptr);
    board->consoleUart->Clear();
  }

  sim::RunEnd RunBoot(EFI_STATUS *status) {
    return sim::RunGuarded([&] { *status = uet->UetRunBoot(uet); });
  }

  // Writes of the flag word the firmware asked for.
  uint32_t KrFlagWrites() const {
    uint32_t n = 0;
    for (const auto &call : board->flashAccess->WriteCalls()) {
      if (call.offset == KR_FLAG_WORD_OFFSET && call.length == 4) ++n;
    }
    return n;
  }

  UET_PROTOCOL *uet = nullptr;
};

TEST_F(UetTest, NormalBootRunsTheStepsInOrder) {
  EFI_STATUS status = -1;
  EXPECT_EQ(RunBoot(&status).outcome, sim::RunOutcome::Returned);
  EXPECT_EQ(status, EFI_SUCCESS);
  EXPECT_EQ(Console(), std::string(kKrFlagLine) + "Status=Success\n" + kBootMainUnbuilt + kRunningMode);
}

TEST_F(UetTest, FlagWordIsWrittenAsBytesAtEveryCall) {
  EFI_STATUS status;
  for (int call = 1; call <= 3; ++call) {
    RunBoot(&status);
    uint8_t bytes[4];
    board->bootFlash->Read(KR_FLAG_WORD_OFFSET, bytes, 4);
    EXPECT_EQ(bytes[0], 0xAB);
    EXPECT_EQ(bytes[1], 0xCD);
    EXPECT_EQ(bytes[2], 0x12);
    EXPECT_EQ(bytes[3], 0x34);
    // Read back as a word it never equals 0xABCD1234, so each call writes.
    EXPECT_EQ(KrFlagWrites(), uint32_t(call)) << "call " << call;
  }
}

TEST_F(UetTest, FlagWordHoldingTheExpectedWordIsLeftAlone) {
  board->bootFlash->Write32(KR_FLAG_WORD_OFFSET, KR_FLAG_EXPECTED);
  EFI_STATUS status;
  RunBoot(&status);
  EXPECT_EQ(KrFlagWrites(), 0u);
}

TEST_F(UetTest, FailedFlagWriteIsReportedAndIgnored) {
  board->bootFlash->Write32(KR_FLAG_WORD_OFFSET, 0);  // programming AB CD 12 34 needs an erase
  board->bootFlash->FailNextWrite();
  EFI_STATUS status = -1;
  RunBoot(&status);
  EXPECT_EQ(status, EFI_SUCCESS);
  EXPECT_EQ(Console(), std::string(kKrFlagLine) + "Flash Write Error,Status=Device Error\n" + "Status=Success\n" +
                           kBootMainUnbuilt + kRunningMode);
}

TEST_F(UetTest, TestModeStopsWhenTheNetworkStepFails) {
  gTestMode = 1;
  EFI_STATUS status = 0;
  RunBoot(&status);
  EXPECT_EQ(status, EFI_UNSUPPORTED);
  EXPECT_EQ(Console(), std::string(kKrFlagLine) +
                           "[NetConfigureBoardAddress] is not available in this firmware build\n"
                           "Status=Unsupported\n");
}

TEST_F(UetTest, TestModeRetriesExtBiosMaintenanceEvery500Units) {
  gTestMode = 1;
  gSkipTestNetConfig = 1;
  // The maintenance step never succeeds here; the retry loop runs until the
  // simulator's watchdog ends the run.
  const uint64_t limitNs = board->clock.NowNs() + 5 * 705032704ull + 1000000;
  board->clock.SetTimeLimit(
      limitNs,
      [](void *, uint64_t now) {
        sim::RunEnd end;
        end.outcome = sim::RunOutcome::Halted;
        end.timeNs = now;
        sim::EndRun(end);
      },
      nullptr);
  EFI_STATUS status;
  EXPECT_EQ(RunBoot(&status).outcome, sim::RunOutcome::Halted);
  std::string attempt = "[MaintainExtBios] is not available in this firmware build\n";
  std::string expected = kKrFlagLine;
  for (int i = 0; i < 6; ++i) expected += attempt;
  EXPECT_EQ(Console(), expected);
}

TEST_F(UetTest, ReturningBootFlowClearsTheTestBootWord) {
  board->bootFlash->Write32(TEST_BOOT_WORD_OFFSET, TEST_MODE_MAGIC);
  gTestMode = 0;
  EFI_STATUS status;
  RunBoot(&status);
  EXPECT_EQ(FlashWord(TEST_BOOT_WORD_OFFSET), 0xFFFFFFFFu);
  EXPECT_EQ(gTestMode, 1);
  EXPECT_EQ(Console(), std::string(kKrFlagLine) + "Status=Success\n" + kBootMainUnbuilt + kRunningMode);
}

TEST_F(UetTest, SkippedBootFlowPrintsNoStatusLine) {
  gSkipBootFlow = 1;
  EFI_STATUS status = -1;
  RunBoot(&status);
  EXPECT_EQ(status, EFI_SUCCESS);
  EXPECT_EQ(Console(), std::string(kKrFlagLine) + kRunningMode);
}

TEST_F(UetTest, OtherEntriesFailUntilTheirSubsystemsExist) {
  EXPECT_EQ(uet->UetSetTestParameters(uet, const_cast<CHAR8 *>("10.0.0.1"), const_cast<CHAR8 *>("dir"),
                                      const_cast<CHAR8 *>("f")),
            EFI_UNSUPPORTED);
  EXPECT_EQ(uet->UetDownloadSoftwareList(uet), EFI_UNSUPPORTED);
  EXPECT_EQ(Console(),
            "[UetSetTestParameters] is not available in this firmware build\n"
            "[UpgradeSoft] is not available in this firmware build\n");
}

TEST_F(BoardTest, InstallFailureIsReportedAndReturned) {
  EFI_HANDLE handle = nullptr;
  ASSERT_EQ(simtest::LoadBootAgent(*board, &handle), EFI_SUCCESS);
  board->consoleUart->Clear();
  // The protocol is already on this handle, so a second install fails.
  EXPECT_EQ(InitializeUET(handle), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Console(),
            "\nStatus=Invalid Parameter\n"
            "[InitializeUET:]InstallMultipleProtocolInterfaces Error !\n");
}

TEST_F(BoardTest, FailedTestBootWordWriteDoesNotStopTheLoad) {
  // A previous test-mode load left the word set, so this load must erase.
  board->bootFlash->Write32(TEST_BOOT_WORD_OFFSET, TEST_MODE_MAGIC);
  board->bootFlash->FailNextErase();
  EXPECT_EQ(simtest::LoadBootAgent(*board), EFI_SUCCESS);
  EXPECT_EQ(Console(), "\nStatus=Device Error\n");
  EXPECT_NE(simtest::LocateUet(*board), nullptr);
}

}  // namespace
