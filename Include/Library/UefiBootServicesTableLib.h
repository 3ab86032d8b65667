// Table pointers filled by the driver library constructor at image entry.
#ifndef UEFI_BOOT_SERVICES_TABLE_LIB_H_
#define UEFI_BOOT_SERVICES_TABLE_LIB_H_

#include <Uefi/UefiSpec.h>

extern EFI_SYSTEM_TABLE *gST;
extern EFI_BOOT_SERVICES *gBS;
extern EFI_RUNTIME_SERVICES *gRT;
extern VOID *gHobList;

// Fills gST, gBS, gRT and gHobList from the system table.
EFI_STATUS UefiLibConstructor(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable);
// Counterpart run when an image entry fails; nothing to undo.
VOID UefiLibDestructor(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable);

#endif  // UEFI_BOOT_SERVICES_TABLE_LIB_H_
