// Bitwise CRC-32: the mark is 32 bytes long and written rarely, so a table
// would only cost memory.
#include "Kvfs/KvfsCrc32.h"

UINT32 kvfs_Crc32(CONST UINT8 *Bytes, UINT32 Length) {
  UINT32 crc = 0xFFFFFFFFu;
  for (UINT32 i = 0; i < Length; i++) {
    crc ^= Bytes[i];
    for (UINT32 bit = 0; bit < 8; bit++) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}
