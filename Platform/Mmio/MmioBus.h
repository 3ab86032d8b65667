// Register bus of the simulated board. Every MmioRead/MmioWrite of the
// firmware lands here and is dispatched by address to one device model.
// An access that no model owns is recorded; the test harness fails the test
// that made it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Core/VirtualClock.h"

namespace sim {

class MmioDevice {
 public:
  virtual ~MmioDevice() = default;
  // Offset is from the base the device was mapped at; width is 1, 2 or 4.
  virtual uint32_t Read(uint32_t offset, unsigned width) = 0;
  virtual void Write(uint32_t offset, unsigned width, uint32_t value) = 0;
};

struct UnownedAccess {
  uint32_t address;
  unsigned width;
  bool write;
  uint32_t value;
};

class MmioBus {
 public:
  explicit MmioBus(VirtualClock &clock) : clock_(clock) {}

  void Map(const std::string &name, uint32_t base, uint32_t size, MmioDevice *device);
  void Unmap(MmioDevice *device);

  uint32_t Read(uint32_t address, unsigned width);
  void Write(uint32_t address, unsigned width, uint32_t value);

  const std::vector<UnownedAccess> &Unowned() const { return unowned_; }
  void ClearUnowned() { unowned_.clear(); }

  // Virtual time one register access takes.
  void SetAccessCostNs(uint64_t ns) { accessCostNs_ = ns; }
  uint64_t AccessCount() const { return accessCount_; }

 private:
  struct Region {
    std::string name;
    uint32_t base;
    uint32_t size;
    MmioDevice *device;
  };
  Region *Find(uint32_t address, unsigned width);

  VirtualClock &clock_;
  std::vector<Region> regions_;
  Region *lastHit_ = nullptr;
  std::vector<UnownedAccess> unowned_;
  uint64_t accessCostNs_ = 50;
  uint64_t accessCount_ = 0;
};

}  // namespace sim
