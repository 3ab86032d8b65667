#include "Mmio/MmioBus.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace sim {

void MmioBus::Map(const std::string &name, uint32_t base, uint32_t size, MmioDevice *device) {
  uint64_t end = uint64_t(base) + size;
  for (const Region &r : regions_) {
    if (base < uint64_t(r.base) + r.size && r.base < end) {
      throw std::logic_error("MMIO region " + name + " overlaps " + r.name);
    }
  }
  regions_.push_back(Region{name, base, size, device});
  lastHit_ = nullptr;
}

void MmioBus::Unmap(MmioDevice *device) {
  regions_.erase(std::remove_if(regions_.begin(), regions_.end(),
                                [device](const Region &r) { return r.device == device; }),
                 regions_.end());
  lastHit_ = nullptr;
}

MmioBus::Region *MmioBus::Find(uint32_t address, unsigned width) {
  auto inside = [address, width](const Region &r) {
    return address >= r.base && uint64_t(address) + width <= uint64_t(r.base) + r.size;
  };
  if (lastHit_ != nullptr && inside(*lastHit_)) return lastHit_;
  for (Region &r : regions_) {
    if (inside(r)) {
      lastHit_ = &r;
      return &r;
    }
  }
  return nullptr;
}

uint32_t MmioBus::Read(uint32_t address, unsigned width) {
  ++accessCount_;
  clock_.Advance(accessCostNs_);
  Region *r = Find(address, width);
  if (r == nullptr) {
    unowned_.push_back(UnownedAccess{address, width, false, 0});
    return 0xFFFFFFFFu >> (32 - 8 * width);
  }
  return r->device->Read(address - r->base, width);
}

void MmioBus::Write(uint32_t address, unsigned width, uint32_t value) {
  ++accessCount_;
  clock_.Advance(accessCostNs_);
  Region *r = Find(address, width);
  if (r == nullptr) {
    unowned_.push_back(UnownedAccess{address, width, true, value});
    return;
  }
  r->device->Write(address - r->base, width, value);
}

}  // namespace sim
