// StorageInit's image entry: the tffs side, then the card.
#include <Library/DebugLib.h>
#include <Library/UefiBootServicesTableLib.h>

#include "FileAccess/FileAccessStart.h"
#include "Kvfs/KvfsDriverProtocol.h"
#include "StorageInit.h"

EFI_STATUS EFIAPI StorageInitEntryPoint(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable) {
  UefiLibConstructor(ImageHandle, SystemTable);

  EFI_HANDLE TffsHandle = NULL;
  EFI_STATUS TffsStatus = FileAccessStart(&TffsHandle);
  if (EFI_ERROR(TffsStatus)) {
    DebugPrint(DEBUG_ERROR, "[StorageInit]:ofs1: and mfs: are not available, Status=%r\n", TffsStatus);
  }

  EFI_STATUS KvfsStatus = KvfsStartCfcard();
  if (KvfsStatus == EFI_ALREADY_STARTED) KvfsStatus = EFI_SUCCESS;
  if (EFI_ERROR(KvfsStatus)) {
    DebugPrint(DEBUG_ERROR, "[StorageInit]:cfcard: is not available, Status=%r\n", KvfsStatus);
  }

  if (EFI_ERROR(TffsStatus) && EFI_ERROR(KvfsStatus)) {
    // The firmware core unloads the image on an error result.
    UefiLibDestructor(ImageHandle, SystemTable);
    return KvfsStatus;
  }
  return EFI_SUCCESS;
}
