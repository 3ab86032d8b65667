// The boot protocol UET and its installation on the driver's image handle.
#include <Library/DebugLib.h>
#include <Library/UefiBootServicesTableLib.h>
#include <Protocol/FlashAccess.h>

#include "BootAgent.h"
#include "BootSteps.h"
#include "BootupCC/boot/DelayUnits.h"
#include "BootupCC/boot/StartupConfig.h"

EFI_HANDLE gUetImageHandle = NULL;

UET_PROTOCOL gUetProtocol = {
    UetRunBoot,
    UetSetTestParameters,
    UetDownloadSoftwareList,
};

EFI_STATUS InitializeUET(EFI_HANDLE ImageHandle) {
  gUetImageHandle = ImageHandle;
  DetectTestMode();
  EFI_STATUS Status =
      gBS->InstallProtocolInterface(&gUetImageHandle, &gUetProtocolGuid, EFI_NATIVE_INTERFACE, &gUetProtocol);
  if (EFI_ERROR(Status)) {
    DebugPrint(DEBUG_ERROR, "Status=%r\n", Status);
    DebugPrint(DEBUG_ERROR, "[InitializeUET:]InstallMultipleProtocolInterfaces Error !\n");
    return Status;
  }
  return EFI_SUCCESS;
}

// The product-family flag word. It is compared as the word 0xABCD1234 but
// written as the bytes AB CD 12 34, so it never matches and is rewritten at
// every call; a reader outside this firmware may rely on those bytes.
static VOID UpdateKrFlagWord(VOID) {
  static CONST UINT8 FlagBytes[4] = {0xAB, 0xCD, 0x12, 0x34};
  DebugPrint(DEBUG_ERROR, "\r\ndwKrFlgAddr = %x\n", FLASH_MAPPED_BASE + KR_FLAG_WORD_OFFSET);
  FLASH_ACCESS_PROTOCOL *Flash = NULL;
  EFI_STATUS Status = gBS->LocateProtocol(&gFlashAccessProtocolGuid, NULL, (VOID **)&Flash);
  if (EFI_ERROR(Status)) {
    DebugPrint(DEBUG_ERROR, "Status=%r\n", Status);
    return;
  }
  UINT32 Word = 0;
  Status = Flash->Read(Flash, KR_FLAG_WORD_OFFSET, &Word, sizeof(Word));
  if (EFI_ERROR(Status)) {
    DebugPrint(DEBUG_ERROR, "Status=%r\n", Status);
    return;
  }
  if (Word == KR_FLAG_EXPECTED) return;
  UINT8 Bytes[4] = {FlagBytes[0], FlagBytes[1], FlagBytes[2], FlagBytes[3]};
  Status = Flash->Write(Flash, KR_FLAG_WORD_OFFSET, Bytes, sizeof(Bytes));
  if (EFI_ERROR(Status)) {
    DebugPrint(DEBUG_ERROR, "Flash Write Error,Status=%r\n", Status);
  }
}

EFI_STATUS EFIAPI UetRunBoot(UET_PROTOCOL *This) {
  EFI_STATUS Status = EFI_SUCCESS;

  UpdateKrFlagWord();

  if (gTestMode == 1) {
    if (gSkipTestNetConfig != 1) {
      Status = NetConfigureBoardAddress();
      if (EFI_ERROR(Status)) {
        DebugPrint(DEBUG_ERROR, "Status=%r\n", Status);
        return Status;
      }
    }
    while (MaintainExtBios() != 0) {
      DelayUnits(500);
    }
  }

  if (gSkipBootFlow == 0) {
    DebugPrint(DEBUG_ERROR, "Status=%r\n", Status);
    BootMain();
  }

  if (ReadMappedFlashWord(TEST_BOOT_WORD_OFFSET) == TEST_MODE_MAGIC) {
    WriteFlashWord(TEST_BOOT_WORD_OFFSET, 0xFFFFFFFFu);
    gTestMode = 1;
  }

  DebugPrint(DEBUG_ERROR, " -> BIOS BSP: Running Mode\n");
  return Status;
}

EFI_STATUS EFIAPI UetSetTestParameters(UET_PROTOCOL *This, CHAR8 *HostAddress, CHAR8 *Directory, CHAR8 *FileName) {
  return SaveTestParameters(HostAddress, Directory, FileName);
}

EFI_STATUS EFIAPI UetDownloadSoftwareList(UET_PROTOCOL *This) { return UpgradeSoft(); }
