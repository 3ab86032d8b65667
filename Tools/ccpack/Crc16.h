// The package CRC over buffers of any size, computed with the firmware's
// own CalcCrc16 so that the tool and the board can never disagree.
#ifndef CCPACK_CRC16_H_
#define CCPACK_CRC16_H_

#include <cstdint>

namespace ccpack {

uint16_t Crc16(const uint8_t *data, uint64_t length);

}  // namespace ccpack

#endif  // CCPACK_CRC16_H_
