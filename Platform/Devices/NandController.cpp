#include "Devices/NandController.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace sim {
namespace {

constexpr uint32_t kCommandRead = 0x703000;
constexpr uint32_t kCommandRawRead = 0x3000;
constexpr uint32_t kCommandProgram = 0x701080;
constexpr uint32_t kCommandErase = 0x70D060;
constexpr uint32_t kCommandReadId = 0x90;
constexpr uint32_t kCommandReset = 0xFF;
constexpr uint64_t kReadIdNs = 1000;

enum Code : uint32_t {
  kRead = 0x6F,
  kReadLong = 0xEE,
  kProgram = 0x7D,
  kProgramLong = 0xFD,
  kErase = 0x6D,
  kEraseLong = 0xED,
  kReadId = 0x66,
  kReset = 0x44,
  kSectorReadFirst = 0x6E,
  kSectorReadNext = 0x02,
  kSectorProgramFirst = 0x70,
  kSectorProgramNext = 0x10,
  kSectorProgramLast = 0x1D,
};

bool Overlaps(uint32_t begin, uint32_t length, uint32_t areaBegin, uint32_t areaLength) {
  return length > 0 && begin < areaBegin + areaLength && areaBegin < begin + length;
}

void Accumulate(uint32_t *result, const NandEccOutcome &outcome) {
  uint32_t corrected = std::min<uint32_t>((*result & 0xFF) + outcome.corrected, 0xFF);
  *result = (*result & ~0xFFu) | corrected;
  if (outcome.uncorrectable) *result |= kNandEccResultUncorrectable;
}

}  // namespace

NandController::NandController(NandChip &chip)
    : chip_(chip),
      layout_{chip.Geometry().pageSize, chip.Geometry().spareSize},
      pageRegister_(chip.Geometry().RawPageSize(), 0xFF) {}

void NandController::Map(MmioBus &bus) {
  bus.Map("NAND controller", kNandCtlBase, kNandCtlSize, this);
  bus.Map("NAND buffer", kNandBufferBase, kNandBufferSize, &buffer_);
}

// --- Buffer ---

uint32_t NandController::BufferDevice::Read(uint32_t offset, unsigned width) {
  uint32_t value = 0;
  for (unsigned i = 0; i < width; ++i) value |= uint32_t(bytes[offset + i]) << (8 * i);
  return value;
}

void NandController::BufferDevice::Write(uint32_t offset, unsigned width, uint32_t value) {
  for (unsigned i = 0; i < width; ++i) bytes[offset + i] = uint8_t(value >> (8 * i));
}

// --- Registers ---

uint32_t NandController::Read(uint32_t offset, unsigned width) {
  uint32_t value = 0;
  switch (offset) {
    case kNandRegMode: value = mode_; break;
    case kNandRegCommand: value = command_; break;
    case kNandRegAddressLow: value = addressLow_; break;
    case kNandRegAddressHigh: value = addressHigh_; break;
    case kNandRegLength: value = length_; break;
    case kNandRegOperation: value = operation_; break;
    case kNandRegStatus: value = status_; break;
    case kNandRegEccEngine: value = eccEngine_; break;
    case kNandRegSector: value = sector_; break;
    case kNandRegEccResult: value = eccResult_; break;
    case kNandRegControl: value = control_; break;
    default: break;
  }
  return width >= 4 ? value : value & ((1u << (8 * width)) - 1);
}

void NandController::Write(uint32_t offset, unsigned width, uint32_t value) {
  switch (offset) {
    case kNandRegMode: mode_ = value; break;
    case kNandRegCommand: command_ = value; break;
    case kNandRegAddressLow: addressLow_ = value; break;
    case kNandRegAddressHigh: addressHigh_ = value; break;
    case kNandRegLength: length_ = value; break;
    case kNandRegOperation: Start(value); break;
    case kNandRegSector: sector_ = value; break;
    case kNandRegControl: control_ = value; break;
    case kNandRegEccEngine:
      eccEngine_ = 0;
      if ((value & 1) != 0 && !chip_.Faults().TakeHang(false, 0, 1)) RunEccEngine();
      break;
    default: break;
  }
}

