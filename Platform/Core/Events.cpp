// Events, timers on the virtual clock, task priority levels and Stall.
//
// Timers are checked whenever the clock advances past the earliest due time
// (the clock calls OnClock). A notify function of a signaled
// EVT_NOTIFY_SIGNAL event runs at its own TPL: at once when the current TPL
// is below it, otherwise when RestoreTPL lowers the TPL below it. Notify
// functions may leave by longjmp (ResetSystem), so the dispatch path keeps no
// heap-owning locals and updates every record before it calls out.
#include "Core/FirmwareCoreImpl.h"

namespace sim {

namespace {

constexpr uint32_t kKnownEventTypes = EVT_TIMER | EVT_RUNTIME | EVT_NOTIFY_WAIT | EVT_NOTIFY_SIGNAL;
// A periodic timer that fell further behind than this many periods (one
// huge clock step) skips the older instants instead of firing for each.
constexpr uint64_t kMaxCatchUpFirings = 1000;

uint64_t SaturatingAdd(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

// TriggerTime counts 100 ns units.
uint64_t TriggerToNs(UINT64 triggerTime) { return triggerTime > UINT64_MAX / 100 ? UINT64_MAX : triggerTime * 100; }

}  // namespace

EventRecord *FirmwareCore::Impl::FindEvent(EFI_EVENT event) const {
  if (event == nullptr) return nullptr;
  for (const std::unique_ptr<EventRecord> &record : events) {
    if (record.get() == event) return record.get();
  }
  return nullptr;
}

EventRecord *FirmwareCore::Impl::EarliestArmedTimer() const {
  EventRecord *earliest = nullptr;
  for (size_t i = 0; i < events.size(); ++i) {
    EventRecord *record = events[i].get();
    if (!record->armed) continue;
    if (earliest == nullptr || record->dueNs < earliest->dueNs ||
        (record->dueNs == earliest->dueNs && record->armSerial < earliest->armSerial)) {
      earliest = record;
    }
  }
  return earliest;
}

uint64_t FirmwareCore::Impl::EarliestDueNs() const {
  EventRecord *earliest = EarliestArmedTimer();
  return earliest == nullptr ? UINT64_MAX : earliest->dueNs;
}

void FirmwareCore::Impl::UpdateWake() {
  if (listening) clock.SetWakeNs(EarliestDueNs());
}

void FirmwareCore::Impl::OnClock(void *context, uint64_t) { static_cast<Impl *>(context)->FireDueTimers(); }

void FirmwareCore::Impl::FireDueTimers() {
  // Re-scans after every signal: a notify may create, close or re-arm
  // timers and may advance the clock itself (nested calls fire what falls
  // due meanwhile).
  for (;;) {
    EventRecord *timer = EarliestArmedTimer();
    uint64_t now = clock.NowNs();
    if (timer == nullptr || timer->dueNs > now) break;
    if (timer->periodNs == 0) {
      timer->armed = false;
    } else {
      uint64_t next = SaturatingAdd(timer->dueNs, timer->periodNs);
      if (next < now && (now - next) / timer->periodNs > kMaxCatchUpFirings) {
        next += ((now - next) / timer->periodNs - kMaxCatchUpFirings) * timer->periodNs;
      }
      timer->dueNs = next;
    }
    UpdateWake();
    Signal(timer);
  }
  UpdateWake();
}

void FirmwareCore::Impl::Enqueue(EventRecord *event) {
  if (event->queued) return;
  event->queued = true;
  notifyQueue.push_back(event);
}

void FirmwareCore::Impl::Signal(EventRecord *event) {
  if (event->signaled) return;
  event->signaled = true;
  if ((event->type & EVT_NOTIFY_SIGNAL) != 0) {
    Enqueue(event);
    DispatchAbove(currentTpl);
  }
}

void FirmwareCore::Impl::DispatchAbove(EFI_TPL level) {
  for (;;) {
    size_t best = notifyQueue.size();
    for (size_t i = 0; i < notifyQueue.size(); ++i) {
      EFI_TPL tpl = notifyQueue[i]->notifyTpl;
      if (tpl > level && (best == notifyQueue.size() || tpl > notifyQueue[best]->notifyTpl)) best = i;
    }
    if (best == notifyQueue.size()) break;
    EventRecord *event = notifyQueue[best];
    notifyQueue.erase(notifyQueue.begin() + std::ptrdiff_t(best));
    event->queued = false;
    // A signal event is consumed by its notify; a wait event stays signaled
    // until CheckEvent or WaitForEvent sees it.
    if ((event->type & EVT_NOTIFY_SIGNAL) != 0) event->signaled = false;
    EFI_TPL notifyTpl = event->notifyTpl;
    EFI_TPL outerFloor = notifyFloor;
    currentTpl = notifyTpl;
    notifyFloor = notifyTpl;
    // The notify may close its own event: nothing below touches it.
    event->notify(event, event->context);
    notifyFloor = outerFloor;
    if (currentTpl != notifyTpl) ++tplErrors;  // the notify left its TPL changed
  }
  currentTpl = level;
}

void FirmwareCore::Impl::ResetEventState() {
  for (size_t i = 0; i < events.size(); ++i) {
    events[i]->armed = false;
    events[i]->queued = false;
  }
  notifyQueue.clear();
  currentTpl = TPL_APPLICATION;
  notifyFloor = TPL_APPLICATION;
  UpdateWake();
}

EFI_TPL FirmwareCore::Impl::RaiseTpl(EFI_TPL newTpl) {
  EFI_TPL old = currentTpl;
  if (newTpl > TPL_HIGH_LEVEL) {
    ++tplErrors;
    newTpl = TPL_HIGH_LEVEL;
  }
  if (newTpl < old) {
    // Lowering through RaiseTPL would skip the notifies now due: keep the
    // level.
    ++tplErrors;
    return old;
  }
  currentTpl = newTpl;
  return old;
}

void FirmwareCore::Impl::RestoreTpl(EFI_TPL oldTpl) {
  if (oldTpl > currentTpl) {
    // Raising through RestoreTPL: keep the level.
    ++tplErrors;
    return;
  }
  if (oldTpl < notifyFloor) {
    // Below TPL_APPLICATION, or below the TPL of the running notify.
    ++tplErrors;
    oldTpl = notifyFloor;
  }
  DispatchAbove(oldTpl);
}

EFI_STATUS FirmwareCore::Impl::CreateEvent(UINT32 type, EFI_TPL notifyTpl, EFI_EVENT_NOTIFY notify, void *context,
                                           EFI_EVENT *event) {
  if (event == nullptr) return EFI_INVALID_PARAMETER;
  bool notifyWait = (type & EVT_NOTIFY_WAIT) != 0;
  bool notifySignal = (type & EVT_NOTIFY_SIGNAL) != 0;
  if ((type & ~kKnownEventTypes) != 0 || (notifyWait && notifySignal)) return EFI_INVALID_PARAMETER;
  if (notifyWait || notifySignal) {
    if (notify == nullptr || notifyTpl <= TPL_APPLICATION || notifyTpl > TPL_HIGH_LEVEL) {
      return EFI_INVALID_PARAMETER;
    }
  } else {
    // Without a notify type the function and its TPL are not used.
    notify = nullptr;
    notifyTpl = 0;
  }
  events.push_back(std::make_unique<EventRecord>());
  EventRecord *record = events.back().get();
  record->type = type;
  record->notifyTpl = notifyTpl;
  record->notify = notify;
  record->context = context;
  *event = record;
  return EFI_SUCCESS;
}

EFI_STATUS FirmwareCore::Impl::SetTimer(EFI_EVENT event, EFI_TIMER_DELAY type, UINT64 triggerTime) {
  EventRecord *record = FindEvent(event);
  if (record == nullptr || (record->type & EVT_TIMER) == 0) return EFI_INVALID_PARAMETER;
  uint64_t now = clock.NowNs();
  uint64_t delay = triggerTime == 0 ? FirmwareCore::kTimerTickNs : TriggerToNs(triggerTime);
  switch (type) {
    case TimerCancel:
      record->armed = false;
      break;
    case TimerRelative:
      record->armed = true;
      record->dueNs = SaturatingAdd(now, delay);
      record->periodNs = 0;
      break;
    case TimerPeriodic:
      record->armed = true;
      record->dueNs = SaturatingAdd(now, delay);
      record->periodNs = delay;
      break;
    default:
      return EFI_INVALID_PARAMETER;
  }
  record->armSerial = nextArmSerial++;
  UpdateWake();
  return EFI_SUCCESS;
}

EFI_STATUS FirmwareCore::Impl::SignalEvent(EFI_EVENT event) {
  EventRecord *record = FindEvent(event);
  if (record == nullptr) return EFI_INVALID_PARAMETER;
  Signal(record);
  return EFI_SUCCESS;
}

EFI_STATUS FirmwareCore::Impl::CheckEvent(EFI_EVENT event) {
  EventRecord *record = FindEvent(event);
  if (record == nullptr || (record->type & EVT_NOTIFY_SIGNAL) != 0) return EFI_INVALID_PARAMETER;
  if (!record->signaled && (record->type & EVT_NOTIFY_WAIT) != 0) {
    // The wait notify gets its chance to signal the event first (at its own
    // TPL: deferred while the current TPL is not below it).
    Enqueue(record);
    DispatchAbove(currentTpl);
    record = FindEvent(event);
    if (record == nullptr) return EFI_INVALID_PARAMETER;  // closed by its notify
  }
  if (!record->signaled) return EFI_NOT_READY;
  record->signaled = false;
  return EFI_SUCCESS;
}

EFI_STATUS FirmwareCore::Impl::WaitForEvent(UINTN count, EFI_EVENT *list, UINTN *index) {
  if (count == 0 || list == nullptr || index == nullptr) return EFI_INVALID_PARAMETER;
  if (currentTpl != TPL_APPLICATION) return EFI_UNSUPPORTED;
  uint64_t start = clock.NowNs();
  for (;;) {
    for (UINTN i = 0; i < count; ++i) {
      EFI_STATUS status = CheckEvent(list[i]);
      if (status != EFI_NOT_READY) {
        *index = i;
        return status;
      }
    }
    // Idle until the next timer; a wait notify may be polling something
    // that changes with time, so with one of those the idle is a tick.
    uint64_t now = clock.NowNs();
    uint64_t due = EarliestDueNs();
    bool polled = false;
    for (UINTN i = 0; i < count; ++i) {
      EventRecord *record = FindEvent(list[i]);
      if (record != nullptr && (record->type & EVT_NOTIFY_WAIT) != 0) polled = true;
    }
    uint64_t step = 0;
    if (due != UINT64_MAX) {
      step = due > now ? due - now : 0;
      if (polled && step > FirmwareCore::kTimerTickNs) step = FirmwareCore::kTimerTickNs;
    } else if (polled) {
      step = FirmwareCore::kTimerTickNs;
    } else {
      Halt("WaitForEvent: no timer is armed and nothing else can signal the awaited events");
    }
    if (now - start + step > waitLimitNs) {
      Halt("WaitForEvent: none of the awaited events was signaled within the wait limit");
    }
    clock.Advance(step);
  }
}

EFI_STATUS FirmwareCore::Impl::CloseEvent(EFI_EVENT event) {
  EventRecord *record = FindEvent(event);
  if (record == nullptr) return EFI_INVALID_PARAMETER;
  for (size_t i = 0; i < notifyQueue.size(); ++i) {
    if (notifyQueue[i] == record) {
      notifyQueue.erase(notifyQueue.begin() + std::ptrdiff_t(i));
      break;
    }
  }
  for (size_t i = 0; i < events.size(); ++i) {
    if (events[i].get() == record) {
      events.erase(events.begin() + std::ptrdiff_t(i));
      break;
    }
  }
  UpdateWake();
  return EFI_SUCCESS;
}

EFI_STATUS FirmwareCore::Impl::Stall(UINTN microseconds) {
  uint64_t target = SaturatingAdd(clock.NowNs(), uint64_t(microseconds) * 1000);
  // Steps to each due timer so they fire in order and at their instant;
  // notifies that run on the way may advance the clock themselves.
  while (clock.NowNs() < target) {
    uint64_t now = clock.NowNs();
    uint64_t due = EarliestDueNs();
    uint64_t step = (due > now && due < target) ? due - now : target - now;
    clock.Advance(step);
  }
  return EFI_SUCCESS;
}

}  // namespace sim
