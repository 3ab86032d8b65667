#include "Devices/LoopbackPlug.h"

namespace sim {

void LoopbackPlug::Set(PlugMode mode, unsigned parameter) {
  mode_ = mode;
  parameter_ = parameter;
  burstsAtSet_ = bursts_;
}

bool LoopbackPlug::Transmit(uint8_t ch, uint64_t nowNs) {
  if (!anySent_ || nowNs - lastSentNs_ >= kBurstGapNs) {
    ++bursts_;
    inBurst_ = 0;
  }
  anySent_ = true;
  lastSentNs_ = nowNs;
  ++sent_;
  ++inBurst_;

  bool echo = false;
  switch (mode_) {
    case PlugMode::None: echo = false; break;
    case PlugMode::EchoAll: echo = true; break;
    case PlugMode::EchoFirst: echo = inBurst_ <= parameter_; break;
    case PlugMode::FailFirstBursts: echo = bursts_ - burstsAtSet_ > parameter_; break;
  }
  if (echo) ++echoed_;
  return echo;
}

void LoopbackPlug::ResetCounters() {
  sent_ = 0;
  echoed_ = 0;
  bursts_ = 0;
  burstsAtSet_ = 0;
  anySent_ = false;
  inBurst_ = 0;
}

}  // namespace sim
