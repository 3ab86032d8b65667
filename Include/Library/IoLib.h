// Register access. Firmware reaches hardware only through these; on the
// simulated board they are served by the MMIO bus and its device models.
#ifndef IO_LIB_H_
#define IO_LIB_H_

#include <Uefi/UefiBaseType.h>

UINT8 MmioRead8(UINTN Address);
UINT16 MmioRead16(UINTN Address);
UINT32 MmioRead32(UINTN Address);
UINT8 MmioWrite8(UINTN Address, UINT8 Value);
UINT16 MmioWrite16(UINTN Address, UINT16 Value);
UINT32 MmioWrite32(UINTN Address, UINT32 Value);

#endif  // IO_LIB_H_