// --- Operations ---

void NandController::Finish(uint8_t chipStatus) { status_ = 1u | (uint32_t(chipStatus) << 5); }

void NandController::Refuse(const char *why) {
  char text[160];
  std::snprintf(text, sizeof(text), "%s (operation 0x%X, command 0x%X, address 0x%X:0x%X, length %u)", why,
                operation_, command_, addressHigh_, addressLow_, length_);
  protocolErrors_.push_back(text);
  Finish(kNandStatusReady | kNandStatusFail);
}

bool NandController::CheckLongCode(uint32_t code, uint64_t byteAddress) {
  bool isLong = (code & 0x80) != 0;
  if (isLong == (byteAddress >= kNandLongAddress)) return true;
  Refuse(isLong ? "long-address code for an address below 0x20000000"
                : "short-address code for an address of 0x20000000 or more");
  return false;
}

bool NandController::FitsBuffer(uint32_t column) {
  if (length_ <= kNandBufferSize && uint64_t(column) + length_ <= layout_.RawSize()) return true;
  Refuse("transfer beyond the page or the buffer");
  return false;
}

void NandController::Start(uint32_t value) {
  operation_ = value;
  if (tracing_) {
    trace_.push_back(NandCtlOperation{value, mode_, command_, addressLow_, addressHigh_, length_, sector_});
  }
  const uint32_t code = value & 0xFF;
  const NandGeometry &g = chip_.Geometry();
  const bool erase = code == kErase || code == kEraseLong;
  const bool addressed = code != kReset && code != kReadId;
  const uint32_t row = erase ? addressLow_ : Row();

  status_ = 0;
  if (code != kSectorReadNext) registerLoaded_ = false;
  if (code != kSectorProgramNext && code != kSectorProgramLast) registerProgram_ = false;
  if (chip_.Faults().TakeHang(addressed && row < g.PageCount(), row, g.pagesPerBlock)) return;
  if (addressed && row >= g.PageCount()) return Refuse("row beyond the chip");
  const bool sectorCode = code == kSectorReadFirst || code == kSectorReadNext || code == kSectorProgramFirst ||
                          code == kSectorProgramNext || code == kSectorProgramLast;
  if (sectorCode && (mode_ & 0xF) != 0x7) return Refuse("sector operation outside the four-sector mode");

  switch (code) {
    case kReset:
      if (command_ != kCommandReset) return Refuse("reset without its command");
      chip_.Reset();
      return Finish(kNandStatusReady);
    case kReadId:
      if (command_ != kCommandReadId) return Refuse("read ID without its command");
      return ReadId();
    case kRead:
    case kReadLong:
      if (!CheckLongCode(code, uint64_t(row) * g.pageSize)) return;
      if (command_ != kCommandRead && command_ != kCommandRawRead) return Refuse("read with an unknown command");
      if (!FitsBuffer(Column())) return;
      LoadPage(row, command_ == kCommandRead);
      MoveOut(Column());
      return Finish(kNandStatusReady);
    case kSectorReadFirst:
      if (command_ != kCommandRead) return Refuse("sector read with an unknown command");
      if (!FitsBuffer(Column())) return;
      LoadPage(row, true);
      MoveOut(Column());
      registerLoaded_ = true;
      return Finish(kNandStatusReady);
    case kSectorReadNext:
      if (!registerLoaded_) return Refuse("sector read outside a sequence");
      if (!FitsBuffer(nextColumn_)) return;
      MoveOut(nextColumn_);
      return Finish(kNandStatusReady);
    case kProgram:
    case kProgramLong:
      if (!CheckLongCode(code, uint64_t(row) * g.pageSize)) return;
      if (command_ != kCommandProgram) return Refuse("program with an unknown command");
      if (!FitsBuffer(Column())) return;
      BeginProgram(row, Column());
      MoveIn(Column());
      return ProgramRegister();
    case kSectorProgramFirst:
      if (command_ != kCommandProgram) return Refuse("sector program with an unknown command");
      if (!FitsBuffer(Column())) return;
      BeginProgram(row, Column());
      MoveIn(Column());
      registerProgram_ = true;
      return Finish(kNandStatusReady);
    case kSectorProgramNext:
    case kSectorProgramLast:
      if (!registerProgram_) return Refuse("sector program outside a sequence");
      if (!FitsBuffer(nextColumn_)) return;
      MoveIn(nextColumn_);
      if (code == kSectorProgramNext) return Finish(kNandStatusReady);
      registerProgram_ = false;
      return ProgramRegister();
    case kErase:
    case kEraseLong:
      if (command_ != kCommandErase) return Refuse("erase without its commands");
      return Erase(code);
    default:
      return Refuse("unknown operation code");
  }
}

