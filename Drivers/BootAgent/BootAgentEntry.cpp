#include <Library/UefiBootServicesTableLib.h>

#include "BootAgent.h"

EFI_STATUS EFIAPI BootAgentEntryPoint(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable) {
  UefiLibConstructor(ImageHandle, SystemTable);
  EFI_STATUS Status = InitializeUET(ImageHandle);
  if (EFI_ERROR(Status)) {
    // The firmware core unloads the image on an error result.
    UefiLibDestructor(ImageHandle, SystemTable);
  }
  return Status;
}
