#include "Devices/BootFlash.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace sim {
namespace {

std::runtime_error SystemError(const std::string &what) {
  return std::runtime_error("boot flash: " + what + ": " + std::strerror(errno));
}

// An anonymous file for a flash without a backing path: a memfd, or an
// unlinked temporary file where memfds are not available.
int OpenAnonymousFile() {
  int fd = memfd_create("bootflash", MFD_CLOEXEC);
  if (fd >= 0) return fd;
  const char *dir = std::getenv("TMPDIR");
  std::string pattern = std::string(dir != nullptr ? dir : "/tmp") + "/bootflash-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  fd = mkstemp(name.data());
  if (fd < 0) throw SystemError("cannot create temporary backing file");
  unlink(name.data());
  return fd;
}

}  // namespace

BootFlash::BootFlash(VirtualClock &clock, const std::string &path)
    : clock_(clock), path_(path), perBlock_(kBootFlashBlockCount) {
  try {
    OpenBacking(path);
  } catch (...) {
    Release();
    throw;
  }
}

BootFlash::~BootFlash() {
  UnmapWindow();
  Release();
}

void BootFlash::Release() {
  if (ro_ != nullptr) munmap(ro_, kBootFlashSize);
  if (rw_ != nullptr) munmap(rw_, kBootFlashSize);
  if (fd_ >= 0) close(fd_);
  ro_ = rw_ = nullptr;
  fd_ = -1;
}

void BootFlash::OpenBacking(const std::string &path) {
  bool fresh = true;
  if (path.empty()) {
    fd_ = OpenAnonymousFile();
  } else {
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) throw SystemError("cannot open " + path);
    struct stat st;
    if (fstat(fd_, &st) != 0) throw SystemError("cannot stat " + path);
    if (st.st_size != 0 && st.st_size != off_t(kBootFlashSize)) {
      throw std::runtime_error("boot flash: " + path + " is not a 16 MiB flash image");
    }
    fresh = st.st_size == 0;
  }
  if (fresh && ftruncate(fd_, kBootFlashSize) != 0) throw SystemError("cannot size backing file");

  void *rw = mmap(nullptr, kBootFlashSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
  if (rw == MAP_FAILED) throw SystemError("cannot map array");
  rw_ = static_cast<uint8_t *>(rw);
  void *ro = mmap(nullptr, kBootFlashSize, PROT_READ, MAP_SHARED, fd_, 0);
  if (ro == MAP_FAILED) throw SystemError("cannot map read-only view");
  ro_ = static_cast<uint8_t *>(ro);

  if (fresh) std::memset(rw_, 0xFF, kBootFlashSize);
}

void BootFlash::CheckRange(uint32_t offset, uint32_t length) const {
  if (offset > kBootFlashSize || length > kBootFlashSize - offset) {
    throw std::out_of_range("boot flash: range outside the array");
  }
}

// --- Chip operations ---

EFI_STATUS BootFlash::Program(uint32_t offset, const uint8_t *data, uint32_t length) {
  if (data == nullptr || offset > kBootFlashSize || length > kBootFlashSize - offset) {
    return EFI_INVALID_PARAMETER;
  }
  while (length > 0) {
    uint32_t room = kBootFlashPageSize - offset % kBootFlashPageSize;
    uint32_t piece = length < room ? length : room;
    EFI_STATUS status = ProgramPage(offset, data, piece);
    if (EFI_ERROR(status)) return status;
    offset += piece;
    data += piece;
    length -= piece;
  }
  return EFI_SUCCESS;
}

EFI_STATUS BootFlash::ProgramPage(uint32_t offset, const uint8_t *data, uint32_t length) {
  if (failNextWrite_) {
    failNextWrite_ = false;
    return EFI_DEVICE_ERROR;
  }
  bool cut = programsUntilCut_ == 1;
  if (programsUntilCut_ > 0) --programsUntilCut_;
  uint32_t programmed = cut ? length / 2 : length;
  for (uint32_t i = 0; i < programmed; ++i) rw_[offset + i] &= data[i];
  Count(offset, programmed, false);
  clock_.Advance(timing_.pageProgramNs);
  if (cut) PowerCut(offset);
  return EFI_SUCCESS;
}

