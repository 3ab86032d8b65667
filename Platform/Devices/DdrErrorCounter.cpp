#include "Devices/DdrErrorCounter.h"

namespace sim {

uint32_t DdrErrorCounter::Read(uint32_t offset, unsigned width) {
  ++reads_;
  uint32_t word = unfitted_ ? 0xFFFFFFFFu : count_;
  uint32_t shift = (offset % 4) * 8;
  uint32_t mask = width >= 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
  return (word >> shift) & mask;
}

void DdrErrorCounter::Write(uint32_t, unsigned, uint32_t) { ++ignoredWrites_; }

}  // namespace sim
