// The platform's boot flash access protocol. The flash is mapped at a fixed
// board address (reported by GetInfo); every operation takes offsets from
// that base. Write leaves the range reading back as written, erasing by
// itself where the chip needs it.
#ifndef PROTOCOL_FLASH_ACCESS_H_
#define PROTOCOL_FLASH_ACCESS_H_

#include <Uefi/UefiBaseType.h>

#define FLASH_ACCESS_PROTOCOL_GUID \
  { 0x953E4355, 0xE607, 0x4589, { 0xB5, 0x0B, 0x1B, 0xF9, 0x75, 0xD7, 0x32, 0x68 } }

extern EFI_GUID gFlashAccessProtocolGuid;

typedef struct FLASH_ACCESS_PROTOCOL FLASH_ACCESS_PROTOCOL;

// Seven 32-bit words filled by GetInfo.
typedef struct {
  UINT32 Version;
  UINT32 Flags;
  UINT32 FlashSize;   // bytes
  UINT32 BlockSize;   // erase block size in bytes
  UINT32 BlockCount;
  UINT32 MappedBase;  // board address the flash is mapped at
  UINT32 Ready;       // non-zero once the flash can be used
} FLASH_ACCESS_INFO;

typedef EFI_STATUS(EFIAPI *FLASH_ACCESS_ERASE)(FLASH_ACCESS_PROTOCOL *This, UINT32 Offset, UINT32 Length);
typedef EFI_STATUS(EFIAPI *FLASH_ACCESS_ERASE_BLOCK)(FLASH_ACCESS_PROTOCOL *This, UINT32 BlockNumber);
typedef EFI_STATUS(EFIAPI *FLASH_ACCESS_WRITE)(FLASH_ACCESS_PROTOCOL *This, UINT32 Offset, VOID *Source,
                                               UINT32 Length);
// Slot 4 is reserved; no caller uses it.
typedef EFI_STATUS(EFIAPI *FLASH_ACCESS_RESERVED)(FLASH_ACCESS_PROTOCOL *This);
typedef EFI_STATUS(EFIAPI *FLASH_ACCESS_READ)(FLASH_ACCESS_PROTOCOL *This, UINT32 Offset, VOID *Destination,
                                              UINT32 Length);
typedef EFI_STATUS(EFIAPI *FLASH_ACCESS_GET_INFO)(FLASH_ACCESS_PROTOCOL *This, FLASH_ACCESS_INFO *Info);

struct FLASH_ACCESS_PROTOCOL {
  FLASH_ACCESS_ERASE Erase;
  FLASH_ACCESS_ERASE_BLOCK EraseBlock;
  FLASH_ACCESS_WRITE Write;
  FLASH_ACCESS_RESERVED Reserved;
  FLASH_ACCESS_READ Read;
  FLASH_ACCESS_GET_INFO GetInfo;
};

#endif  // PROTOCOL_FLASH_ACCESS_H_
