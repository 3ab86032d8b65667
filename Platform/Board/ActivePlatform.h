// The parts of the simulated board that the firmware's free functions
// (MmioRead32, PhysMemMap, CpuSpinLoop, the service tables) reach. One board
// is active at a time.
#pragma once

#include "Core/VirtualClock.h"
#include "Memory/PhysMemory.h"
#include "Mmio/MmioBus.h"

namespace sim {

struct ActivePlatform {
  VirtualClock *clock = nullptr;
  MmioBus *bus = nullptr;
  PhysMemory *memory = nullptr;
};

ActivePlatform &Active();

}  // namespace sim
