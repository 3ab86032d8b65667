#include "Devices/NandChip.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "Devices/NandEcc.h"

namespace sim {
namespace {

NandGeometry Checked(const NandGeometry &geometry) {
  std::string problem = geometry.Problem();
  if (!problem.empty()) throw std::invalid_argument("NAND chip: " + problem);
  return geometry;
}

}  // namespace

NandChip::NandChip(VirtualClock &clock, const NandGeometry &geometry, const std::string &imagePath, uint64_t seed)
    : clock_(clock),
      geometry_(Checked(geometry)),
      store_(geometry_, imagePath),
      faults_(seed),
      perBlock_(geometry_.blocks),
      scratch_(geometry_.RawPageSize()) {}

NandChip::~NandChip() = default;

void NandChip::CheckPage(uint32_t page) const {
  if (page >= geometry_.PageCount()) throw std::out_of_range("NAND chip: no such page");
}

void NandChip::Spend(uint64_t ns, uint64_t *bucket) {
  *bucket += ns;
  clock_.Advance(ns);
}

void NandChip::Reset() { Spend(timing_.resetNs, &busy_.otherNs); }

void NandChip::ChargeOther(uint64_t ns) { Spend(ns, &busy_.otherNs); }

void NandChip::AddFlips(uint32_t page, const NandFaults::ReadDisturb &disturb, std::vector<uint32_t> *flippedBits) {
  const uint32_t first = disturb.area == NandArea::Data ? 0 : geometry_.pageSize;
  const uint32_t bits = 8 * (disturb.area == NandArea::Data ? geometry_.pageSize : geometry_.spareSize);
  std::uniform_int_distribution<uint32_t> pick(0, bits - 1);
  unsigned wanted = std::min<unsigned>(disturb.bits, bits);
  unsigned added = 0;
  while (added < wanted) {
    uint32_t bit = first * 8 + pick(faults_.Random());
    if (std::find(flippedBits->begin(), flippedBits->end(), bit) != flippedBits->end()) continue;
    flippedBits->push_back(bit);
    ++added;
  }
}

void NandChip::LoadPage(uint32_t page, uint8_t *raw, std::vector<uint32_t> *flippedBits) {
  CheckPage(page);
  store_.ReadPage(page, raw);
  flippedBits->clear();
  for (const NandFaults::ReadDisturb &d :
       faults_.TakeReadDisturbs(page, geometry_.pagesPerBlock, kUncorrectableFlips)) {
    AddFlips(page, d, flippedBits);
  }
  for (uint32_t bit : *flippedBits) raw[bit / 8] ^= uint8_t(1u << (bit % 8));
  ++totals_.reads;
  ++perBlock_[page / geometry_.pagesPerBlock].reads;
  Spend(timing_.pageReadNs, &busy_.readNs);
}

void NandChip::Transfer(uint32_t page, uint32_t bytes, bool intoChip) {
  NandCounters &block = perBlock_[std::min(page, geometry_.PageCount() - 1) / geometry_.pagesPerBlock];
  if (intoChip) {
    totals_.bytesProgrammed += bytes;
    block.bytesProgrammed += bytes;
  } else {
    totals_.bytesRead += bytes;
    block.bytesRead += bytes;
  }
  Spend(uint64_t(bytes) * timing_.transferNsPerByte, &busy_.transferNs);
}

bool NandChip::DataProgrammed(const uint8_t *raw) const {
  for (uint32_t i = 0; i < geometry_.pageSize; ++i) {
    if (raw[i] != 0xFF) return true;
  }
  // The controller's data code is written with the data, even for 0xFF data.
  NandEccLayout layout{geometry_.pageSize, geometry_.spareSize};
  for (uint32_t i = 0; i < 4; ++i) {
    if (raw[layout.DataCodeOffset() + i] != 0xFF) return true;
  }
  return false;
}

uint8_t NandChip::ProgramPage(uint32_t page, const uint8_t *raw, bool touchesData) {
  CheckPage(page);
  const uint32_t block = page / geometry_.pagesPerBlock;
  const uint32_t rawSize = geometry_.RawPageSize();
  Spend(timing_.pageProgramNs, &busy_.programNs);

  NandPowerCutMode cutMode;
  bool cut = faults_.TakePowerCut(false, &cutMode);
  if (cut && cutMode == NandPowerCutMode::NotDone) PowerCut("program", page);

  if (uint8_t failed = faults_.TakeProgramFailure(page, geometry_.pagesPerBlock)) return failed;
  if (IsFactoryBad(block)) return kNandStatusReady | kNandStatusFail;

  store_.ReadPage(page, scratch_.data());
  bool violation = touchesData && DataProgrammed(scratch_.data());
  if (cut && cutMode == NandPowerCutMode::Torn) {
    // Cells stop anywhere between their old and their new state.
    std::uniform_int_distribution<int> byte(0, 255);
    for (uint32_t i = 0; i < rawSize; ++i) scratch_[i] &= uint8_t(raw[i] | byte(faults_.Random()));
  } else {
    for (uint32_t i = 0; i < rawSize; ++i) scratch_[i] &= raw[i];
  }
  store_.WritePage(page, scratch_.data());
  ++totals_.programs;
  ++perBlock_[block].programs;
  if (cut) PowerCut("program", page);
  if (violation) {
    ++programViolations_;
    return kNandStatusReady | kNandStatusFail;
  }
  return kNandStatusReady;
}

uint8_t NandChip::EraseBlock(uint32_t block) {
  if (block >= geometry_.blocks) throw std::out_of_range("NAND chip: no such block");
  Spend(timing_.blockEraseNs, &busy_.eraseNs);

  NandPowerCutMode cutMode;
  bool cut = faults_.TakePowerCut(true, &cutMode);
  if (cut && cutMode == NandPowerCutMode::NotDone) PowerCut("erase", block);

  if (uint8_t failed = faults_.TakeEraseFailure(block)) return failed;
  if (IsFactoryBad(block)) return kNandStatusReady | kNandStatusFail;

  if (cut && cutMode == NandPowerCutMode::Torn) {
    // Some cells have gone back to 1, others not yet.
    std::uniform_int_distribution<int> byte(0, 255);
    for (uint32_t p = 0; p < geometry_.pagesPerBlock; ++p) {
      uint32_t page = block * geometry_.pagesPerBlock + p;
      store_.ReadPage(page, scratch_.data());
      for (uint8_t &b : scratch_) b |= uint8_t(byte(faults_.Random()));
      store_.WritePage(page, scratch_.data());
    }
  } else {
    store_.EraseBlock(block);
  }
  ++totals_.erases;
  ++perBlock_[block].erases;
  if (cut) PowerCut("erase", block);
  return kNandStatusReady;
}

void NandChip::PowerCut(const char *what, uint32_t unit) {
  cutEnd_ = RunEnd{};
  cutEnd_.outcome = RunOutcome::PowerCut;
  cutEnd_.value = unit;
  cutEnd_.timeNs = clock_.NowNs();
  cutEnd_.reason = std::string("power cut during a NAND ") + what;
  faults_.CutPowerAt(0, NandPowerCutMode::NotDone);
  EndRun(cutEnd_);
}

std::vector<uint8_t> NandChip::ReadRaw(uint32_t page) const {
  CheckPage(page);
  std::vector<uint8_t> raw(geometry_.RawPageSize());
  store_.ReadPage(page, raw.data());
  return raw;
}

void NandChip::WriteRaw(uint32_t page, const std::vector<uint8_t> &raw) {
  CheckPage(page);
  if (raw.size() != geometry_.RawPageSize()) throw std::invalid_argument("NAND chip: raw page of the wrong size");
  store_.WritePage(page, raw.data());
}

void NandChip::MarkFactoryBad(uint32_t block) {
  if (block >= geometry_.blocks) throw std::out_of_range("NAND chip: no such block");
  for (uint32_t p = 0; p < 2 && p < geometry_.pagesPerBlock; ++p) {
    std::vector<uint8_t> raw = ReadRaw(block * geometry_.pagesPerBlock + p);
    raw[geometry_.pageSize] = 0x00;
    WriteRaw(block * geometry_.pagesPerBlock + p, raw);
  }
  store_.AddFactoryBadBlock(block);
}

bool NandChip::IsFactoryBad(uint32_t block) const {
  const std::vector<uint32_t> &bad = store_.FactoryBadBlocks();
  return std::find(bad.begin(), bad.end(), block) != bad.end();
}

NandCounters NandChip::BlockCounters(uint32_t block) const {
  if (block >= geometry_.blocks) throw std::out_of_range("NAND chip: no such block");
  return perBlock_[block];
}

void NandChip::ResetCounters() {
  totals_ = NandCounters{};
  std::fill(perBlock_.begin(), perBlock_.end(), NandCounters{});
  busy_ = NandBusyTime{};
  programViolations_ = 0;
}

}  // namespace sim
