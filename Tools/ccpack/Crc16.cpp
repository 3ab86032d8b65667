#include "Crc16.h"

#include "BootupCC/package/PackageCrc.h"

namespace ccpack {

uint16_t Crc16(const uint8_t *data, uint64_t length) {
  // CalcCrc16 takes a 32-bit length; feed larger buffers in pieces.
  const uint64_t kChunk = 0x40000000;
  UINT16 crc = 0;
  while (length > 0) {
    uint64_t piece = length < kChunk ? length : kChunk;
    CalcCrc16(data, UINT32(piece), &crc);
    data += piece;
    length -= piece;
  }
  return crc;
}

}  // namespace ccpack
