#include <Library/DebugLib.h>
#include <Library/PhysMemLib.h>
#include <Library/UefiBootServicesTableLib.h>
#include <Protocol/FlashAccess.h>

#include "BootAgent.h"

UINT32 ReadMappedFlashWord(UINT32 Offset) {
  CONST UINT8 *Word = (CONST UINT8 *)PhysMemMap(FLASH_MAPPED_BASE + Offset, 4);
  if (Word == NULL) return 0xFFFFFFFFu;
  return (UINT32)Word[0] | ((UINT32)Word[1] << 8) | ((UINT32)Word[2] << 16) | ((UINT32)Word[3] << 24);
}

EFI_STATUS WriteFlashWord(UINT32 Offset, UINT32 Value) {
  FLASH_ACCESS_PROTOCOL *Flash = NULL;
  EFI_STATUS Status = gBS->LocateProtocol(&gFlashAccessProtocolGuid, NULL, (VOID **)&Flash);
  if (!EFI_ERROR(Status)) {
    Status = Flash->Write(Flash, Offset, &Value, sizeof(Value));
  }
  if (EFI_ERROR(Status)) {
    DebugPrint(DEBUG_ERROR, "Status=%r\n", Status);
  }
  return Status;
}
