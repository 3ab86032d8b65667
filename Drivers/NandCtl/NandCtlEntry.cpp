// NandCtl's image entry and start-up: reset the chip, identify it, describe
// it, install the NAND and NAND page device protocols.
#include <Library/DebugLib.h>
#include <Library/IoLib.h>
#include <Library/UefiBootServicesTableLib.h>

#include "NandCtl.h"

NAND_DEVICE_RECORD *g_pstNandDevice = NULL;

static VOID DropDeviceRecord(VOID) {
  gBS->FreePool(g_pstNandDevice);
  g_pstNandDevice = NULL;
}

static INT32 ResetChip(VOID) {
  MmioWrite32(NANDC_COMMAND, NANDC_CMD_RESET);
  MmioWrite32(NANDC_OPERATION, NANDC_OP_RESET);
  return NANDC_WaitOpDone();
}

static EFI_STATUS ReadChipId(UINT8 Id[4]) {
  UINT8 *IdBytes = NULL;
  EFI_STATUS Status = gBS->AllocatePool(EfiBootServicesData, 4, (VOID **)&IdBytes);
  if (EFI_ERROR(Status) || IdBytes == NULL) return EFI_OUT_OF_RESOURCES;
  MmioWrite32(NANDC_MODE, NANDC_MODE_2K);
  MmioWrite32(NANDC_ADDR_LOW, 0);
  MmioWrite32(NANDC_ADDR_HIGH, 0);
  MmioWrite32(NANDC_LENGTH, 4);
  MmioWrite32(NANDC_COMMAND, NANDC_CMD_READ_ID);
  MmioWrite32(NANDC_OPERATION, NANDC_OP_READ_ID);
  if (NANDC_WaitOpDone() != NAND_RESULT_SUCCESS) {
    gBS->FreePool(IdBytes);
    return EFI_TIMEOUT;
  }
  NANDC_CopyFromBuffer(0, IdBytes, 4);
  gBS->CopyMem(Id, IdBytes, 4);
  gBS->FreePool(IdBytes);
  return EFI_SUCCESS;
}

static EFI_STATUS InstallProtocols(BOOLEAN WithPageDevice) {
  EFI_HANDLE Handle = NULL;
  EFI_STATUS Status =
      gBS->InstallProtocolInterface(&Handle, &gNandFlashProtocolGuid, EFI_NATIVE_INTERFACE, &gNandFlashProtocol);
  if (!EFI_ERROR(Status) && WithPageDevice) {
    Status = gBS->InstallProtocolInterface(&Handle, &gNandPageDeviceProtocolGuid, EFI_NATIVE_INTERFACE,
                                           &gNandPageDevice);
    if (EFI_ERROR(Status)) gBS->UninstallProtocolInterface(Handle, &gNandFlashProtocolGuid, &gNandFlashProtocol);
  }
  if (EFI_ERROR(Status)) DebugPrint(DEBUG_ERROR, "[InitializeFlash:]InstallMultipleProtocolInterfaces Error !\n");
  return Status;
}

EFI_STATUS InitializeFlash(VOID) {
  if (g_pstNandDevice != NULL) {
    DebugPrint(DEBUG_ERROR, "NANDFlash has been inited!\n");
    return EFI_SUCCESS;
  }
  EFI_STATUS Status = gBS->AllocatePool(EfiBootServicesData, sizeof(NAND_DEVICE_RECORD), (VOID **)&g_pstNandDevice);
  if (EFI_ERROR(Status) || g_pstNandDevice == NULL) {
    g_pstNandDevice = NULL;
    return EFI_OUT_OF_RESOURCES;
  }
  gBS->SetMem(g_pstNandDevice, sizeof(NAND_DEVICE_RECORD), 0);
  MmioWrite32(NANDC_CONTROL, MmioRead32(NANDC_CONTROL) & ~0x1u);
  g_pstNandDevice->ulBuffer = NANDC_BUFFER_BASE;
  g_pstNandDevice->ulFixed48 = 48;

  if (ResetChip() != NAND_RESULT_SUCCESS) {
    DropDeviceRecord();
    return EFI_TIMEOUT;
  }
  UINT8 Id[4];
  Status = ReadChipId(Id);
  if (EFI_ERROR(Status)) {
    DropDeviceRecord();
    return Status;
  }
  if (NandDecodeGeometry(Id, g_pstNandDevice) != 0) {
    DropDeviceRecord();
    return EFI_UNSUPPORTED;
  }
  DebugPrint(DEBUG_INFO, "page_size = 0x%x\n", g_pstNandDevice->ulPageSize);

  NandDescribeDevice(g_pstNandDevice, &gNandPageDevice);
  BOOLEAN Registered = NandRegisterDevice(&gNandPageDevice) == 0;
  if (!Registered) DebugPrint(DEBUG_ERROR, "Init devic para error!\n");

  Status = InstallProtocols(Registered);
  if (EFI_ERROR(Status)) DropDeviceRecord();
  return Status;
}

EFI_STATUS EFIAPI NandCtlEntryPoint(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable) {
  UefiLibConstructor(ImageHandle, SystemTable);
  EFI_STATUS Status = InitializeFlash();
  if (EFI_ERROR(Status)) {
    // The firmware core unloads the image on an error result.
    UefiLibDestructor(ImageHandle, SystemTable);
  }
  return Status;
}
