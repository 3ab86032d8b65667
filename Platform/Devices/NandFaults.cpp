#include "Devices/NandFaults.h"

#include <algorithm>

namespace sim {

void NandFaults::FlipBitsOnRead(NandUnit where, unsigned bits, NandArea area, unsigned times) {
  faults_.push_back(Fault{Kind::Flip, where, bits, area, 0, times == kNandFaultAlways, times});
}

void NandFaults::MakeUncorrectable(NandUnit where, NandArea area, unsigned times) {
  faults_.push_back(Fault{Kind::Uncorrectable, where, 0, area, 0, times == kNandFaultAlways, times});
}

void NandFaults::FailProgram(NandUnit where, uint8_t chipStatus, unsigned times) {
  faults_.push_back(Fault{Kind::ProgramFail, where, 0, NandArea::Data, uint8_t(chipStatus | kNandStatusFail), times == kNandFaultAlways, times});
}

void NandFaults::FailErase(uint32_t block, uint8_t chipStatus, unsigned times) {
  faults_.push_back(Fault{Kind::EraseFail, NandUnit::Block(block), 0, NandArea::Data,
                          uint8_t(chipStatus | kNandStatusFail), times == kNandFaultAlways, times});
}

void NandFaults::HangOperations(NandUnit where, unsigned times) {
  faults_.push_back(Fault{Kind::Hang, where, 0, NandArea::Data, 0, times == kNandFaultAlways, times});
}

void NandFaults::CutPowerAt(unsigned n, NandPowerCutMode mode, NandPowerCutTarget target) {
  cutCountdown_ = n;
  cutMode_ = mode;
  cutTarget_ = target;
}

void NandFaults::Clear() {
  faults_.clear();
  hangNext_ = 0;
  cutCountdown_ = 0;
}

bool NandFaults::Covers(const NandUnit &where, uint32_t page, uint32_t pagesPerBlock) {
  return where.wholeBlock ? page / pagesPerBlock == where.number : page == where.number;
}

bool NandFaults::Use(Fault &fault) {
  if (fault.unlimited) return true;
  if (fault.remaining == 0) return false;
  --fault.remaining;
  return true;
}

void NandFaults::Prune() {
  faults_.erase(std::remove_if(faults_.begin(), faults_.end(), [](const Fault &f) { return !f.unlimited && f.remaining == 0; }),
                faults_.end());
}

std::vector<NandFaults::ReadDisturb> NandFaults::TakeReadDisturbs(uint32_t page, uint32_t pagesPerBlock,
                                                                  unsigned uncorrectableBits) {
  std::vector<ReadDisturb> out;
  for (Fault &f : faults_) {
    if ((f.kind != Kind::Flip && f.kind != Kind::Uncorrectable) || !Covers(f.where, page, pagesPerBlock)) continue;
    if (!Use(f)) continue;
    out.push_back(ReadDisturb{f.kind == Kind::Flip ? f.bits : uncorrectableBits, f.area});
  }
  Prune();
  return out;
}

uint8_t NandFaults::TakeProgramFailure(uint32_t page, uint32_t pagesPerBlock) {
  uint8_t status = 0;
  for (Fault &f : faults_) {
    if (f.kind == Kind::ProgramFail && Covers(f.where, page, pagesPerBlock) && Use(f)) {
      status = f.status;
      break;
    }
  }
  Prune();
  return status;
}

uint8_t NandFaults::TakeEraseFailure(uint32_t block) {
  uint8_t status = 0;
  for (Fault &f : faults_) {
    if (f.kind == Kind::EraseFail && f.where.number == block && Use(f)) {
      status = f.status;
      break;
    }
  }
  Prune();
  return status;
}

bool NandFaults::TakeHang(bool hasUnit, uint32_t page, uint32_t pagesPerBlock) {
  if (hangNext_ > 0) {
    --hangNext_;
    return true;
  }
  if (!hasUnit) return false;
  bool hang = false;
  for (Fault &f : faults_) {
    if (f.kind == Kind::Hang && Covers(f.where, page, pagesPerBlock) && Use(f)) {
      hang = true;
      break;
    }
  }
  Prune();
  return hang;
}

bool NandFaults::TakePowerCut(bool erase, NandPowerCutMode *mode) {
  if (cutCountdown_ == 0) return false;
  bool counts = cutTarget_ == NandPowerCutTarget::ProgramOrErase ||
                (erase ? cutTarget_ == NandPowerCutTarget::Erase : cutTarget_ == NandPowerCutTarget::Program);
  if (!counts || --cutCountdown_ != 0) return false;
  *mode = cutMode_;
  return true;
}

}  // namespace sim
