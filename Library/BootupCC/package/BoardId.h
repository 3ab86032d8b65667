// The board ID: a 16-bit read-only register at 0x74000000.
#ifndef BOOTUPCC_BOARD_ID_H_
#define BOOTUPCC_BOARD_ID_H_

#include <Uefi/UefiBaseType.h>

#define BOARD_ID_REGISTER 0x74000000u

#define BOARD_ID_1452 1452u
#define BOARD_ID_1460 1460u
#define BOARD_ID_1466 1466u

// The board ID; boards 1460 and 1466 are variants of 1452 and read as 1452.
UINT16 ReadBoardId(VOID);

#endif  // BOOTUPCC_BOARD_ID_H_
