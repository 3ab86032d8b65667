// Events and timers on the virtual clock, notify dispatch by TPL, CheckEvent
// and WaitForEvent.
#include <deque>
#include <string>
#include <vector>

#include "Platform/Core/CoreFixture.h"
#include "Platform/Core/EventProbe.h"
#include "Core/RunControl.h"

namespace coretest {
namespace {

using Log = std::vector<std::string>;

class EventsTest : public CoreTest {
 protected:
  // Probes live in a deque so their addresses stay put.
  EventProbe &Probe(const std::string &name) {
    probes.emplace_back();
    EventProbe &probe = probes.back();
    probe.name = name;
    probe.log = &log;
    probe.core = &core;
    probe.clock = &clock;
    return probe;
  }
  EFI_EVENT Create(UINT32 type, EFI_TPL tpl, EventProbe *probe) {
    EFI_EVENT event = nullptr;
    EXPECT_EQ(bs->CreateEvent(type, tpl, probe == nullptr ? nullptr : ProbeNotify, probe, &event), EFI_SUCCESS);
    return event;
  }
  EFI_EVENT Timer(EFI_TPL tpl, EventProbe &probe) { return Create(EVT_TIMER | EVT_NOTIFY_SIGNAL, tpl, &probe); }

  std::deque<EventProbe> probes;
  Log log;
};

struct CreateCase {
  const char *name;
  UINT32 type;
  EFI_TPL tpl;
  bool withNotify;
  EFI_STATUS expected;
};
void PrintTo(const CreateCase &c, std::ostream *os) { *os << c.name; }

class CreateEventTest : public EventsTest, public ::testing::WithParamInterface<CreateCase> {};

TEST_P(CreateEventTest, ChecksTypeTplAndNotify) {
  const CreateCase &c = GetParam();
  EventProbe &probe = Probe("p");
  EFI_EVENT event = nullptr;
  EXPECT_EQ(bs->CreateEvent(c.type, c.tpl, c.withNotify ? ProbeNotify : nullptr, &probe, &event), c.expected);
  EXPECT_EQ(core.OpenEventCount(), c.expected == EFI_SUCCESS ? 1u : 0u);
  if (c.expected == EFI_SUCCESS) {
    EXPECT_EQ(bs->CloseEvent(event), EFI_SUCCESS);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Types, CreateEventTest,
    ::testing::Values(CreateCase{"PlainTimer", EVT_TIMER, 0, false, EFI_SUCCESS},
                      CreateCase{"NoType", 0, 0, false, EFI_SUCCESS},
                      CreateCase{"SignalAtCallback", EVT_NOTIFY_SIGNAL, TPL_CALLBACK, true, EFI_SUCCESS},
                      CreateCase{"TimerWaitAtHighLevel", EVT_TIMER | EVT_NOTIFY_WAIT, TPL_HIGH_LEVEL, true,
                                 EFI_SUCCESS},
                      CreateCase{"SignalAtApplication", EVT_NOTIFY_SIGNAL, TPL_APPLICATION, true,
                                 EFI_INVALID_PARAMETER},
                      CreateCase{"SignalAboveHighLevel", EVT_NOTIFY_SIGNAL, TPL_HIGH_LEVEL + 1, true,
                                 EFI_INVALID_PARAMETER},
                      CreateCase{"SignalWithoutNotify", EVT_NOTIFY_SIGNAL, TPL_CALLBACK, false, EFI_INVALID_PARAMETER},
                      CreateCase{"SignalAndWait", EVT_NOTIFY_SIGNAL | EVT_NOTIFY_WAIT, TPL_CALLBACK, true,
                                 EFI_INVALID_PARAMETER},
                      CreateCase{"UnknownTypeBit", EVT_TIMER | 0x1, 0, false, EFI_INVALID_PARAMETER}),
    [](const ::testing::TestParamInfo<CreateCase> &info) { return std::string(info.param.name); });

TEST_F(EventsTest, CreateEventNeedsAPlaceForTheEvent) {
  EXPECT_EQ(bs->CreateEvent(EVT_TIMER, 0, nullptr, nullptr, nullptr), EFI_INVALID_PARAMETER);
}

TEST_F(EventsTest, RelativeTimerFiresOnceAtItsInstant) {
  EventProbe &probe = Probe("t");
  EFI_EVENT timer = Timer(TPL_CALLBACK, probe);
  ASSERT_EQ(bs->SetTimer(timer, TimerRelative, 1000), EFI_SUCCESS);  // 100 us
  EXPECT_EQ(core.ArmedTimerCount(), 1u);
  bs->Stall(99);
  EXPECT_EQ(probe.calls, 0);
  bs->Stall(1);
  ASSERT_EQ(probe.calls, 1);
  EXPECT_EQ(probe.timesNs[0], 100'000u);
  EXPECT_EQ(probe.tpls[0], TPL_CALLBACK);
  EXPECT_EQ(core.CurrentTpl(), TPL_APPLICATION);
  bs->Stall(10'000);
  EXPECT_EQ(probe.calls, 1);
  EXPECT_EQ(core.ArmedTimerCount(), 0u);

  // Zero means the next tick.
  ASSERT_EQ(bs->SetTimer(timer, TimerRelative, 0), EFI_SUCCESS);
  uint64_t armedAt = clock.NowNs();
  bs->Stall(20'000);
  ASSERT_EQ(probe.calls, 2);
  EXPECT_EQ(probe.timesNs[1], armedAt + sim::FirmwareCore::kTimerTickNs);
}

TEST_F(EventsTest, RegisterAccessTimeFiresPlainTimers) {
  EFI_EVENT timer = Create(EVT_TIMER, 0, nullptr);
  ASSERT_EQ(bs->SetTimer(timer, TimerRelative, 10), EFI_SUCCESS);  // 1 us
  for (int access = 1; access < 20; ++access) {
    clock.Advance(50);  // what one register access costs
    ASSERT_EQ(bs->CheckEvent(timer), EFI_NOT_READY) << "after " << access << " accesses";
  }
  clock.Advance(50);
  EXPECT_EQ(bs->CheckEvent(timer), EFI_SUCCESS);
  EXPECT_EQ(bs->CheckEvent(timer), EFI_NOT_READY);  // the check consumed the signal
}

TEST_F(EventsTest, PeriodicTimerFiresOncePerElapsedPeriod) {
  EventProbe &probe = Probe("p");
  EFI_EVENT timer = Timer(TPL_NOTIFY, probe);
  ASSERT_EQ(bs->SetTimer(timer, TimerPeriodic, 100'000), EFI_SUCCESS);  // 10 ms
  bs->Stall(35'000);
  EXPECT_EQ(probe.timesNs, (std::vector<uint64_t>{10 * kMs, 20 * kMs, 30 * kMs}));
  clock.Advance(25 * kMs);  // one long device operation: 40, 50 and 60 ms elapse
  EXPECT_EQ(probe.calls, 6);
  clock.Advance(0);
  clock.Advance(9 * kMs);
  EXPECT_EQ(probe.calls, 6);
  clock.Advance(1 * kMs);
  EXPECT_EQ(probe.calls, 7);

  EventProbe &tick = Probe("tick");
  EFI_EVENT everyTick = Timer(TPL_CALLBACK, tick);
  ASSERT_EQ(bs->SetTimer(everyTick, TimerPeriodic, 0), EFI_SUCCESS);
  bs->Stall(30'000);
  EXPECT_EQ(tick.calls, 3);
}

TEST_F(EventsTest, CancelledOrClosedTimersStayQuiet) {
  EventProbe &cancelled = Probe("cancelled");
  EventProbe &closed = Probe("closed");
  EFI_EVENT first = Timer(TPL_CALLBACK, cancelled);
  EFI_EVENT second = Timer(TPL_CALLBACK, closed);
  ASSERT_EQ(bs->SetTimer(first, TimerPeriodic, 1000), EFI_SUCCESS);
  ASSERT_EQ(bs->SetTimer(second, TimerRelative, 1000), EFI_SUCCESS);
  EXPECT_EQ(bs->SetTimer(first, TimerCancel, 0), EFI_SUCCESS);
  EXPECT_EQ(bs->CloseEvent(second), EFI_SUCCESS);
  EXPECT_EQ(core.ArmedTimerCount(), 0u);
  EXPECT_EQ(core.OpenEventCount(), 1u);
  bs->Stall(1000);
  EXPECT_EQ(cancelled.calls + closed.calls, 0);

  EXPECT_EQ(bs->CloseEvent(second), EFI_INVALID_PARAMETER);
  EXPECT_EQ(bs->SetTimer(second, TimerRelative, 1), EFI_INVALID_PARAMETER);
  EXPECT_EQ(bs->SetTimer(first, EFI_TIMER_DELAY(7), 1), EFI_INVALID_PARAMETER);
  EFI_EVENT notTimer = Create(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, &cancelled);
  EXPECT_EQ(bs->SetTimer(notTimer, TimerRelative, 1), EFI_INVALID_PARAMETER);
}

TEST_F(EventsTest, RaisedTplDefersNotifiesThenRunsThemHighestFirst) {
  EventProbe &cb1 = Probe("cb1");
  EventProbe &nt1 = Probe("nt1");
  EventProbe &cb2 = Probe("cb2");
  EventProbe &nt2 = Probe("nt2");
  EFI_EVENT events[] = {Create(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, &cb1), Create(EVT_NOTIFY_SIGNAL, TPL_NOTIFY, &nt1),
                        Create(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, &cb2), Create(EVT_NOTIFY_SIGNAL, TPL_NOTIFY, &nt2)};

  EXPECT_EQ(bs->RaiseTPL(TPL_HIGH_LEVEL), TPL_APPLICATION);
  for (EFI_EVENT event : events) EXPECT_EQ(bs->SignalEvent(event), EFI_SUCCESS);
  bs->SignalEvent(events[0]);  // a second signal before the notify ran adds nothing
  EXPECT_TRUE(log.empty());
  bs->RestoreTPL(TPL_NOTIFY);
  EXPECT_TRUE(log.empty());  // TPL_NOTIFY notifies wait until the TPL is below them
  bs->RestoreTPL(TPL_CALLBACK);
  EXPECT_EQ(log, (Log{"nt1", "nt2"}));
  bs->RestoreTPL(TPL_APPLICATION);
  EXPECT_EQ(log, (Log{"nt1", "nt2", "cb1", "cb2"}));
  EXPECT_EQ(cb1.tpls, (std::vector<EFI_TPL>{TPL_CALLBACK}));
  EXPECT_EQ(nt2.tpls, (std::vector<EFI_TPL>{TPL_NOTIFY}));
  EXPECT_EQ(core.CurrentTpl(), TPL_APPLICATION);

  // Below the current TPL a signal runs the notify at once.
  EXPECT_EQ(bs->RaiseTPL(TPL_CALLBACK), TPL_APPLICATION);
  bs->SignalEvent(events[1]);
  bs->SignalEvent(events[2]);
  EXPECT_EQ(log.size(), 5u);
  EXPECT_EQ(log.back(), "nt1");
  bs->RestoreTPL(TPL_APPLICATION);
  EXPECT_EQ(log.back(), "cb2");

  // One restore across both levels still runs the higher level first.
  log.clear();
  bs->RaiseTPL(TPL_HIGH_LEVEL);
  for (EFI_EVENT event : events) bs->SignalEvent(event);
  bs->RestoreTPL(TPL_APPLICATION);
  EXPECT_EQ(log, (Log{"nt1", "nt2", "cb1", "cb2"}));
}

TEST_F(EventsTest, NotifySignalingOthersNestsOnlyForHigherTpl) {
  EventProbe &outer = Probe("outer");
  EventProbe &same = Probe("same");
  EventProbe &higher = Probe("higher");
  outer.logEnd = true;
  EFI_EVENT outerEvent = Create(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, &outer);
  outer.signalOnCall = {Create(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, &same), Create(EVT_NOTIFY_SIGNAL, TPL_NOTIFY, &higher)};
  bs->SignalEvent(outerEvent);
  EXPECT_EQ(log, (Log{"outer", "higher", "outer-end", "same"}));
}

TEST_F(EventsTest, TimersDueDuringANotifyStallFireByTpl) {
  EventProbe &slow = Probe("slow");
  EventProbe &urgent = Probe("urgent");
  EventProbe &later = Probe("later");
  slow.stallUs = 5000;
  slow.logEnd = true;
  bs->SetTimer(Timer(TPL_CALLBACK, slow), TimerRelative, 100'000);     // 10 ms
  bs->SetTimer(Timer(TPL_NOTIFY, urgent), TimerRelative, 120'000);     // 12 ms
  bs->SetTimer(Timer(TPL_CALLBACK, later), TimerRelative, 130'000);    // 13 ms
  bs->Stall(20'000);
  EXPECT_EQ(log, (Log{"slow", "urgent", "slow-end", "later"}));
  EXPECT_EQ(urgent.timesNs[0], 12 * kMs);
  EXPECT_EQ(later.timesNs[0], 15 * kMs);  // ran when the slow notify returned
  EXPECT_EQ(clock.NowNs(), 20 * kMs);     // the outer stall counts the time the notify took
}

TEST_F(EventsTest, NotifyMayCloseItsOwnEvent) {
  EventProbe &once = Probe("once");
  once.closeSelf = true;
  EFI_EVENT periodic = Timer(TPL_CALLBACK, once);
  ASSERT_EQ(bs->SetTimer(periodic, TimerPeriodic, 10'000), EFI_SUCCESS);
  bs->Stall(10'000);
  EXPECT_EQ(once.calls, 1);
  EXPECT_EQ(core.OpenEventCount(), 0u);
  EXPECT_EQ(core.ArmedTimerCount(), 0u);

  // Closing an event whose notify is queued drops the notify.
  EventProbe &dropped = Probe("dropped");
  EFI_EVENT queued = Create(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, &dropped);
  bs->RaiseTPL(TPL_NOTIFY);
  bs->SignalEvent(queued);
  EXPECT_EQ(bs->CloseEvent(queued), EFI_SUCCESS);
  bs->RestoreTPL(TPL_APPLICATION);
  EXPECT_EQ(dropped.calls, 0);
}

TEST_F(EventsTest, TplMisuseIsRecordedAndHarmless) {
  EXPECT_EQ(bs->RaiseTPL(TPL_NOTIFY), TPL_APPLICATION);
  EXPECT_EQ(bs->RaiseTPL(TPL_CALLBACK), TPL_NOTIFY);  // lower: refused
  EXPECT_EQ(core.CurrentTpl(), TPL_NOTIFY);
  bs->RestoreTPL(TPL_HIGH_LEVEL);  // higher: refused
  EXPECT_EQ(core.CurrentTpl(), TPL_NOTIFY);
  bs->RestoreTPL(0);  // below TPL_APPLICATION
  EXPECT_EQ(core.CurrentTpl(), TPL_APPLICATION);
  EXPECT_EQ(bs->RaiseTPL(TPL_HIGH_LEVEL + 5), TPL_APPLICATION);
  EXPECT_EQ(core.CurrentTpl(), TPL_HIGH_LEVEL);
  bs->RestoreTPL(TPL_APPLICATION);
  EXPECT_EQ(core.TplErrorCount(), 4u);
  expectedTplErrors = 4;
}

TEST_F(EventsTest, CheckEventReportsAndConsumesTheSignal) {
  EventProbe &signalProbe = Probe("signal");
  EFI_EVENT signalEvent = Create(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, &signalProbe);
  EXPECT_EQ(bs->CheckEvent(signalEvent), EFI_INVALID_PARAMETER);
  EXPECT_EQ(bs->CheckEvent(nullptr), EFI_INVALID_PARAMETER);

  EFI_EVENT plain = Create(0, 0, nullptr);
  EXPECT_EQ(bs->CheckEvent(plain), EFI_NOT_READY);
  bs->SignalEvent(plain);
  EXPECT_EQ(bs->CheckEvent(plain), EFI_SUCCESS);
  EXPECT_EQ(bs->CheckEvent(plain), EFI_NOT_READY);

  // A wait notify runs on every check until it signals its event.
  EventProbe &poller = Probe("poller");
  poller.signalSelfOnCall = 3;
  EFI_EVENT waitEvent = Create(EVT_NOTIFY_WAIT, TPL_CALLBACK, &poller);
  EXPECT_EQ(bs->CheckEvent(waitEvent), EFI_NOT_READY);
  EXPECT_EQ(bs->CheckEvent(waitEvent), EFI_NOT_READY);
  EXPECT_EQ(bs->CheckEvent(waitEvent), EFI_SUCCESS);
  EXPECT_EQ(poller.tpls.back(), TPL_CALLBACK);
  bs->SignalEvent(waitEvent);
  EXPECT_EQ(bs->CheckEvent(waitEvent), EFI_SUCCESS);
  EXPECT_EQ(poller.calls, 3);  // not called while signaled
}

TEST_F(EventsTest, WaitForEventAdvancesToTheFirstSignal) {
  EFI_EVENT slow = Create(EVT_TIMER, 0, nullptr);
  EFI_EVENT fast = Create(EVT_TIMER, 0, nullptr);
  bs->SetTimer(slow, TimerRelative, 500'000);  // 50 ms
  bs->SetTimer(fast, TimerRelative, 200'000);  // 20 ms
  EFI_EVENT list[] = {slow, fast};
  UINTN index = 99;
  EXPECT_EQ(bs->WaitForEvent(2, list, &index), EFI_SUCCESS);
  EXPECT_EQ(index, 1u);
  EXPECT_EQ(clock.NowNs(), 20 * kMs);
  EXPECT_EQ(bs->WaitForEvent(2, list, &index), EFI_SUCCESS);
  EXPECT_EQ(index, 0u);
  EXPECT_EQ(clock.NowNs(), 50 * kMs);

  // A notify of another timer can be what signals the awaited event.
  EFI_EVENT awaited = Create(0, 0, nullptr);
  EventProbe &relay = Probe("relay");
  relay.signalOnCall = {awaited};
  bs->SetTimer(Timer(TPL_CALLBACK, relay), TimerRelative, 30'000);
  EXPECT_EQ(bs->WaitForEvent(1, &awaited, &index), EFI_SUCCESS);
  EXPECT_EQ(clock.NowNs(), 53 * kMs);
}

TEST_F(EventsTest, WaitForEventPollsWaitNotifiesEveryTick) {
  EventProbe &poller = Probe("poller");
  poller.signalSelfOnCall = 4;  // the device it polls is ready on the 4th look
  EFI_EVENT waitEvent = Create(EVT_NOTIFY_WAIT, TPL_NOTIFY, &poller);
  UINTN index = 99;
  EXPECT_EQ(bs->WaitForEvent(1, &waitEvent, &index), EFI_SUCCESS);
  EXPECT_EQ(index, 0u);
  EXPECT_EQ(clock.NowNs(), 3 * sim::FirmwareCore::kTimerTickNs);
}

TEST_F(EventsTest, WaitForEventRejectsBadCalls) {
  EventProbe &probe = Probe("p");
  EFI_EVENT plain = Create(EVT_TIMER, 0, nullptr);
  EFI_EVENT signalEvent = Create(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, &probe);
  EFI_EVENT list[] = {plain, signalEvent};
  UINTN index = 99;
  EXPECT_EQ(bs->WaitForEvent(2, list, &index), EFI_INVALID_PARAMETER);
  EXPECT_EQ(index, 1u);
  EXPECT_EQ(bs->WaitForEvent(0, list, &index), EFI_INVALID_PARAMETER);
  EXPECT_EQ(bs->WaitForEvent(1, list, nullptr), EFI_INVALID_PARAMETER);
  bs->RaiseTPL(TPL_CALLBACK);
  EXPECT_EQ(bs->WaitForEvent(1, list, &index), EFI_UNSUPPORTED);
  bs->RestoreTPL(TPL_APPLICATION);
}

TEST_F(EventsTest, WaitForEventThatCanNeverEndHaltsTheRun) {
  EFI_EVENT never = Create(EVT_TIMER, 0, nullptr);
  sim::RunEnd end = sim::RunGuarded([&] {
    UINTN index = 0;
    bs->WaitForEvent(1, &never, &index);
    ADD_FAILURE() << "WaitForEvent returned";
  });
  EXPECT_EQ(end.outcome, sim::RunOutcome::Halted);
  EXPECT_FALSE(end.reason.empty());
  EXPECT_EQ(clock.NowNs(), 0u);

  // An unrelated periodic timer keeps time moving, but only up to the limit.
  EventProbe &tick = Probe("tick");
  bs->SetTimer(Timer(TPL_CALLBACK, tick), TimerPeriodic, 0);
  core.SetWaitLimitNs(1000 * kMs);
  end = sim::RunGuarded([&] {
    UINTN index = 0;
    bs->WaitForEvent(1, &never, &index);
  });
  EXPECT_EQ(end.outcome, sim::RunOutcome::Halted);
  EXPECT_LE(clock.NowNs(), 1000 * kMs);
  EXPECT_GE(tick.calls, 99);
}

}  // namespace
}  // namespace coretest
