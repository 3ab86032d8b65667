#include "BootupCC/records/FlashWindow.h"

#include <Library/DebugLib.h>
#include <Library/UefiBootServicesTableLib.h>
#include <Protocol/FlashAccess.h>

#define FLASH_WINDOW_REFUSED (-1)
#define FLASH_WINDOW_PROTOCOL_FAILED 1

static EFI_STATUS FlashWindowOpen(FLASH_ACCESS_PROTOCOL **Flash, FLASH_ACCESS_INFO *Info) {
  EFI_STATUS Status = gBS->LocateProtocol(&gFlashAccessProtocolGuid, NULL, (VOID **)Flash);
  if (!EFI_ERROR(Status)) Status = (*Flash)->GetInfo(*Flash, Info);
  if (EFI_ERROR(Status)) DebugPrint(DEBUG_ERROR, "Status=%r\n", Status);
  return Status;
}

// The range must lie inside [base, base + size). Computed from the offset
// so that no sum can wrap around 32 bits.
static BOOLEAN FlashWindowAccepts(CONST FLASH_ACCESS_INFO *Info, UINT32 Address, CONST VOID *Buffer,
                                  UINT32 Length) {
  if (Address == 0 || Buffer == NULL || Info->Ready == 0) return FALSE;
  if (Address < Info->MappedBase) return FALSE;
  UINT32 Offset = Address - Info->MappedBase;
  return Offset <= Info->FlashSize && Length <= Info->FlashSize - Offset;
}

INT32 FlashWindowRead(VOID *Destination, UINT32 Address, UINT32 Length) {
  FLASH_ACCESS_PROTOCOL *Flash = NULL;
  FLASH_ACCESS_INFO Info;
  if (EFI_ERROR(FlashWindowOpen(&Flash, &Info))) return FLASH_WINDOW_PROTOCOL_FAILED;
  if (!FlashWindowAccepts(&Info, Address, Destination, Length)) return FLASH_WINDOW_REFUSED;
  EFI_STATUS Status = Flash->Read(Flash, Address - Info.MappedBase, Destination, Length);
  if (EFI_ERROR(Status)) {
    DebugPrint(DEBUG_ERROR, "Status=%r\n", Status);
    return FLASH_WINDOW_PROTOCOL_FAILED;
  }
  return 0;
}

INT32 FlashWindowWrite(UINT32 Address, CONST VOID *Source, UINT32 Length) {
  FLASH_ACCESS_PROTOCOL *Flash = NULL;
  FLASH_ACCESS_INFO Info;
  if (EFI_ERROR(FlashWindowOpen(&Flash, &Info))) return FLASH_WINDOW_PROTOCOL_FAILED;
  if (Length == 0 || !FlashWindowAccepts(&Info, Address, Source, Length)) return FLASH_WINDOW_REFUSED;
  EFI_STATUS Status = Flash->Write(Flash, Address - Info.MappedBase, (VOID *)Source, Length);
  if (EFI_ERROR(Status)) {
    DebugPrint(DEBUG_ERROR, "Status=%r\n", Status);
    return FLASH_WINDOW_PROTOCOL_FAILED;
  }
  return 0;
}
