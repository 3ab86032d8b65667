// Faults a NAND chip and its controller can be told to show: read disturbs
// that the ECC corrects, pages the ECC cannot correct, failing programs and
// erases, a controller that never reports done, and a power cut at the Nth
// program or erase. Faults are set per page or per block; each one applies
// a given number of times or until cleared. Random choices (which bits
// flip, what a torn page holds) come from a seeded generator, so a run is
// repeatable.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace sim {

// Where a fault applies: one page (counted from the start of the chip) or
// every page of one block.
struct NandUnit {
  bool wholeBlock = false;
  uint32_t number = 0;
  static NandUnit Page(uint32_t page) { return NandUnit{false, page}; }
  static NandUnit Block(uint32_t block) { return NandUnit{true, block}; }
};

// The part of a page a read disturb hits.
enum class NandArea { Data, Spare };

enum class NandPowerCutMode {
  NotDone,    // the operation does not happen
  Torn,       // the page (or block) is left with random bits
  Completes,  // it completes; nothing after it happens
};

enum class NandPowerCutTarget { Program, Erase, ProgramOrErase };

constexpr unsigned kNandFaultAlways = 0;  // a fault count that never runs out
constexpr uint8_t kNandStatusReady = 0xE0;  // ready, not write-protected
constexpr uint8_t kNandStatusFail = 0x01;

class NandFaults {
 public:
  explicit NandFaults(uint64_t seed = 1) : random_(seed) {}

  void Seed(uint64_t seed) { random_.seed(seed); }
  std::mt19937_64 &Random() { return random_; }

  // Every read of the unit shows `bits` flipped bits in the area. Up to
  // kNandEccCorrectableBits the controller corrects them and says so.
  void FlipBitsOnRead(NandUnit where, unsigned bits, NandArea area = NandArea::Data,
                      unsigned times = kNandFaultAlways);
  // Reads of the unit show more flipped bits than the ECC can correct.
  void MakeUncorrectable(NandUnit where, NandArea area = NandArea::Data, unsigned times = kNandFaultAlways);
  // Programs of the unit fail with the chip status given (fail bit set);
  // the page is left as it was.
  void FailProgram(NandUnit where, uint8_t chipStatus = kNandStatusReady | kNandStatusFail,
                   unsigned times = kNandFaultAlways);
  // Erases of the block fail with the status given and change nothing.
  void FailErase(uint32_t block, uint8_t chipStatus = kNandStatusReady | kNandStatusFail,
                 unsigned times = kNandFaultAlways);
  // Operations on the unit never finish: the controller's done bit stays
  // clear until the next operation is started.
  void HangOperations(NandUnit where, unsigned times = kNandFaultAlways);
  // The next n operations (any page, the ECC engine included) hang.
  void HangNextOperations(unsigned n) { hangNext_ = n; }
  // Power fails at the nth program or erase from now (1 = the next one).
  // The run ends with RunOutcome::PowerCut; it must be inside RunGuarded.
  void CutPowerAt(unsigned n, NandPowerCutMode mode, NandPowerCutTarget target = NandPowerCutTarget::ProgramOrErase);
  void Clear();

  // --- Queries of the chip and controller (they use up counted faults) ---

  struct ReadDisturb {
    unsigned bits = 0;
    NandArea area = NandArea::Data;
  };
  // Disturbs a read of the page shows now.
  std::vector<ReadDisturb> TakeReadDisturbs(uint32_t page, uint32_t pagesPerBlock, unsigned uncorrectableBits);
  // Chip status of a failing program or erase, or 0 when it succeeds.
  uint8_t TakeProgramFailure(uint32_t page, uint32_t pagesPerBlock);
  uint8_t TakeEraseFailure(uint32_t block);
  bool TakeHang(bool hasUnit, uint32_t page, uint32_t pagesPerBlock);
  // True when this program (or erase) is the one the power fails at.
  bool TakePowerCut(bool erase, NandPowerCutMode *mode);

 private:
  enum class Kind { Flip, Uncorrectable, ProgramFail, EraseFail, Hang };
  struct Fault {
    Kind kind;
    NandUnit where;
    unsigned bits;
    NandArea area;
    uint8_t status;
    bool unlimited;
    unsigned remaining;
  };
  static bool Covers(const NandUnit &where, uint32_t page, uint32_t pagesPerBlock);
  // Uses one application of the fault; false when it has run out.
  static bool Use(Fault &fault);
  void Prune();

  std::mt19937_64 random_;
  std::vector<Fault> faults_;
  unsigned hangNext_ = 0;
  unsigned cutCountdown_ = 0;
  NandPowerCutMode cutMode_ = NandPowerCutMode::NotDone;
  NandPowerCutTarget cutTarget_ = NandPowerCutTarget::ProgramOrErase;
};

}  // namespace sim
