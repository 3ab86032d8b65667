#include "Devices/NandStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace sim {
namespace {

// Header words after the 8-byte magic.
enum HeaderWord { kVersion, kPageSize, kSpareSize, kPagesPerBlock, kBlocks, kIdBytes, kBadCount, kBadList };
constexpr uint32_t kImageVersion = 1;
constexpr uint32_t kMaxFactoryBad = (kNandImageHeaderSize - 8) / 4 - kBadList;

std::runtime_error SystemError(const std::string &what) {
  return std::runtime_error("NAND image: " + what + ": " + std::strerror(errno));
}

void Invert(const uint8_t *in, uint8_t *out, size_t length) {
  for (size_t i = 0; i < length; ++i) out[i] = uint8_t(~in[i]);
}

void ReadFully(int fd, void *buffer, size_t length, uint64_t offset) {
  uint8_t *p = static_cast<uint8_t *>(buffer);
  while (length > 0) {
    ssize_t n = pread(fd, p, length, off_t(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw SystemError("read failed");
    if (n == 0) {  // past the end: never written
      std::memset(p, 0, length);
      return;
    }
    p += n;
    offset += uint64_t(n);
    length -= size_t(n);
  }
}

void WriteFully(int fd, const void *buffer, size_t length, uint64_t offset) {
  const uint8_t *p = static_cast<const uint8_t *>(buffer);
  while (length > 0) {
    ssize_t n = pwrite(fd, p, length, off_t(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw SystemError("write failed");
    p += n;
    offset += uint64_t(n);
    length -= size_t(n);
  }
}

}  // namespace

NandStore::NandStore(const NandGeometry &geometry, const std::string &path) : geometry_(geometry), path_(path) {
  if (!path_.empty()) OpenImage();
}

NandStore::~NandStore() {
  if (fd_ >= 0) close(fd_);
}

void NandStore::OpenImage() {
  fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) throw SystemError("cannot open " + path_);
  struct stat st;
  if (fstat(fd_, &st) != 0) throw SystemError("cannot stat " + path_);
  uint64_t total = kNandImageHeaderSize + uint64_t(geometry_.PageCount()) * geometry_.RawPageSize();
  if (st.st_size == 0) {
    WriteHeader();
    if (ftruncate(fd_, off_t(total)) != 0) throw SystemError("cannot size " + path_);
    return;
  }
  std::vector<uint32_t> header(kNandImageHeaderSize / 4);
  ReadFully(fd_, header.data(), kNandImageHeaderSize, 0);
  const uint32_t *w = header.data() + 2;
  uint8_t id[4];
  std::memcpy(id, &w[kIdBytes], 4);
  if (std::memcmp(header.data(), kNandImageMagic, 8) != 0 || w[kVersion] != kImageVersion) {
    close(fd_);
    fd_ = -1;
    throw std::runtime_error("NAND image: " + path_ + " is not a NAND image");
  }
  if (w[kPageSize] != geometry_.pageSize || w[kSpareSize] != geometry_.spareSize ||
      w[kPagesPerBlock] != geometry_.pagesPerBlock || w[kBlocks] != geometry_.blocks ||
      std::memcmp(id, geometry_.id, 4) != 0) {
    close(fd_);
    fd_ = -1;
    throw std::runtime_error("NAND image: " + path_ + " holds a chip of another type");
  }
  uint32_t count = std::min(w[kBadCount], kMaxFactoryBad);
  factoryBad_.assign(w + kBadList, w + kBadList + count);
  if (uint64_t(st.st_size) < total && ftruncate(fd_, off_t(total)) != 0) throw SystemError("cannot size " + path_);
}

void NandStore::WriteHeader() {
  std::vector<uint32_t> header(kNandImageHeaderSize / 4, 0);
  std::memcpy(header.data(), kNandImageMagic, 8);
  uint32_t *w = header.data() + 2;
  w[kVersion] = kImageVersion;
  w[kPageSize] = geometry_.pageSize;
  w[kSpareSize] = geometry_.spareSize;
  w[kPagesPerBlock] = geometry_.pagesPerBlock;
  w[kBlocks] = geometry_.blocks;
  std::memcpy(&w[kIdBytes], geometry_.id, 4);
  w[kBadCount] = uint32_t(factoryBad_.size());
  std::copy(factoryBad_.begin(), factoryBad_.end(), w + kBadList);
  WriteFully(fd_, header.data(), kNandImageHeaderSize, 0);
}

uint64_t NandStore::PageOffset(uint32_t page) const {
  return kNandImageHeaderSize + uint64_t(page) * geometry_.RawPageSize();
}

void NandStore::ReadPage(uint32_t page, uint8_t *raw) const {
  const uint32_t rawSize = geometry_.RawPageSize();
  if (fd_ >= 0) {
    ReadFully(fd_, raw, rawSize, PageOffset(page));
    Invert(raw, raw, rawSize);
    return;
  }
  auto it = blocks_.find(page / geometry_.pagesPerBlock);
  if (it == blocks_.end()) {
    std::memset(raw, 0xFF, rawSize);
    return;
  }
  std::memcpy(raw, it->second.data() + size_t(page % geometry_.pagesPerBlock) * rawSize, rawSize);
}

void NandStore::WritePage(uint32_t page, const uint8_t *raw) {
  const uint32_t rawSize = geometry_.RawPageSize();
  if (fd_ >= 0) {
    std::vector<uint8_t> inverted(rawSize);
    Invert(raw, inverted.data(), rawSize);
    WriteFully(fd_, inverted.data(), rawSize, PageOffset(page));
    return;
  }
  std::vector<uint8_t> &block = blocks_[page / geometry_.pagesPerBlock];
  if (block.empty()) block.assign(size_t(rawSize) * geometry_.pagesPerBlock, 0xFF);
  std::memcpy(block.data() + size_t(page % geometry_.pagesPerBlock) * rawSize, raw, rawSize);
}

void NandStore::EraseBlock(uint32_t block) {
  if (fd_ < 0) {
    blocks_.erase(block);
    return;
  }
  const uint64_t length = uint64_t(geometry_.RawPageSize()) * geometry_.pagesPerBlock;
  const uint64_t offset = PageOffset(block * geometry_.pagesPerBlock);
#ifdef FALLOC_FL_PUNCH_HOLE
  if (fallocate(fd_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, off_t(offset), off_t(length)) == 0) return;
#endif
  std::vector<uint8_t> zeros(size_t(length), 0);
  WriteFully(fd_, zeros.data(), zeros.size(), offset);
}

void NandStore::AddFactoryBadBlock(uint32_t block) {
  if (std::find(factoryBad_.begin(), factoryBad_.end(), block) != factoryBad_.end()) return;
  if (factoryBad_.size() >= kMaxFactoryBad) throw std::length_error("NAND image: too many factory-bad blocks");
  factoryBad_.push_back(block);
  if (fd_ >= 0) WriteHeader();
}

}  // namespace sim
