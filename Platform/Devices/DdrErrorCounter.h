// The DDR controller's error counter register at 0x18020254: a 32-bit
// read-only count of the memory errors the controller has seen. Writes
// change nothing. An unfitted register reads as an open bus (all ones).
#pragma once

#include <cstdint>

#include "Mmio/MmioBus.h"

namespace sim {

constexpr uint32_t kDdrErrorCounterBase = 0x18020254u;
constexpr uint32_t kDdrErrorCounterSize = 4;

class DdrErrorCounter : public MmioDevice {
 public:
  uint32_t Read(uint32_t offset, unsigned width) override;
  void Write(uint32_t offset, unsigned width, uint32_t value) override;

  uint32_t Count() const { return count_; }
  void SetCount(uint32_t count) { count_ = count; }
  // What the controller does on each memory error it detects.
  void RecordError() { ++count_; }

  // Fault injection: the register is missing and the bus floats high.
  void SetUnfitted(bool unfitted) { unfitted_ = unfitted; }

  uint64_t ReadCount() const { return reads_; }
  uint64_t IgnoredWriteCount() const { return ignoredWrites_; }

 private:
  uint32_t count_ = 0;
  bool unfitted_ = false;
  uint64_t reads_ = 0;
  uint64_t ignoredWrites_ = 0;
};

}  // namespace sim
