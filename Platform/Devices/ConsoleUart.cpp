#include "Devices/ConsoleUart.h"

namespace sim {

uint8_t ConsoleUart::Status() const {
  if (busyPolls_ > 0) return 0;
  uint8_t status = 0;
  if (!txNotFullStuckLow_) status |= kStatusTxNotFull;
  if (!txEmptyStuckLow_) status |= kStatusTxEmpty;
  return status;
}

uint32_t ConsoleUart::Read(uint32_t offset, unsigned width) {
  // Only the status register is modelled; the receive side and the line
  // settings read as zero.
  if (offset != kStatusOffset) return 0;
  ++statusPolls_;
  uint8_t status = Status();
  if (busyPolls_ > 0) --busyPolls_;
  return status;
}

void ConsoleUart::Write(uint32_t offset, unsigned width, uint32_t value) {
  if (offset != kTxHoldingOffset) return;
  if ((Status() & kStatusTxNotFull) == 0) ++writesWhileFull_;
  char character = char(value & 0xFF);
  text_.push_back(character);
  ++charactersWritten_;
  if (echo_) echo_(character);
}

}  // namespace sim
