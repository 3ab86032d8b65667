// GUIDs of the platform protocols the drivers locate.
#include <Protocol/BoardFileDevice.h>
#include <Protocol/FlashAccess.h>
#include <Protocol/NandFlash.h>
#include <Protocol/NandPageDevice.h>
#include <Protocol/KvfsDriver.h>
#include <Protocol/TffsDriver.h>
#include <Protocol/Uet.h>

EFI_GUID gFlashAccessProtocolGuid = FLASH_ACCESS_PROTOCOL_GUID;
EFI_GUID gUetProtocolGuid = UET_PROTOCOL_GUID;
EFI_GUID gKvfsDriverProtocolGuid = KVFS_DRIVER_PROTOCOL_GUID;
EFI_GUID gTffsDriverProtocolGuid = TFFS_DRIVER_PROTOCOL_GUID;
EFI_GUID gBoardFileDeviceProtocolGuid = BOARD_FILE_DEVICE_PROTOCOL_GUID;
EFI_GUID gNandFlashProtocolGuid = NAND_FLASH_PROTOCOL_GUID;
EFI_GUID gNandPageDeviceProtocolGuid = NAND_PAGE_DEVICE_PROTOCOL_GUID;
