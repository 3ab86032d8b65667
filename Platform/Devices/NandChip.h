// A NAND flash chip: pages of data + spare bytes grouped in erase blocks,
// with the semantics of the real part. Erasing sets a whole block to 0xFF;
// programming can only clear bits; the data area of a page may be
// programmed once per erase (a later program that only writes spare
// columns, such as a bad-block mark, is allowed). A factory-bad block
// carries 0x00 in the first spare byte of its first two pages and cannot
// be erased. Operations take the chip's time from the timing model and
// advance the virtual clock; counters keep what was done per block.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Core/RunControl.h"
#include "Core/VirtualClock.h"
#include "Devices/NandFaults.h"
#include "Devices/NandGeometry.h"
#include "Devices/NandStore.h"
#include "Devices/NandTiming.h"

namespace sim {

struct NandCounters {
  uint64_t reads = 0;       // page loads from the array
  uint64_t programs = 0;    // page programs
  uint64_t erases = 0;
  uint64_t bytesRead = 0;   // bytes moved out of the chip
  uint64_t bytesProgrammed = 0;  // bytes moved into the chip for a program
};

class NandChip {
 public:
  // An empty image path keeps the chip in memory. Throws when the geometry
  // cannot be modelled or the image belongs to another chip.
  NandChip(VirtualClock &clock, const NandGeometry &geometry, const std::string &imagePath = std::string(),
           uint64_t seed = 1);
  ~NandChip();
  NandChip(const NandChip &) = delete;
  NandChip &operator=(const NandChip &) = delete;

  const NandGeometry &Geometry() const { return geometry_; }
  const std::string &ImagePath() const { return store_.Path(); }

  // --- Operations on the chip's bus ---

  void Reset();
  // Array to page register: RawPageSize() bytes into raw. Bits that a read
  // disturb flipped are listed in flippedBits (byte * 8 + bit).
  void LoadPage(uint32_t page, uint8_t *raw, std::vector<uint32_t> *flippedBits);
  // Programs the page with raw (RawPageSize() bytes; 0xFF leaves a cell
  // alone). touchesData says whether any data column is written. Returns
  // the chip status byte (kNandStatusFail set on failure).
  uint8_t ProgramPage(uint32_t page, const uint8_t *raw, bool touchesData);
  uint8_t EraseBlock(uint32_t block);
  // Time and counters of bytes crossing the bus.
  void Transfer(uint32_t page, uint32_t bytes, bool intoChip);
  void ChargeOther(uint64_t ns);

  // --- Host-side access for tests and board set-up (no time, no faults) ---

  std::vector<uint8_t> ReadRaw(uint32_t page) const;
  void WriteRaw(uint32_t page, const std::vector<uint8_t> &raw);
  // Writes the factory mark and keeps the block from being erased.
  void MarkFactoryBad(uint32_t block);
  bool IsFactoryBad(uint32_t block) const;
  size_t BlocksInMemory() const { return store_.BlocksInMemory(); }

  // --- Faults, counters, timing ---

  NandFaults &Faults() { return faults_; }
  NandCounters Totals() const { return totals_; }
  NandCounters BlockCounters(uint32_t block) const;
  uint64_t EraseCount(uint32_t block) const { return BlockCounters(block).erases; }
  // Data programs of a page that was already programmed since its erase.
  uint64_t ProgramViolations() const { return programViolations_; }
  void ResetCounters();

  void SetTiming(const NandTiming &timing) { timing_ = timing; }
  const NandTiming &Timing() const { return timing_; }
  const NandBusyTime &Busy() const { return busy_; }
  // Flipped bits a read of an uncorrectable page shows.
  static constexpr unsigned kUncorrectableFlips = 32;

 private:
  void CheckPage(uint32_t page) const;
  void Spend(uint64_t ns, uint64_t *bucket);
  bool DataProgrammed(const uint8_t *raw) const;
  void AddFlips(uint32_t page, const NandFaults::ReadDisturb &disturb, std::vector<uint32_t> *flippedBits);
  [[noreturn]] void PowerCut(const char *what, uint32_t unit);

  VirtualClock &clock_;
  NandGeometry geometry_;
  NandStore store_;
  NandFaults faults_;
  NandTiming timing_;
  NandBusyTime busy_;
  NandCounters totals_;
  std::vector<NandCounters> perBlock_;
  uint64_t programViolations_ = 0;
  std::vector<uint8_t> scratch_;  // member, not a local: a power cut skips destructors
  RunEnd cutEnd_;
};

}  // namespace sim
