// The eight tffs driver protocol entries: thin wrappers over the I/O system.
#include "FileAccess/TffsProtocol.h"

#include <Library/IoSystemLib.h>
#include <Library/UefiBootServicesTableLib.h>

static INT32 EFIAPI TffsCreat(TFFS_DRIVER_PROTOCOL *This, CONST CHAR8 *Path, INT32 Flags) {
  return IosCreat(Path, Flags);
}

static INT32 EFIAPI TffsOpen(TFFS_DRIVER_PROTOCOL *This, CONST CHAR8 *Path, INT32 Flags, INT32 Mode) {
  return IosOpen(Path, Flags, Mode);
}

static INT32 EFIAPI TffsWrite(TFFS_DRIVER_PROTOCOL *This, INT32 Descriptor, CONST VOID *Buffer, UINT32 Length) {
  return IosWrite(Descriptor, Buffer, Length);
}

static INT32 EFIAPI TffsRead(TFFS_DRIVER_PROTOCOL *This, INT32 Descriptor, VOID *Buffer, UINT32 Length) {
  return IosRead(Descriptor, Buffer, Length);
}

static INT32 EFIAPI TffsLseek(TFFS_DRIVER_PROTOCOL *This, INT32 Descriptor, INT32 Offset, INT32 Whence) {
  return IosLseek(Descriptor, Offset, Whence);
}

static INT32 EFIAPI TffsClose(TFFS_DRIVER_PROTOCOL *This, INT32 Descriptor) { return IosClose(Descriptor); }

static INT32 EFIAPI TffsRemove(TFFS_DRIVER_PROTOCOL *This, CONST CHAR8 *Path) { return IosRemove(Path); }

static INT32 EFIAPI TffsIoctl(TFFS_DRIVER_PROTOCOL *This, INT32 Descriptor, INT32 Function, INTN Argument) {
  return IosIoctl(Descriptor, Function, Argument);
}

static TFFS_DRIVER_PROTOCOL g_stTffsDriver = {TffsCreat, TffsOpen,  TffsWrite,  TffsRead,
                                              TffsLseek, TffsClose, TffsRemove, TffsIoctl};

TFFS_DRIVER_PROTOCOL *TffsDriverProtocolInstance(VOID) { return &g_stTffsDriver; }

EFI_STATUS TffsDriverProtocolInstall(EFI_HANDLE *Handle) {
  if (Handle == NULL) return EFI_INVALID_PARAMETER;
  return gBS->InstallProtocolInterface(Handle, &gTffsDriverProtocolGuid, EFI_NATIVE_INTERFACE, &g_stTffsDriver);
}
