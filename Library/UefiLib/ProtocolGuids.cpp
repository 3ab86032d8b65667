// GUIDs of the platform protocols the drivers locate.
#include <Protocol/FlashAccess.h>

EFI_GUID gFlashAccessProtocolGuid = FLASH_ACCESS_PROTOCOL_GUID;
