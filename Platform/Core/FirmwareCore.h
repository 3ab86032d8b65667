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
  // Period of the core's timer tick. A relative timer of 0 fires one tick
  // after it is set; a periodic timer of 0 fires every tick.
  static constexpr uint64_t kTimerTickNs = 10'000'000;
  // Largest single pool allocation the board can serve.
  static constexpr size_t kMaxPoolAllocation = size_t(256) << 20;
  // A WaitForEvent that sees no signal for this long (virtual time) ends
  // the run as halted: the firmware would hang there.
  static constexpr uint64_t kDefaultWaitLimitNs = 3600ull * 1000'000'000ull;

  explicit FirmwareCore(VirtualClock &clock);
  ~FirmwareCore();
  FirmwareCore(const FirmwareCore &) = delete;
  FirmwareCore &operator=(const FirmwareCore &) = delete;

  // Makes this core the one the table entries serve and lets its timers
  // follow the clock.
  void Activate();
  // Stops serving the tables (if active) and detaches from the clock.
  void Deactivate();
  static FirmwareCore *Active();

  EFI_SYSTEM_TABLE *SystemTable();
  EFI_BOOT_SERVICES *BootServices();
  EFI_RUNTIME_SERVICES *RuntimeServices();

  // Adds an entry to the system table's configuration table (the HOB list).
  void AddConfigurationTable(const EFI_GUID &guid, void *table);

  // A fresh handle for a driver image being loaded. It stays valid until the
  // core is destroyed, with or without protocols on it.
  EFI_HANDLE CreateImageHandle(const std::string &name);
  // Name given to an image handle ("" for other or unknown handles).
  std::string HandleName(EFI_HANDLE handle) const;

  // Pool accounting.
  size_t PoolBytesInUse() const;
  size_t PoolBlocksInUse() const;
  // The Nth allocation from now (1 = the next one) fails with
  // EFI_OUT_OF_RESOURCES; 0 disarms.
  void FailAllocationAfter(unsigned n);
  // Every allocation fails while set.
  void FailAllAllocations(bool fail);
  // FreePool calls with a pointer the pool did not hand out (NULL, foreign,
  // or freed already).
  size_t BadFreeCount() const;

  // Events still open (created and not closed).
  size_t OpenEventCount() const;
  // Timer events currently armed.
  size_t ArmedTimerCount() const;
  EFI_TPL CurrentTpl() const;
  // RaiseTPL to a lower level, RestoreTPL to a higher one (or below the
  // level a notify function runs at), levels out of range.
  size_t TplErrorCount() const;
  // Virtual time one WaitForEvent may wait before the run is ended as halted.
  void SetWaitLimitNs(uint64_t limitNs);

  // A run ended by sim::EndRun from inside a notify function leaves the TPL
  // where the notify ran. ResetSystem puts it back itself; after any other
  // end of such a run, call this before the next run on the same core.
  void RecoverAfterRunEnd();

  // Resets requested so far (ResetSystem records one, then ends the run).
  const std::vector<ResetRecord> &Resets() const;

  // Protocol database inspection for tests.
  size_t HandleCount() const;
  // LocateProtocol calls made for the protocol, found or not.
  size_t LocateCount(const EFI_GUID &protocol) const;
  // Distinct protocols installed now, in the order of their first instance.
  std::vector<EFI_GUID> InstalledProtocols() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace sim
