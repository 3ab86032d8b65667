// The service tables, ResetSystem ending a run, and the life of a core.
#include <cstring>
#include <string>

#include "Platform/Core/CoreFixture.h"
#include "Platform/Core/EventProbe.h"
#include "Core/RunControl.h"

namespace coretest {
namespace {

using FirmwareCoreTest = CoreTest;

TEST_F(FirmwareCoreTest, SystemTableLeadsToCompleteServiceTables) {
  EFI_SYSTEM_TABLE *st = core.SystemTable();
  EXPECT_EQ(st->BootServices, core.BootServices());
  EXPECT_EQ(st->RuntimeServices, core.RuntimeServices());
  EXPECT_EQ(st->Hdr.Signature, 0x5453595320494249ull);
  EXPECT_EQ(st->BootServices->Hdr.Signature, 0x56524553544f4f42ull);
  EXPECT_EQ(st->RuntimeServices->Hdr.Signature, 0x56524553544e5552ull);
  EXPECT_NE(st->RuntimeServices->ResetSystem, nullptr);
  // Every boot-service slot is filled.
  const char *slots = reinterpret_cast<const char *>(st->BootServices) + sizeof(EFI_TABLE_HEADER);
  size_t count = (sizeof(EFI_BOOT_SERVICES) - sizeof(EFI_TABLE_HEADER)) / sizeof(void (*)());
  for (size_t i = 0; i < count; ++i) {
    void (*slot)() = nullptr;
    std::memcpy(&slot, slots + i * sizeof slot, sizeof slot);
    EXPECT_NE(slot, nullptr) << "boot-service slot " << i;
  }

  int hobList = 0;
  core.AddConfigurationTable(kGuidC, &hobList);
  ASSERT_EQ(st->NumberOfTableEntries, 1u);
  EXPECT_EQ(st->ConfigurationTable[0].VendorTable, &hobList);
}

TEST_F(FirmwareCoreTest, ResetSystemEndsTheRunAndIsRecorded) {
  bool after = false;
  clock.Advance(1234);
  static CHAR16 why[] = u"update finished, restarting the board";
  sim::RunEnd end = sim::RunGuarded([&] {
    core.RuntimeServices()->ResetSystem(EfiResetCold, EFI_DEVICE_ERROR, sizeof why, why);
    after = true;
  });
  EXPECT_FALSE(after);
  EXPECT_EQ(end.outcome, sim::RunOutcome::Reset);
  EXPECT_EQ(end.resetType, uint32_t(EfiResetCold));
  EXPECT_EQ(end.value, uint32_t(EFI_DEVICE_ERROR));
  EXPECT_EQ(end.timeNs, 1234u);
  EXPECT_EQ(end.reason, "update finished, restarting the board");
  ASSERT_EQ(core.Resets().size(), 1u);
  EXPECT_EQ(core.Resets()[0].type, EfiResetCold);
  EXPECT_EQ(core.Resets()[0].status, EFI_DEVICE_ERROR);
  EXPECT_EQ(core.Resets()[0].timeNs, 1234u);
}

TEST_F(FirmwareCoreTest, ResetFromATimerNotifyLeavesTheCoreUsable) {
  EventProbe resetter;
  resetter.name = "resetter";
  resetter.core = &core;
  resetter.clock = &clock;
  resetter.resetOnCall = true;
  EFI_EVENT timer = nullptr;
  ASSERT_EQ(bs->CreateEvent(EVT_TIMER | EVT_NOTIFY_SIGNAL, TPL_CALLBACK, ProbeNotify, &resetter, &timer), EFI_SUCCESS);
  ASSERT_EQ(bs->SetTimer(timer, TimerPeriodic, 600'000'000), EFI_SUCCESS);  // the 60 s reset timer

  EventProbe other;
  other.core = &core;
  other.clock = &clock;
  EFI_EVENT otherTimer = nullptr;
  ASSERT_EQ(bs->CreateEvent(EVT_TIMER | EVT_NOTIFY_SIGNAL, TPL_NOTIFY, ProbeNotify, &other, &otherTimer), EFI_SUCCESS);
  ASSERT_EQ(bs->SetTimer(otherTimer, TimerPeriodic, 10'000'000), EFI_SUCCESS);  // 1 s

  sim::RunEnd end = sim::RunGuarded([&] {
    for (;;) bs->Stall(100'000);  // the firmware idles until the reset
  });
  EXPECT_EQ(end.outcome, sim::RunOutcome::Reset);
  EXPECT_EQ(end.value, uint32_t(EFI_ABORTED));
  EXPECT_EQ(end.timeNs, 60'000 * kMs);
  ASSERT_EQ(core.Resets().size(), 1u);
  EXPECT_EQ(core.Resets()[0].timeNs, 60'000 * kMs);

  // The reset took the board back to TPL_APPLICATION and stopped its timers.
  EXPECT_EQ(core.CurrentTpl(), TPL_APPLICATION);
  EXPECT_EQ(core.ArmedTimerCount(), 0u);
  int otherCalls = other.calls;
  clock.Advance(120'000 * kMs);
  EXPECT_EQ(resetter.calls, 1);
  EXPECT_EQ(other.calls, otherCalls);

  // Notifies dispatch normally on the next run.
  EventProbe later;
  later.core = &core;
  later.clock = &clock;
  EFI_EVENT signalEvent = nullptr;
  ASSERT_EQ(bs->CreateEvent(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, ProbeNotify, &later, &signalEvent), EFI_SUCCESS);
  bs->SignalEvent(signalEvent);
  ASSERT_EQ(later.calls, 1);
  EXPECT_EQ(later.tpls[0], TPL_CALLBACK);
  EXPECT_EQ(core.CurrentTpl(), TPL_APPLICATION);
}

TEST_F(FirmwareCoreTest, ResetFromANotifyDeferredUntilRestoreTpl) {
  EventProbe resetter;
  resetter.core = &core;
  resetter.clock = &clock;
  resetter.resetOnCall = true;
  EFI_EVENT event = nullptr;
  ASSERT_EQ(bs->CreateEvent(EVT_NOTIFY_SIGNAL, TPL_NOTIFY, ProbeNotify, &resetter, &event), EFI_SUCCESS);
  sim::RunEnd end = sim::RunGuarded([&] {
    bs->RaiseTPL(TPL_HIGH_LEVEL);
    bs->SignalEvent(event);
    bs->RestoreTPL(TPL_CALLBACK);
  });
  EXPECT_EQ(end.outcome, sim::RunOutcome::Reset);
  EXPECT_EQ(resetter.tpls, (std::vector<EFI_TPL>{TPL_NOTIFY}));
  EXPECT_EQ(core.CurrentTpl(), TPL_APPLICATION);
}

TEST(FirmwareCoreLifetimeTest, CoresComeAndGoOnTheSameClock) {
  sim::VirtualClock clock;
  EventProbe probe;
  probe.clock = &clock;
  for (int round = 0; round < 20; ++round) {
    sim::FirmwareCore core(clock);
    core.Activate();
    EXPECT_EQ(sim::FirmwareCore::Active(), &core);
    probe.core = &core;
    EFI_BOOT_SERVICES *bs = core.BootServices();
    EFI_EVENT timer = nullptr;
    ASSERT_EQ(bs->CreateEvent(EVT_TIMER | EVT_NOTIFY_SIGNAL, TPL_CALLBACK, ProbeNotify, &probe, &timer), EFI_SUCCESS);
    ASSERT_EQ(bs->SetTimer(timer, TimerRelative, 10), EFI_SUCCESS);
    EFI_HANDLE image = core.CreateImageHandle("Driver.efi");
    EXPECT_EQ(core.HandleCount(), 1u);
    EXPECT_NE(image, nullptr);
  }
  EXPECT_EQ(sim::FirmwareCore::Active(), nullptr);
  clock.Advance(1000 * kMs);  // timers of destroyed cores are gone with them
  EXPECT_EQ(probe.calls, 0);
}

TEST(FirmwareCoreLifetimeTest, ActivatingAnotherCoreMovesTheClock) {
  sim::VirtualClock clock;
  sim::FirmwareCore first(clock);
  sim::FirmwareCore second(clock);
  EventProbe probe;
  probe.clock = &clock;
  probe.core = &first;
  first.Activate();
  EFI_EVENT timer = nullptr;
  ASSERT_EQ(first.BootServices()->CreateEvent(EVT_TIMER | EVT_NOTIFY_SIGNAL, TPL_CALLBACK, ProbeNotify, &probe, &timer),
            EFI_SUCCESS);
  ASSERT_EQ(first.BootServices()->SetTimer(timer, TimerRelative, 10), EFI_SUCCESS);
  second.Activate();
  EXPECT_EQ(sim::FirmwareCore::Active(), &second);
  clock.Advance(kMs);
  EXPECT_EQ(probe.calls, 0);
  first.Activate();
  clock.Advance(kMs);
  EXPECT_EQ(probe.calls, 1);
  first.Deactivate();
  EXPECT_EQ(sim::FirmwareCore::Active(), nullptr);
}

}  // namespace
}  // namespace coretest
