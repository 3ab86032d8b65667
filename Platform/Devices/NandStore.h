// The cells of a NAND chip: data and spare bytes of every page, held
// sparsely. Untouched (erased) blocks cost nothing: in memory they are
// absent, in an image file they are holes.
//
// Image file layout: a 4 KiB header (magic "SIMNAND1", geometry, ID bytes
// and the list of factory-bad blocks), then every page as data followed by
// spare, page after page. Bytes are stored inverted, so a hole (zeros)
// reads as erased 0xFF and erasing a block punches a hole.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "Devices/NandGeometry.h"

namespace sim {

constexpr const char *kNandImageMagic = "SIMNAND1";
constexpr uint32_t kNandImageHeaderSize = 4096;

class NandStore {
 public:
  // An empty path keeps the cells in memory only. A path that names no file
  // creates an image; an existing image must have the same geometry.
  NandStore(const NandGeometry &geometry, const std::string &path);
  ~NandStore();
  NandStore(const NandStore &) = delete;
  NandStore &operator=(const NandStore &) = delete;

  const std::string &Path() const { return path_; }

  // RawPageSize() bytes: data, then spare.
  void ReadPage(uint32_t page, uint8_t *raw) const;
  void WritePage(uint32_t page, const uint8_t *raw);
  void EraseBlock(uint32_t block);

  // Blocks holding anything but 0xFF (memory store), for the sparse check.
  size_t BlocksInMemory() const { return blocks_.size(); }

  const std::vector<uint32_t> &FactoryBadBlocks() const { return factoryBad_; }
  void AddFactoryBadBlock(uint32_t block);

 private:
  void OpenImage();
  void WriteHeader();
  uint64_t PageOffset(uint32_t page) const;

  NandGeometry geometry_;
  std::string path_;
  int fd_ = -1;
  std::map<uint32_t, std::vector<uint8_t>> blocks_;  // memory store
  std::vector<uint32_t> factoryBad_;
};

}  // namespace sim
