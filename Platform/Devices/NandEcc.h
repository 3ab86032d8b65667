// The NAND controller's error correction, as the model does it. The last
// kNandEccBytes of every page's spare belong to the controller: a 4-byte
// code of the data area, then a 4-byte code of the free spare bytes before
// them. Software never sees these bytes (they read as 0xFF and whatever it
// writes there is replaced), so the spare it reads back is what it wrote.
//
// An area whose bytes and code are all 0xFF is erased and passes. Bit
// errors the chip reports on a read are corrected while an area holds at
// most kNandEccCorrectableBits of them; beyond that, and whenever the
// stored bytes do not match their code (a torn or twice-programmed page),
// the area is uncorrectable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

constexpr uint32_t kNandEccBytes = 8;
constexpr unsigned kNandEccCorrectableBits = 8;  // per area and page

struct NandEccLayout {
  uint32_t pageSize = 0;
  uint32_t spareSize = 0;

  uint32_t RawSize() const { return pageSize + spareSize; }
  uint32_t FreeSpare() const { return spareSize - kNandEccBytes; }
  uint32_t DataCodeOffset() const { return pageSize + spareSize - kNandEccBytes; }
  uint32_t SpareCodeOffset() const { return DataCodeOffset() + 4; }
  // The columns software sees: everything but the code bytes.
  bool Hidden(uint32_t column) const { return column >= DataCodeOffset() && column < RawSize(); }
};

// 31-bit code of the bytes (never all ones, so it cannot look erased).
uint32_t NandEccCode(const uint8_t *bytes, size_t length);

// Stores the codes of the areas given into a raw page (data + spare) and
// leaves the code bytes of the others erased.
void NandEccEncode(const NandEccLayout &layout, uint8_t *raw, bool data, bool spare);

struct NandEccOutcome {
  unsigned corrected = 0;
  bool uncorrectable = false;
};

// Checks the data area (or the spare area) of a raw page as the chip
// delivered it. flippedBits are the bit positions (byte * 8 + bit) the chip
// read wrongly; those the ECC can correct are put right in raw.
NandEccOutcome NandEccCheck(const NandEccLayout &layout, uint8_t *raw, bool spareArea,
                            const std::vector<uint32_t> &flippedBits);

}  // namespace sim
