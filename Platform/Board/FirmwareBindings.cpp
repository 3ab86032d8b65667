// The firmware's hardware accessors, served by the active simulated board.
#include <cstdio>
#include <cstdlib>

#include "Board/ActivePlatform.h"

#include <Library/CpuLib.h>
#include <Library/IoLib.h>
#include <Library/PhysMemLib.h>

namespace sim {

ActivePlatform &Active() {
  static ActivePlatform active;
  return active;
}

static MmioBus &Bus() {
  MmioBus *bus = Active().bus;
  if (bus == nullptr) {
    std::fprintf(stderr, "sim: register access with no board active\n");
    std::abort();
  }
  return *bus;
}

}  // namespace sim

UINT8 MmioRead8(UINTN Address) { return UINT8(sim::Bus().Read(UINT32(Address), 1)); }
UINT16 MmioRead16(UINTN Address) { return UINT16(sim::Bus().Read(UINT32(Address), 2)); }
UINT32 MmioRead32(UINTN Address) { return sim::Bus().Read(UINT32(Address), 4); }
UINT8 MmioWrite8(UINTN Address, UINT8 Value) {
  sim::Bus().Write(UINT32(Address), 1, Value);
  return Value;
}
UINT16 MmioWrite16(UINTN Address, UINT16 Value) {
  sim::Bus().Write(UINT32(Address), 2, Value);
  return Value;
}
UINT32 MmioWrite32(UINTN Address, UINT32 Value) {
  sim::Bus().Write(UINT32(Address), 4, Value);
  return Value;
}

VOID *PhysMemMap(PHYS_ADDR Address, UINT32 Length) {
  sim::PhysMemory *memory = sim::Active().memory;
  return memory == nullptr ? nullptr : memory->Map(Address, Length);
}

VOID CpuSpinLoop(UINT32 Iterations) {
  sim::VirtualClock *clock = sim::Active().clock;
  if (clock != nullptr) clock->Advance(uint64_t(Iterations) * sim::kSpinIterationNs);
}
