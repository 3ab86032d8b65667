#include "Devices/SysCtrl.h"

#include <stdexcept>

namespace sim {

uint32_t EncodePll(const PllSettings &pll) {
  return (pll.refdiv & 0x3Fu) | ((pll.fbdiv & 0xFFFu) << 6) | ((pll.postdiv1 & 0x7u) << 18) |
         ((pll.postdiv2 & 0x7u) << 21);
}

PllSettings DecodePll(uint32_t value) {
  PllSettings pll;
  pll.refdiv = value & 0x3Fu;
  pll.fbdiv = (value >> 6) & 0xFFFu;
  pll.postdiv1 = (value >> 18) & 0x7u;
  pll.postdiv2 = (value >> 21) & 0x7u;
  return pll;
}

uint64_t PllFrequencyHz(uint32_t value) {
  PllSettings pll = DecodePll(value);
  uint32_t divider = pll.refdiv * pll.postdiv1 * pll.postdiv2;
  if (divider == 0) return 0;
  return uint64_t(pll.fbdiv * 25u / divider) * 1000000u;
}

SysCtrl::SysCtrl() : registers_(kSysCtrlSize / 4, 0) { SetPllRegister(kDefaultPll); }

uint32_t SysCtrl::Register(uint32_t offset) const {
  if (offset % 4 != 0 || offset >= kSysCtrlSize) throw std::out_of_range("system control: bad register offset");
  return registers_[offset / 4];
}

void SysCtrl::SetRegister(uint32_t offset, uint32_t value) {
  if (offset % 4 != 0 || offset >= kSysCtrlSize) throw std::out_of_range("system control: bad register offset");
  registers_[offset / 4] = value;
}

// Narrow accesses read or replace their lanes of the 32-bit register.
uint32_t SysCtrl::Read(uint32_t offset, unsigned width) {
  uint32_t shift = (offset % 4) * 8;
  uint32_t mask = width >= 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
  return (registers_[offset / 4] >> shift) & mask;
}

void SysCtrl::Write(uint32_t offset, unsigned width, uint32_t value) {
  uint32_t shift = (offset % 4) * 8;
  uint32_t mask = width >= 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
  uint32_t &reg = registers_[offset / 4];
  reg = (reg & ~(mask << shift)) | ((value & mask) << shift);
}

}  // namespace sim
