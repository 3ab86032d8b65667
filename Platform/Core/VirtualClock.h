// The simulated board's one clock. Stall, busy loops, register accesses and
// device operations advance it; nothing in the simulation waits in real
// time for a firmware delay.
#pragma once

#include <cstdint>

namespace sim {

class VirtualClock {
 public:
  using Listener = void (*)(void *context, uint64_t nowNs);

  uint64_t NowNs() const { return nowNs_; }
  uint64_t NowUs() const { return nowNs_ / 1000; }

  // Moves time forward, then tells the listener (the firmware core, which
  // fires due timer events).
  void Advance(uint64_t ns) {
    nowNs_ += ns;
    if (listener_ != nullptr && nowNs_ >= wakeNs_) listener_(listenerContext_, nowNs_);
    if (nowNs_ >= limitNs_ && limitHandler_ != nullptr) limitHandler_(limitContext_, nowNs_);
  }

  // Called once time passes LimitNs: the simulator's watchdog for firmware
  // that would spin forever (it ends the run).
  void SetTimeLimit(uint64_t limitNs, Listener handler, void *context) {
    limitNs_ = limitNs;
    limitHandler_ = handler;
    limitContext_ = context;
  }

  void SetListener(Listener listener, void *context) {
    listener_ = listener;
    listenerContext_ = context;
  }
  // The listener is only called once time reaches WakeNs; the core keeps it
  // at its earliest timer so the common path is a single compare.
  void SetWakeNs(uint64_t wakeNs) { wakeNs_ = wakeNs; }

 private:
  uint64_t nowNs_ = 0;
  uint64_t wakeNs_ = UINT64_MAX;
  Listener listener_ = nullptr;
  uint64_t limitNs_ = UINT64_MAX;
  Listener limitHandler_ = nullptr;
  void *limitContext_ = nullptr;
  void *listenerContext_ = nullptr;
};

// Cost of one iteration of a counted CPU busy loop.
constexpr uint64_t kSpinIterationNs = 1;

}  // namespace sim
