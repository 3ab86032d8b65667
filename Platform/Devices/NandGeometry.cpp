#include "Devices/NandGeometry.h"

#include <stdexcept>

namespace sim {
namespace {

struct DecodedChip {
  uint8_t code;
  uint32_t mebibytes;
};

// Chips whose layout the driver reads from ID byte 3 (kNandIdByte3Large).
const DecodedChip kDecodedChips[] = {{0xF2, 64}, {0xF1, 128}, {0xDA, 256}, {0xD3, 1024}};

bool IsPowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

}  // namespace

std::string NandGeometry::Problem() const {
  if (!IsPowerOfTwo(pageSize) || pageSize < 512 || pageSize > 8192) return "page size must be 512..8192, a power of two";
  if (spareSize < 16 || spareSize > 1024) return "spare size must be 16..1024 bytes";
  if (pagesPerBlock == 0 || pagesPerBlock > 65536) return "pages per block must be 1..65536";
  if (blocks == 0) return "a chip needs at least one block";
  if (uint64_t(pagesPerBlock) * blocks > 0xFFFFFFFFull) return "too many pages";
  return "";
}

bool NandGeometry::IsKnownDeviceCode(uint8_t code) {
  if (code == 0xDC || code == 0xD5) return true;
  for (const DecodedChip &chip : kDecodedChips) {
    if (chip.code == code) return true;
  }
  return false;
}

NandGeometry NandGeometry::ForDeviceCode(uint8_t code) {
  if (code == 0xDC) return Custom(0xDC, 2048, 64, 64, 4096);
  if (code == 0xD5) {
    NandGeometry g = Custom(0xD5, 8192, 32, 128, 2048);
    g.id[3] = 0x33;  // 8 KiB pages; the driver takes this chip's layout from its table
    return g;
  }
  for (const DecodedChip &chip : kDecodedChips) {
    if (chip.code == code) return Custom(code, 2048, 64, 64, chip.mebibytes * 8);
  }
  throw std::invalid_argument("no NAND chip model for this device code");
}

NandGeometry NandGeometry::Custom(uint8_t code, uint32_t pageSize, uint32_t spareSize, uint32_t pagesPerBlock,
                                  uint32_t blocks) {
  NandGeometry g;
  g.id[0] = kNandMakerCode;
  g.id[1] = code;
  g.id[2] = 0x10;
  g.id[3] = kNandIdByte3Large;
  g.pageSize = pageSize;
  g.spareSize = spareSize;
  g.pagesPerBlock = pagesPerBlock;
  g.blocks = blocks;
  std::string problem = g.Problem();
  if (!problem.empty()) throw std::invalid_argument("NAND geometry: " + problem);
  return g;
}

}  // namespace sim
