// The simulated firmware core behind the boot-services and runtime-services
// tables: handle and protocol database, pool with accounting and injectable
// allocation failure, events and timers on the virtual clock, task priority
// levels, Stall and ResetSystem. The table entries are plain C functions, so
// they reach the core that is active on the current board.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Core/VirtualClock.h"

#include <Uefi/UefiSpec.h>

namespace sim {

struct ResetRecord {
  EFI_RESET_TYPE type;
  EFI_STATUS status;
  uint64_t timeNs;
};

class FirmwareCore {
 public:
  explicit FirmwareCore(VirtualClock &clock);
  ~FirmwareCore();
  FirmwareCore(const FirmwareCore &) = delete;
  FirmwareCore &operator=(const FirmwareCore &) = delete;

  // Makes this core the one the table entries serve.
  void Activate();
  static FirmwareCore *Active();

  EFI_SYSTEM_TABLE *SystemTable();
  EFI_BOOT_SERVICES *BootServices();
  EFI_RUNTIME_SERVICES *RuntimeServices();

  // A fresh handle for a driver image being loaded.
  EFI_HANDLE CreateImageHandle(const std::string &name);

  // Pool accounting.
  size_t PoolBytesInUse() const;
  size_t PoolBlocksInUse() const;
  // The Nth allocation from now (1 = the next one) fails with
  // EFI_OUT_OF_RESOURCES; 0 disarms.
  void FailAllocationAfter(unsigned n);
  // Every allocation fails while set.
  void FailAllAllocations(bool fail);

  // Events still open (created and not closed).
  size_t OpenEventCount() const;
  EFI_TPL CurrentTpl() const;

  // Resets requested so far (ResetSystem records one, then ends the run).
  const std::vector<ResetRecord> &Resets() const;

  // Protocol database inspection for tests.
  size_t HandleCount() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace sim
