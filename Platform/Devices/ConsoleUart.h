// Transmit side of the board's console UART. The firmware polls the status
// register, writes characters to the transmit holding register and the
// model keeps them as text. The transmitter drains at once unless a test
// holds its ready bits low, for good or for a number of status reads.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "Mmio/MmioBus.h"

namespace sim {

class ConsoleUart : public MmioDevice {
 public:
  static constexpr uint32_t kBase = 0x20001000u;
  static constexpr uint32_t kSize = 0x1000u;
  static constexpr uint32_t kTxHoldingOffset = 0x00u;
  static constexpr uint32_t kStatusOffset = 0x7Cu;
  static constexpr uint32_t kStatusTxNotFull = 0x02u;
  static constexpr uint32_t kStatusTxEmpty = 0x04u;

  // Receives every transmitted character as it is written.
  using Sink = std::function<void(char)>;

  uint32_t Read(uint32_t offset, unsigned width) override;
  void Write(uint32_t offset, unsigned width, uint32_t value) override;

  const std::string &Text() const { return text_; }
  void Clear() { text_.clear(); }
  void SetEcho(Sink sink) { echo_ = std::move(sink); }

  // Fault injection: a ready bit that never rises.
  void SetTxNotFullStuckLow(bool stuck) { txNotFullStuckLow_ = stuck; }
  void SetTxEmptyStuckLow(bool stuck) { txEmptyStuckLow_ = stuck; }
  // The transmitter reads busy (both ready bits low) for the next polls
  // status reads.
  void SetBusyForPolls(uint64_t polls) { busyPolls_ = polls; }

  uint64_t StatusPolls() const { return statusPolls_; }
  uint64_t CharactersWritten() const { return charactersWritten_; }
  // Characters written while the FIFO read full; real hardware drops them,
  // the model keeps them in Text() but counts them here.
  uint64_t WritesWhileFull() const { return writesWhileFull_; }

 private:
  uint8_t Status() const;

  std::string text_;
  Sink echo_;
  bool txNotFullStuckLow_ = false;
  bool txEmptyStuckLow_ = false;
  uint64_t busyPolls_ = 0;
  uint64_t statusPolls_ = 0;
  uint64_t charactersWritten_ = 0;
  uint64_t writesWhileFull_ = 0;
};

}  // namespace sim
