#include "Devices/FlashAccessProtocol.h"

#include <cstddef>
#include <cstring>

namespace sim {

FlashAccessProtocol::FlashAccessProtocol(BootFlash &flash, uint32_t mappedBase)
    : flash_(flash), mappedBase_(mappedBase), blockBuffer_(kBootFlashBlockSize) {
  instance_.protocol.Erase = Erase;
  instance_.protocol.EraseBlock = EraseBlock;
  instance_.protocol.Write = Write;
  instance_.protocol.Reserved = Reserved;
  instance_.protocol.Read = Read;
  instance_.protocol.GetInfo = GetInfo;
  instance_.owner = this;
}

FlashAccessProtocol *FlashAccessProtocol::From(FLASH_ACCESS_PROTOCOL *This) {
  static_assert(offsetof(Instance, protocol) == 0, "the protocol record must lead the instance");
  if (This == nullptr) return nullptr;
  return reinterpret_cast<Instance *>(This)->owner;
}

bool FlashAccessProtocol::InFlash(uint32_t offset, uint32_t length) const {
  return offset <= flash_.Size() && length <= flash_.Size() - offset;
}

EFI_STATUS EFIAPI FlashAccessProtocol::Erase(FLASH_ACCESS_PROTOCOL *This, UINT32 Offset, UINT32 Length) {
  FlashAccessProtocol *self = From(This);
  if (self == nullptr || !self->InFlash(Offset, Length)) return EFI_INVALID_PARAMETER;
  if (Length == 0) return EFI_SUCCESS;
  uint32_t first = Offset / kBootFlashBlockSize;
  uint32_t last = (Offset + Length - 1) / kBootFlashBlockSize;
  for (uint32_t block = first; block <= last; ++block) {
    EFI_STATUS status = self->flash_.EraseBlock(block);
    if (EFI_ERROR(status)) return status;
  }
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FlashAccessProtocol::EraseBlock(FLASH_ACCESS_PROTOCOL *This, UINT32 BlockNumber) {
  FlashAccessProtocol *self = From(This);
  if (self == nullptr || BlockNumber >= self->flash_.BlockCount()) return EFI_INVALID_PARAMETER;
  return self->flash_.EraseBlock(BlockNumber);
}

EFI_STATUS EFIAPI FlashAccessProtocol::Write(FLASH_ACCESS_PROTOCOL *This, UINT32 Offset, VOID *Source,
                                             UINT32 Length) {
  FlashAccessProtocol *self = From(This);
  if (self == nullptr || Source == nullptr || !self->InFlash(Offset, Length)) return EFI_INVALID_PARAMETER;
  self->writeCalls_.push_back(WriteCall{Offset, Length});
  const uint8_t *source = static_cast<const uint8_t *>(Source);
  while (Length > 0) {
    uint32_t room = kBootFlashBlockSize - Offset % kBootFlashBlockSize;
    uint32_t piece = Length < room ? Length : room;
    EFI_STATUS status = self->WriteInBlock(Offset, source, piece);
    if (EFI_ERROR(status)) return status;
    Offset += piece;
    source += piece;
    Length -= piece;
  }
  return EFI_SUCCESS;
}

// Writes a range that lies inside one erase block.
EFI_STATUS FlashAccessProtocol::WriteInBlock(uint32_t offset, const uint8_t *source, uint32_t length) {
  const uint8_t *current = flash_.Data() + offset;
  bool needsErase = false;
  for (uint32_t i = 0; i < length && !needsErase; ++i) {
    needsErase = (current[i] & source[i]) != source[i];
  }
  if (!needsErase) return ProgramChangedPages(offset, source, length);

  uint32_t blockStart = offset - offset % kBootFlashBlockSize;
  uint8_t *merged = blockBuffer_.data();
  flash_.Read(blockStart, merged, kBootFlashBlockSize);
  std::memcpy(merged + (offset - blockStart), source, length);
  EFI_STATUS status = flash_.EraseBlock(blockStart / kBootFlashBlockSize);
  if (EFI_ERROR(status)) return status;
  return ProgramChangedPages(blockStart, merged, kBootFlashBlockSize);
}

// Programs each page piece whose flash content differs from source; after an
// erase that skips the pages that stay erased.
EFI_STATUS FlashAccessProtocol::ProgramChangedPages(uint32_t offset, const uint8_t *source, uint32_t length) {
  while (length > 0) {
    uint32_t room = kBootFlashPageSize - offset % kBootFlashPageSize;
    uint32_t piece = length < room ? length : room;
    if (std::memcmp(flash_.Data() + offset, source, piece) != 0) {
      EFI_STATUS status = flash_.Program(offset, source, piece);
      if (EFI_ERROR(status)) return status;
    }
    offset += piece;
    source += piece;
    length -= piece;
  }
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FlashAccessProtocol::Reserved(FLASH_ACCESS_PROTOCOL *This) { return EFI_UNSUPPORTED; }

EFI_STATUS EFIAPI FlashAccessProtocol::Read(FLASH_ACCESS_PROTOCOL *This, UINT32 Offset, VOID *Destination,
                                            UINT32 Length) {
  FlashAccessProtocol *self = From(This);
  if (self == nullptr || Destination == nullptr || !self->InFlash(Offset, Length)) return EFI_INVALID_PARAMETER;
  self->flash_.Read(Offset, Destination, Length);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FlashAccessProtocol::GetInfo(FLASH_ACCESS_PROTOCOL *This, FLASH_ACCESS_INFO *Info) {
  FlashAccessProtocol *self = From(This);
  if (self == nullptr || Info == nullptr) return EFI_INVALID_PARAMETER;
  Info->Version = 1;
  Info->Flags = 0;
  Info->FlashSize = self->flash_.Size();
  Info->BlockSize = self->flash_.BlockSize();
  Info->BlockCount = self->flash_.BlockCount();
  Info->MappedBase = self->mappedBase_;
  Info->Ready = 1;
  return EFI_SUCCESS;
}

}  // namespace sim
