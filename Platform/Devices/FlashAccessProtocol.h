// The platform's flash access protocol, served from the boot flash model.
// The board installs Interface() under gFlashAccessProtocolGuid.
//
// Write leaves the range reading back as written: each erase block it
// touches is programmed directly when the new bytes only clear bits of the
// current ones, and otherwise read, merged, erased and programmed back, so
// the rest of the block keeps its content. Pages that already hold the new
// bytes are not programmed. Erase(offset, length) erases every block the
// range touches, whole, as the chip can only erase whole blocks.
#pragma once

#include <cstdint>
#include <vector>

#include "Devices/BootFlash.h"

#include <Protocol/FlashAccess.h>

namespace sim {

class FlashAccessProtocol {
 public:
  explicit FlashAccessProtocol(BootFlash &flash, uint32_t mappedBase = kBootFlashWindowBase);
  FlashAccessProtocol(const FlashAccessProtocol &) = delete;
  FlashAccessProtocol &operator=(const FlashAccessProtocol &) = delete;

  FLASH_ACCESS_PROTOCOL *Interface() { return &instance_.protocol; }
  BootFlash &Flash() { return flash_; }

  // Every Write the firmware asked for, in order (also those that changed
  // nothing because the flash already held the bytes).
  struct WriteCall {
    uint32_t offset;
    uint32_t length;
  };
  const std::vector<WriteCall> &WriteCalls() const { return writeCalls_; }

 private:
  // The record handed to the firmware comes first, so This leads back here.
  struct Instance {
    FLASH_ACCESS_PROTOCOL protocol;
    FlashAccessProtocol *owner;
  };
  static FlashAccessProtocol *From(FLASH_ACCESS_PROTOCOL *This);

  static EFI_STATUS EFIAPI Erase(FLASH_ACCESS_PROTOCOL *This, UINT32 Offset, UINT32 Length);
  static EFI_STATUS EFIAPI EraseBlock(FLASH_ACCESS_PROTOCOL *This, UINT32 BlockNumber);
  static EFI_STATUS EFIAPI Write(FLASH_ACCESS_PROTOCOL *This, UINT32 Offset, VOID *Source, UINT32 Length);
  static EFI_STATUS EFIAPI Reserved(FLASH_ACCESS_PROTOCOL *This);
  static EFI_STATUS EFIAPI Read(FLASH_ACCESS_PROTOCOL *This, UINT32 Offset, VOID *Destination, UINT32 Length);
  static EFI_STATUS EFIAPI GetInfo(FLASH_ACCESS_PROTOCOL *This, FLASH_ACCESS_INFO *Info);

  bool InFlash(uint32_t offset, uint32_t length) const;
  EFI_STATUS WriteInBlock(uint32_t offset, const uint8_t *source, uint32_t length);
  EFI_STATUS ProgramChangedPages(uint32_t offset, const uint8_t *source, uint32_t length);

  BootFlash &flash_;
  uint32_t mappedBase_;
  Instance instance_;
  // Merge buffer for one erase block; a member because a power cut ends the
  // run without unwinding this frame.
  std::vector<uint8_t> blockBuffer_;
  std::vector<WriteCall> writeCalls_;
};

}  // namespace sim
