// StorageInit: the driver that brings the board's storage up at start-up.
//
// Who owns start-up of the file systems: not BootAgent. BootAgent only
// locates the two file system driver protocols through the file API, so
// the instances and the devices behind them belong to a driver of their
// own, loaded after NandCtl (whose NAND page device the card is mounted
// over) and before BootAgent (the first user). This driver
//   1. starts the I/O system with "mfs:" and the board's file devices
//      ("ofs1:") and installs the tffs driver protocol (FileAccessStart);
//   2. mounts "cfcard:" and installs the kvfs driver protocol
//      (KvfsStartCfcard; a blank card is formatted by the mount).
// A failure of either half is printed and the other half still serves:
// BootAgent boots without the card as it boots with a broken card. The
// image stays loaded when at least one protocol is installed and returns
// the error only when nothing could be installed.
#ifndef STORAGE_INIT_H_
#define STORAGE_INIT_H_

#include <Uefi/UefiBaseType.h>
#include <Uefi/UefiSpec.h>

EFI_STATUS EFIAPI StorageInitEntryPoint(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable);

#endif  // STORAGE_INIT_H_
