// CRC-16 of packages and the boot record: polynomial 0x1021, MSB first, no
// reflection, no final XOR (CRC-16/XMODEM). Callers start from 0 and pass
// the running value in and out.
#ifndef BOOTUPCC_PACKAGE_CRC_H_
#define BOOTUPCC_PACKAGE_CRC_H_

#include <Uefi/UefiBaseType.h>

// Updates *Crc over Length bytes at Data; Length 0 leaves it unchanged.
// Long buffers go through the sliced loop, short ones through the byte loop;
// both give the same result.
VOID CalcCrc16(CONST VOID *Data, UINT32 Length, UINT16 *Crc);

// The reference: one table lookup per byte.
VOID CalcCrc16Bytewise(CONST VOID *Data, UINT32 Length, UINT16 *Crc);

// Eight bytes per step through eight tables (slicing); the tail goes
// through the byte loop.
VOID CalcCrc16Sliced(CONST VOID *Data, UINT32 Length, UINT16 *Crc);

#endif  // BOOTUPCC_PACKAGE_CRC_H_
