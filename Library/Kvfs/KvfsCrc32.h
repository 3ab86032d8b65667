// CRC-32 of IEEE 802.3 (reflected polynomial 0xEDB88320, initial value
// 0xFFFFFFFF, final complement), as kvfs's bad-block mark carries it.
#ifndef KVFS_CRC32_H_
#define KVFS_CRC32_H_

#include <Uefi/UefiBaseType.h>

UINT32 kvfs_Crc32(CONST UINT8 *Bytes, UINT32 Length);

#endif  // KVFS_CRC32_H_
