#include "Devices/NandEcc.h"

#include <cstring>

namespace sim {
namespace {

uint32_t Crc32(const uint8_t *bytes, size_t length) {
  static uint32_t table[256];
  static bool ready = false;
  if (!ready) {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[i] = c;
    }
    ready = true;
  }
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < length; ++i) crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

uint32_t Load32(const uint8_t *p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

void Store32(uint8_t *p, uint32_t v) { std::memcpy(p, &v, 4); }

bool AllErased(const uint8_t *p, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (p[i] != 0xFF) return false;
  }
  return true;
}

}  // namespace

uint32_t NandEccCode(const uint8_t *bytes, size_t length) { return Crc32(bytes, length) & 0x7FFFFFFFu; }

void NandEccEncode(const NandEccLayout &layout, uint8_t *raw, bool data, bool spare) {
  Store32(raw + layout.DataCodeOffset(), data ? NandEccCode(raw, layout.pageSize) : 0xFFFFFFFFu);
  Store32(raw + layout.SpareCodeOffset(),
          spare ? NandEccCode(raw + layout.pageSize, layout.FreeSpare()) : 0xFFFFFFFFu);
}

NandEccOutcome NandEccCheck(const NandEccLayout &layout, uint8_t *raw, bool spareArea,
                            const std::vector<uint32_t> &flippedBits) {
  const uint32_t begin = spareArea ? layout.pageSize : 0;
  const uint32_t length = spareArea ? layout.FreeSpare() : layout.pageSize;
  const uint32_t codeAt = spareArea ? layout.SpareCodeOffset() : layout.DataCodeOffset();
  auto inArea = [&](uint32_t byte) {
    return (byte >= begin && byte < begin + length) || (byte >= codeAt && byte < codeAt + 4);
  };

  NandEccOutcome outcome;
  unsigned flips = 0;
  for (uint32_t bit : flippedBits) flips += inArea(bit / 8) ? 1 : 0;
  if (flips > kNandEccCorrectableBits) {
    outcome.uncorrectable = true;
    return outcome;
  }
  for (uint32_t bit : flippedBits) {
    if (inArea(bit / 8)) raw[bit / 8] ^= uint8_t(1u << (bit % 8));
  }
  outcome.corrected = flips;

  const uint32_t code = Load32(raw + codeAt);
  if (code == 0xFFFFFFFFu && AllErased(raw + begin, length)) return outcome;
  if (code != NandEccCode(raw + begin, length)) {
    outcome.corrected = 0;
    outcome.uncorrectable = true;
  }
  return outcome;
}

}  // namespace sim
