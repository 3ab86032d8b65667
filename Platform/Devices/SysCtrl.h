// The system control block at 0x20000000. It holds the system PLL register
// (whose output clocks the UARTs) and other control registers, kept here as
// plain storage.
#pragma once

#include <cstdint>
#include <vector>

#include "Mmio/MmioBus.h"

namespace sim {

constexpr uint32_t kSysCtrlBase = 0x20000000;
constexpr uint32_t kSysCtrlSize = 0x1000;
constexpr uint32_t kSysCtrlPllOffset = 0x20;

// Fields of the PLL register. Output in MHz is
// FBDIV x 25 / (REFDIV x POSTDIV1 x POSTDIV2) from a 25 MHz reference.
struct PllSettings {
  uint32_t fbdiv;     // bits 6-17
  uint32_t refdiv;    // bits 0-5
  uint32_t postdiv1;  // bits 18-20
  uint32_t postdiv2;  // bits 21-23
};

uint32_t EncodePll(const PllSettings &pll);
PllSettings DecodePll(uint32_t value);
// The output frequency in Hz, computed the way the board documents it (whole
// MHz); 0 when a divider field is zero.
uint64_t PllFrequencyHz(uint32_t value);

class SysCtrl : public MmioDevice {
 public:
  // FBDIV 40, all dividers 1: 1000 MHz.
  static constexpr uint32_t kDefaultPll = (40u << 6) | 1u | (1u << 18) | (1u << 21);

  SysCtrl();

  uint32_t Read(uint32_t offset, unsigned width) override;
  void Write(uint32_t offset, unsigned width, uint32_t value) override;

  uint32_t PllRegister() const { return Register(kSysCtrlPllOffset); }
  void SetPllRegister(uint32_t value) { SetRegister(kSysCtrlPllOffset, value); }
  void SetPll(const PllSettings &pll) { SetPllRegister(EncodePll(pll)); }
  uint64_t PllHz() const { return PllFrequencyHz(PllRegister()); }

  // Whole 32-bit registers by byte offset (a multiple of 4).
  uint32_t Register(uint32_t offset) const;
  void SetRegister(uint32_t offset, uint32_t value);

 private:
  std::vector<uint32_t> registers_;
};

}  // namespace sim
