#include "Devices/BoardIdRegister.h"

namespace sim {

uint32_t BoardIdRegister::Read(uint32_t offset, unsigned width) {
  ++reads_;
  // The 16-bit value sits in the low half of the 32-bit window; the upper
  // half reads as zero (or as ones on an open bus).
  uint32_t word = unfitted_ ? 0xFFFFFFFFu : value_;
  uint32_t shift = (offset % 4) * 8;
  uint32_t mask = width >= 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
  return (word >> shift) & mask;
}

void BoardIdRegister::Write(uint32_t, unsigned, uint32_t) { ++ignoredWrites_; }

}  // namespace sim
