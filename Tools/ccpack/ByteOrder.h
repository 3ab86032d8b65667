// Field access for package bytes: package integers are big-endian, the
// board-type list and the LZMA header are little-endian.
#ifndef CCPACK_BYTE_ORDER_H_
#define CCPACK_BYTE_ORDER_H_

#include <cstddef>
#include <cstdint>

namespace ccpack {

inline uint32_t GetBe32(const uint8_t *p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

inline void PutBe32(uint8_t *p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

inline uint32_t GetLe32(const uint8_t *p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void PutLe32(uint8_t *p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (8 * i));
}

inline void PutLe64(uint8_t *p, uint64_t v) {
  for (int i = 0; i < 8; i++) p[i] = uint8_t(v >> (8 * i));
}

}  // namespace ccpack

#endif  // CCPACK_BYTE_ORDER_H_
