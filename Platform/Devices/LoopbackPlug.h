// A test plug on the OAM serial port that wires transmit back to receive.
// It sees characters as bursts: a character sent less than 1 ms after the
// previous one continues the burst, a longer gap starts a new one. The
// probe's receive time-out is about 25 ms, so every retried attempt is a
// burst of its own.
#pragma once

#include <cstdint>

namespace sim {

enum class PlugMode {
  None,             // no plug: nothing comes back
  EchoAll,          // every character comes back
  EchoFirst,        // only the first N characters of each burst come back
  FailFirstBursts,  // nothing comes back in the next K bursts, then all
};

class LoopbackPlug {
 public:
  static constexpr uint64_t kBurstGapNs = 1000000;

  void SetNone() { Set(PlugMode::None, 0); }
  void SetEchoAll() { Set(PlugMode::EchoAll, 0); }
  void SetEchoFirst(unsigned n) { Set(PlugMode::EchoFirst, n); }
  void SetFailFirstBursts(unsigned k) { Set(PlugMode::FailFirstBursts, k); }
  PlugMode Mode() const { return mode_; }

  // A character leaves the UART at nowNs. True when it comes back.
  bool Transmit(uint8_t ch, uint64_t nowNs);

  uint64_t CharactersSent() const { return sent_; }
  uint64_t CharactersEchoed() const { return echoed_; }
  uint64_t BurstsSeen() const { return bursts_; }
  void ResetCounters();

 private:
  void Set(PlugMode mode, unsigned parameter);

  PlugMode mode_ = PlugMode::None;
  unsigned parameter_ = 0;
  bool anySent_ = false;
  uint64_t lastSentNs_ = 0;
  uint64_t inBurst_ = 0;  // characters of the current burst so far
  uint64_t sent_ = 0;
  uint64_t echoed_ = 0;
  uint64_t bursts_ = 0;
  uint64_t burstsAtSet_ = 0;  // failing bursts count from the mode change
};

}  // namespace sim