void NandController::ReadId() {
  if (length_ > kNandBufferSize) return Refuse("read ID longer than the buffer");
  const uint8_t *id = chip_.Geometry().id;
  for (uint32_t i = 0; i < length_; ++i) buffer_.bytes[i] = i < 4 ? id[i] : 0x00;
  chip_.ChargeOther(kReadIdNs);
  Finish(kNandStatusReady);
}

void NandController::LoadPage(uint32_t row, bool checkEcc) {
  chip_.LoadPage(row, pageRegister_.data(), &flippedBits_);
  registerRow_ = row;
  eccResult_ = 0;
  eccChecked_ = checkEcc;
  reportedData_ = reportedSpare_ = false;
  if (checkEcc) {
    dataOutcome_ = NandEccCheck(layout_, pageRegister_.data(), false, flippedBits_);
    spareOutcome_ = NandEccCheck(layout_, pageRegister_.data(), true, flippedBits_);
  }
}

void NandController::MoveOut(uint32_t column) {
  for (uint32_t i = 0; i < length_; ++i) {
    buffer_.bytes[i] = layout_.Hidden(column + i) ? 0xFF : pageRegister_[column + i];
  }
  chip_.Transfer(registerRow_, length_, false);
  if (eccChecked_) {
    if (!reportedData_ && Overlaps(column, length_, 0, layout_.pageSize)) {
      Accumulate(&eccResult_, dataOutcome_);
      reportedData_ = true;
    }
    if (!reportedSpare_ && Overlaps(column, length_, layout_.pageSize, layout_.FreeSpare())) {
      Accumulate(&eccResult_, spareOutcome_);
      reportedSpare_ = true;
    }
  }
  nextColumn_ = column + length_;
}

void NandController::BeginProgram(uint32_t row, uint32_t column) {
  std::fill(pageRegister_.begin(), pageRegister_.end(), 0xFF);
  registerRow_ = row;
  touchedData_ = touchedSpare_ = false;
}

void NandController::MoveIn(uint32_t column) {
  std::memcpy(pageRegister_.data() + column, buffer_.bytes.data(), length_);
  chip_.Transfer(registerRow_, length_, true);
  touchedData_ = touchedData_ || Overlaps(column, length_, 0, layout_.pageSize);
  touchedSpare_ = touchedSpare_ || Overlaps(column, length_, layout_.pageSize, layout_.FreeSpare());
  nextColumn_ = column + length_;
}

void NandController::ProgramRegister() {
  NandEccEncode(layout_, pageRegister_.data(), touchedData_, touchedSpare_);
  Finish(chip_.ProgramPage(registerRow_, pageRegister_.data(), touchedData_));
}

void NandController::Erase(uint32_t code) {
  const NandGeometry &g = chip_.Geometry();
  const uint32_t block = addressLow_ / g.pagesPerBlock;
  if (addressHigh_ != 0 || addressLow_ % g.pagesPerBlock != 0) return Refuse("erase address is not a block's first row");
  if (!CheckLongCode(code, uint64_t(block) * g.BlockSize())) return;
  Finish(chip_.EraseBlock(block));
}

void NandController::RunEccEngine() {
  NandEccEncode(layout_, buffer_.bytes.data(), true, true);
  eccEngine_ = 1;
}

}  // namespace sim
