// CRC-16 of packages and the boot record: polynomial 0x1021, MSB first, no
// reflection, no final XOR (CRC-16/XMODEM). Callers start from 0 and pass
// the running value in and out.
#ifndef BOOTUPCC_PACKAGE_CRC_H_
#define BOOTUPCC_PACKAGE_CRC_H_

#include <Uefi/UefiBaseType.h>

VOID CalcCrc16(CONST VOID *Data, UINT32 Length, UINT16 *Crc);

#endif  // BOOTUPCC_PACKAGE_CRC_H_
