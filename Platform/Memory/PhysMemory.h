// Board memory at fixed physical addresses. Each area is a window of host
// memory reserved lazily (untouched pages cost nothing); board addresses are
// translated here and nowhere else.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// The fixed areas of the board's memory map.
struct BoardMemoryArea {
  const char *name;
  uint32_t base;
  uint32_t size;
};
extern const BoardMemoryArea kBoardRamAreas[];
extern const unsigned kBoardRamAreaCount;

class PhysMemory {
 public:
  PhysMemory();  // reserves every area of kBoardRamAreas, zero-filled
  ~PhysMemory();
  PhysMemory(const PhysMemory &) = delete;
  PhysMemory &operator=(const PhysMemory &) = delete;

  // Host pointer for [address, address + length), or nullptr when the range
  // does not lie inside one window.
  uint8_t *Map(uint32_t address, uint32_t length);

  // Adds a window whose memory another model owns (the boot flash maps its
  // array read-only at 0x40000000).
  void AddForeignWindow(const std::string &name, uint32_t base, uint32_t size, uint8_t *host);
  void RemoveWindow(uint32_t base);

  // Little-endian word helpers for tests and board set-up.
  uint32_t Read32(uint32_t address);
  void Write32(uint32_t address, uint32_t value);

 private:
  struct Window {
    std::string name;
    uint32_t base;
    uint32_t size;
    uint8_t *host;
    bool owned;
  };
  std::vector<Window> windows_;
};

}  // namespace sim