EFI_STATUS BootFlash::EraseBlock(uint32_t block) {
  if (block >= kBootFlashBlockCount) return EFI_INVALID_PARAMETER;
  clock_.Advance(timing_.blockEraseNs);
  if (failNextErase_) {
    failNextErase_ = false;
    return EFI_DEVICE_ERROR;
  }
  std::memset(rw_ + block * kBootFlashBlockSize, 0xFF, kBootFlashBlockSize);
  Count(block * kBootFlashBlockSize, kBootFlashBlockSize, true);
  return EFI_SUCCESS;
}

void BootFlash::PowerCut(uint32_t offset) {
  cutEnd_ = RunEnd{};
  cutEnd_.outcome = RunOutcome::PowerCut;
  cutEnd_.value = offset;
  cutEnd_.timeNs = clock_.NowNs();
  cutEnd_.reason = "power cut while programming the boot flash";
  ClearFaults();
  EndRun(cutEnd_);
}

// --- Host-side access ---

void BootFlash::Read(uint32_t offset, void *destination, uint32_t length) const {
  CheckRange(offset, length);
  std::memcpy(destination, rw_ + offset, length);
}

void BootFlash::WriteRaw(uint32_t offset, const void *source, uint32_t length) {
  CheckRange(offset, length);
  std::memcpy(rw_ + offset, source, length);
}

void BootFlash::FillRaw(uint32_t offset, uint32_t length, uint8_t value) {
  CheckRange(offset, length);
  std::memset(rw_ + offset, value, length);
}

uint32_t BootFlash::Read32(uint32_t offset) const {
  uint32_t value;
  Read(offset, &value, 4);
  return value;
}

void BootFlash::Write32(uint32_t offset, uint32_t value) { WriteRaw(offset, &value, 4); }

// --- Window ---

void BootFlash::MapWindow(PhysMemory &memory, uint32_t base) {
  UnmapWindow();
  memory.AddForeignWindow("boot flash", base, kBootFlashSize, ro_);
  windowMemory_ = &memory;
  windowBase_ = base;
}

void BootFlash::UnmapWindow() {
  if (windowMemory_ == nullptr) return;
  windowMemory_->RemoveWindow(windowBase_);
  windowMemory_ = nullptr;
}

// --- Counters ---

void BootFlash::Count(uint32_t offset, uint32_t length, bool erase) {
  BootFlashCounters &block = perBlock_[offset / kBootFlashBlockSize];
  if (erase) {
    ++totals_.erases;
    ++block.erases;
  } else {
    ++totals_.programOps;
    totals_.bytesProgrammed += length;
    ++block.programOps;
    block.bytesProgrammed += length;
  }
  log_.push_back(Operation{offset, length, erase});
}

BootFlashCounters BootFlash::BlockCounters(uint32_t block) const {
  if (block >= kBootFlashBlockCount) throw std::out_of_range("boot flash: no such block");
  return perBlock_[block];
}

BootFlashCounters BootFlash::ActivityIn(uint32_t begin, uint32_t end) const {
  BootFlashCounters activity;
  for (const Operation &op : log_) {
    uint64_t lo = op.offset > begin ? op.offset : begin;
    uint64_t hi = uint64_t(op.offset) + op.length < end ? uint64_t(op.offset) + op.length : end;
    if (lo >= hi) continue;
    if (op.erase) {
      ++activity.erases;
    } else {
      ++activity.programOps;
      activity.bytesProgrammed += hi - lo;
    }
  }
  return activity;
}

void BootFlash::ResetCounters() {
  totals_ = BootFlashCounters{};
  for (BootFlashCounters &c : perBlock_) c = BootFlashCounters{};
  log_.clear();
}

void BootFlash::ClearFaults() {
  failNextWrite_ = false;
  failNextErase_ = false;
  programsUntilCut_ = 0;
}

}  // namespace sim
