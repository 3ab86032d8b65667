// The board ID register at 0x74000000: a 16-bit read-only value strapped on
// the board. A 32-bit read returns it in the low half; writes change
// nothing. An unfitted register reads as an open bus (all ones).
#pragma once

#include <cstdint>

#include "Mmio/MmioBus.h"

namespace sim {

constexpr uint32_t kBoardIdRegisterBase = 0x74000000u;
constexpr uint32_t kBoardIdRegisterSize = 4;

class BoardIdRegister : public MmioDevice {
 public:
  explicit BoardIdRegister(uint16_t value = 0) : value_(value) {}

  uint32_t Read(uint32_t offset, unsigned width) override;
  void Write(uint32_t offset, unsigned width, uint32_t value) override;

  uint16_t Value() const { return value_; }
  void SetValue(uint16_t value) { value_ = value; }

  // Fault injection: the register is missing and the bus floats high.
  void SetUnfitted(bool unfitted) { unfitted_ = unfitted; }

  uint64_t ReadCount() const { return reads_; }
  uint64_t IgnoredWriteCount() const { return ignoredWrites_; }

 private:
  uint16_t value_;
  bool unfitted_ = false;
  uint64_t reads_ = 0;
  uint64_t ignoredWrites_ = 0;
};

}  // namespace sim
