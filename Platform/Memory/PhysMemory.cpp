#include "Memory/PhysMemory.h"

#include <sys/mman.h>

#include <cstring>
#include <stdexcept>

namespace sim {

const BoardMemoryArea kBoardRamAreas[] = {
    {"NAND ECC copy", 0x08100000u, 0x00004000u},
    {"result words and console log", 0x2FF00000u, 0x00100000u},
    {"OS image", 0x80900000u, 0x10000000u},
    {"package buffer", 0x92000000u, 0x08000000u},
    {"download area", 0xA8000000u, 0x08000000u},
    {"shared area", 0xBFFFE000u, 0x00002000u},
};
const unsigned kBoardRamAreaCount = sizeof(kBoardRamAreas) / sizeof(kBoardRamAreas[0]);

PhysMemory::PhysMemory() {
  for (unsigned i = 0; i < kBoardRamAreaCount; ++i) {
    const BoardMemoryArea &a = kBoardRamAreas[i];
    void *p = mmap(nullptr, a.size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) throw std::runtime_error(std::string("cannot reserve board memory: ") + a.name);
    windows_.push_back(Window{a.name, a.base, a.size, static_cast<uint8_t *>(p), true});
  }
}

PhysMemory::~PhysMemory() {
  for (Window &w : windows_) {
    if (w.owned) munmap(w.host, w.size);
  }
}

uint8_t *PhysMemory::Map(uint32_t address, uint32_t length) {
  for (Window &w : windows_) {
    if (address >= w.base && uint64_t(address) + length <= uint64_t(w.base) + w.size) {
      return w.host + (address - w.base);
    }
  }
  return nullptr;
}

void PhysMemory::AddForeignWindow(const std::string &name, uint32_t base, uint32_t size, uint8_t *host) {
  for (const Window &w : windows_) {
    if (base < uint64_t(w.base) + w.size && w.base < uint64_t(base) + size) {
      throw std::logic_error("memory window " + name + " overlaps " + w.name);
    }
  }
  windows_.push_back(Window{name, base, size, host, false});
}

void PhysMemory::RemoveWindow(uint32_t base) {
  for (auto it = windows_.begin(); it != windows_.end(); ++it) {
    if (it->base == base) {
      if (it->owned) munmap(it->host, it->size);
      windows_.erase(it);
      return;
    }
  }
}

uint32_t PhysMemory::Read32(uint32_t address) {
  uint8_t *p = Map(address, 4);
  if (p == nullptr) throw std::out_of_range("no board memory at address");
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

void PhysMemory::Write32(uint32_t address, uint32_t value) {
  uint8_t *p = Map(address, 4);
  if (p == nullptr) throw std::out_of_range("no board memory at address");
  std::memcpy(p, &value, 4);
}

}  // namespace sim
