#include "FileAccess/FileProtocols.h"

#include <Library/UefiBootServicesTableLib.h>

static VOID *FileLocate(EFI_GUID *Guid) {
  VOID *Interface = NULL;
  if (gBS == NULL || EFI_ERROR(gBS->LocateProtocol(Guid, NULL, &Interface))) return NULL;
  return Interface;
}

KVFS_DRIVER_PROTOCOL *FileLocateKvfs(VOID) { return (KVFS_DRIVER_PROTOCOL *)FileLocate(&gKvfsDriverProtocolGuid); }

TFFS_DRIVER_PROTOCOL *FileLocateTffs(VOID) { return (TFFS_DRIVER_PROTOCOL *)FileLocate(&gTffsDriverProtocolGuid); }
