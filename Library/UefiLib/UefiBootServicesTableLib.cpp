#include <Library/UefiBootServicesTableLib.h>

EFI_SYSTEM_TABLE *gST = NULL;
EFI_BOOT_SERVICES *gBS = NULL;
EFI_RUNTIME_SERVICES *gRT = NULL;
VOID *gHobList = NULL;

EFI_STATUS UefiLibConstructor(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable) {
  gST = SystemTable;
  gBS = SystemTable->BootServices;
  gRT = SystemTable->RuntimeServices;
  gHobList = SystemTable->NumberOfTableEntries > 0 ? SystemTable->ConfigurationTable[0].VendorTable : NULL;
  return EFI_SUCCESS;
}

VOID UefiLibDestructor(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable) {}
