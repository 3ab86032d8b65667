// The board's 16 MiB NOR boot flash. The array keeps its content in a file
// (or in memory when no file is given) and is seen by the firmware through a
// read-only window in board memory: programming and erasing go through the
// chip operations here, never through stores to the window.
//
// Chip semantics: erased bytes read 0xFF, programming can only clear bits,
// one program operation covers at most one 256-byte page, erasing works on
// whole 128 KiB blocks. Operations advance the virtual clock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Core/RunControl.h"
#include "Core/VirtualClock.h"
#include "Memory/PhysMemory.h"

#include <Uefi/UefiBaseType.h>

namespace sim {

constexpr uint32_t kBootFlashSize = 16u * 1024 * 1024;
constexpr uint32_t kBootFlashBlockSize = 0x20000;
constexpr uint32_t kBootFlashBlockCount = kBootFlashSize / kBootFlashBlockSize;
constexpr uint32_t kBootFlashPageSize = 256;
constexpr uint32_t kBootFlashWindowBase = 0x40000000;

// Typical datasheet figures of a parallel NOR part with a 256-byte program
// buffer.
struct BootFlashTiming {
  uint64_t pageProgramNs = 300000;     // 300 us per program operation
  uint64_t blockEraseNs = 600000000;   // 600 ms per 128 KiB block
};

struct BootFlashCounters {
  uint64_t programOps = 0;
  uint64_t bytesProgrammed = 0;
  uint64_t erases = 0;
};

class BootFlash {
 public:
  // An empty path gives a flash held in memory only. A path that names no
  // file creates one, fully erased; an existing file must be exactly the
  // flash size.
  BootFlash(VirtualClock &clock, const std::string &path = std::string());
  ~BootFlash();
  BootFlash(const BootFlash &) = delete;
  BootFlash &operator=(const BootFlash &) = delete;

  uint32_t Size() const { return kBootFlashSize; }
  uint32_t BlockSize() const { return kBootFlashBlockSize; }
  uint32_t BlockCount() const { return kBootFlashBlockCount; }
  const std::string &Path() const { return path_; }

  // --- Chip operations (what a flash driver issues) ---

  // Programs data at offset: the bytes become old AND new. The range is cut
  // at page boundaries and each piece is one program operation. Stops at
  // the first failing operation and returns EFI_DEVICE_ERROR; the range
  // must lie inside the flash (EFI_INVALID_PARAMETER otherwise).
  EFI_STATUS Program(uint32_t offset, const uint8_t *data, uint32_t length);
  // Sets every byte of the block to 0xFF.
  EFI_STATUS EraseBlock(uint32_t block);

  // --- Host-side access for tests, tools and board set-up ---
  // None of these count, take time or hit injected faults.

  const uint8_t *Data() const { return rw_; }
  void Read(uint32_t offset, void *destination, uint32_t length) const;
  // Stores bytes as they are, without program semantics.
  void WriteRaw(uint32_t offset, const void *source, uint32_t length);
  void FillRaw(uint32_t offset, uint32_t length, uint8_t value);
  uint32_t Read32(uint32_t offset) const;
  void Write32(uint32_t offset, uint32_t value);

  // --- The firmware's view ---

  // Adds the read-only view of the array to board memory at base. A store to
  // it faults. The memory must outlive the mapping (UnmapWindow or the
  // destructor removes it again).
  void MapWindow(PhysMemory &memory, uint32_t base = kBootFlashWindowBase);
  void UnmapWindow();
  const uint8_t *WindowView() const { return ro_; }

  // --- Counters ---

  BootFlashCounters Totals() const { return totals_; }
  BootFlashCounters BlockCounters(uint32_t block) const;
  // Program operations and erases whose bytes overlap [begin, end), and
  // how many of the programmed bytes lay inside it.
  BootFlashCounters ActivityIn(uint32_t begin, uint32_t end) const;
  void ResetCounters();

  // --- Fault injection ---

  // The next program operation fails with EFI_DEVICE_ERROR and programs
  // nothing (the chip rejects the command), so the Program call that
  // carries it stops there.
  void FailNextWrite() { failNextWrite_ = true; }
  // The next block erase fails with EFI_DEVICE_ERROR and leaves the block
  // as it was.
  void FailNextErase() { failNextErase_ = true; }
  // Power fails during the nth program operation from now (1 = the next):
  // operations before it complete, the nth one is torn (the first half of
  // its bytes is programmed, the rest left as it was), and the run ends
  // with RunOutcome::PowerCut. Must happen inside sim::RunGuarded. 0 disarms.
  void CutPowerDuringProgram(unsigned n) { programsUntilCut_ = n; }
  void ClearFaults();

  // --- Timing ---

  void SetTiming(const BootFlashTiming &timing) { timing_ = timing; }
  const BootFlashTiming &Timing() const { return timing_; }

 private:
  struct Operation {
    uint32_t offset;
    uint32_t length;
    bool erase;
  };

  void OpenBacking(const std::string &path);
  void Release();
  EFI_STATUS ProgramPage(uint32_t offset, const uint8_t *data, uint32_t length);
  void Count(uint32_t offset, uint32_t length, bool erase);
  [[noreturn]] void PowerCut(uint32_t offset);
  void CheckRange(uint32_t offset, uint32_t length) const;

  VirtualClock &clock_;
  std::string path_;
  int fd_ = -1;
  uint8_t *rw_ = nullptr;  // the model's writable mapping
  uint8_t *ro_ = nullptr;  // the same pages, read-only, for the window
  PhysMemory *windowMemory_ = nullptr;
  uint32_t windowBase_ = 0;

  BootFlashTiming timing_;
  BootFlashCounters totals_;
  std::vector<BootFlashCounters> perBlock_;
  std::vector<Operation> log_;

  bool failNextWrite_ = false;
  bool failNextErase_ = false;
  unsigned programsUntilCut_ = 0;
  // Kept here, not on the stack: the run ends without unwinding.
  RunEnd cutEnd_;
};

}  // namespace sim
