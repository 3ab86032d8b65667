#include "FileAccess/FileAccessStart.h"

#include <Library/DebugLib.h>
#include <Library/IoSystemLib.h>
#include <Library/UefiBootServicesTableLib.h>
#include <Protocol/BoardFileDevice.h>

#include "FileAccess/MfsDriver.h"
#include "FileAccess/TffsProtocol.h"

// Adds every file device the board publishes.
static EFI_STATUS FileAccessAddBoardDevices(VOID) {
  UINTN Count = 0;
  EFI_HANDLE *Handles = NULL;
  if (EFI_ERROR(gBS->LocateHandleBuffer(ByProtocol, &gBoardFileDeviceProtocolGuid, NULL, &Count, &Handles))) {
    return EFI_SUCCESS;
  }
  EFI_STATUS Status = EFI_SUCCESS;
  for (UINTN Index = 0; Index < Count && !EFI_ERROR(Status); Index++) {
    BOARD_FILE_DEVICE_PROTOCOL *Device = NULL;
    Status = gBS->HandleProtocol(Handles[Index], &gBoardFileDeviceProtocolGuid, (VOID **)&Device);
    if (EFI_ERROR(Status)) break;
    INT32 DrvNum = IosDrvInstall(Device->pDriver);
    if (DrvNum < 0 || IosDevAdd(Device->pDevice, Device->szDeviceName, DrvNum) != 0) {
      DebugPrint(DEBUG_ERROR, "cannot add the file device %a\n", Device->szDeviceName);
      Status = EFI_DEVICE_ERROR;
    }
  }
  gBS->FreePool(Handles);
  return Status;
}

EFI_STATUS FileAccessStart(EFI_HANDLE *Handle) {
  IosInit();
  if (MfsDevCreate(MFS_DEVICE_NAME) != 0) return EFI_DEVICE_ERROR;
  EFI_STATUS Status = FileAccessAddBoardDevices();
  if (EFI_ERROR(Status)) return Status;
  return TffsDriverProtocolInstall(Handle);
}
