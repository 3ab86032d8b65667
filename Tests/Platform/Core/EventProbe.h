// A notify function for tests that records each call (time, TPL) into a
// shared log and can act like firmware notify code: signal other events,
// stall, close its own event, reset the board.
#pragma once

#include <string>
#include <vector>

#include "Core/FirmwareCore.h"
#include "Core/VirtualClock.h"

namespace coretest {

struct EventProbe {
  std::string name;
  std::vector<std::string> *log = nullptr;
  sim::FirmwareCore *core = nullptr;
  sim::VirtualClock *clock = nullptr;

  int calls = 0;
  std::vector<uint64_t> timesNs;
  std::vector<EFI_TPL> tpls;

  // What the notify does, in this order.
  std::vector<EFI_EVENT> signalOnCall;
  UINTN stallUs = 0;
  bool closeSelf = false;
  bool resetOnCall = false;
  int signalSelfOnCall = 0;  // wait notifies: signal own event on this call
  bool logEnd = false;       // log "<name>-end" when done
};

inline VOID EFIAPI ProbeNotify(EFI_EVENT event, VOID *context) {
  EventProbe &probe = *static_cast<EventProbe *>(context);
  EFI_BOOT_SERVICES *bs = probe.core->BootServices();
  ++probe.calls;
  probe.timesNs.push_back(probe.clock->NowNs());
  probe.tpls.push_back(probe.core->CurrentTpl());
  if (probe.log != nullptr) probe.log->push_back(probe.name);
  for (EFI_EVENT other : probe.signalOnCall) bs->SignalEvent(other);
  if (probe.stallUs != 0) bs->Stall(probe.stallUs);
  if (probe.signalSelfOnCall == probe.calls) bs->SignalEvent(event);
  if (probe.closeSelf) bs->CloseEvent(event);
  if (probe.resetOnCall) probe.core->RuntimeServices()->ResetSystem(EfiResetWarm, EFI_ABORTED, 0, nullptr);
  if (probe.logEnd && probe.log != nullptr) probe.log->push_back(probe.name + "-end");
}

}  // namespace coretest
