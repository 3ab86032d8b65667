// Steps of the boot protocol that live in the boot library. Those not built
// yet are stubs in UnbuiltSteps.cpp that fail and say so on the console.
#ifndef BOOT_STEPS_H_
#define BOOT_STEPS_H_

#include <Uefi/UefiBaseType.h>

// The boot flow; returns only when no source booted.
INT32 BootMain(VOID);
// Test mode: DHCP, then a fixed static address saved to the parameters.
EFI_STATUS NetConfigureBoardAddress(VOID);
// Test mode: repairs the extended BIOS and fetches test files; 0 when done.
UINT32 MaintainExtBios(VOID);
// Writes the test parameter record ("equip code") to flash.
EFI_STATUS SaveTestParameters(CHAR8 *HostAddress, CHAR8 *Directory, CHAR8 *FileName);
// The software list upgrade.
EFI_STATUS UpgradeSoft(VOID);

#endif  // BOOT_STEPS_H_
