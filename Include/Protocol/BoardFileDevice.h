// The board file device protocol: how the platform hands a storage device
// of its own (the board's "ofs1:") to the firmware's I/O system. It carries
// the device's name, its driver operations and its device record; the
// firmware adds it to the I/O system at start-up.
#ifndef PROTOCOL_BOARD_FILE_DEVICE_H_
#define PROTOCOL_BOARD_FILE_DEVICE_H_

#include <Library/IoSystemLib.h>
#include <Uefi/UefiBaseType.h>

#define BOARD_FILE_DEVICE_PROTOCOL_GUID \
  { 0x71A97519, 0x6FD6, 0x49DB, { 0xBC, 0x89, 0x50, 0x41, 0x45, 0xE5, 0x9F, 0x6C } }

extern EFI_GUID gBoardFileDeviceProtocolGuid;

typedef struct {
  CONST CHAR8 *szDeviceName;        // "ofs1:"
  CONST IOS_DRIVER_FUNCS *pDriver;  // the device's driver operations
  IOS_DEV_HDR *pDevice;             // the device record the operations are given
} BOARD_FILE_DEVICE_PROTOCOL;

#endif  // PROTOCOL_BOARD_FILE_DEVICE_H_
