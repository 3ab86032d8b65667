// Bounded access to the boot flash by mapped board address, for the
// records that are addressed that way (system parameters, manufacturing
// information).
#ifndef BOOTUPCC_FLASH_WINDOW_H_
#define BOOTUPCC_FLASH_WINDOW_H_

#include <Uefi/UefiBaseType.h>

// 0 = done; -1 = refused, nothing touched (address 0, null buffer, flash
// not ready, or a range outside the mapped flash); 1 = the flash access
// protocol is missing or failed. A length of 0 is passed on to the
// protocol's Read.
INT32 FlashWindowRead(VOID *Destination, UINT32 Address, UINT32 Length);

// As FlashWindowRead; a length of 0 is refused.
INT32 FlashWindowWrite(UINT32 Address, CONST VOID *Source, UINT32 Length);

#endif  // BOOTUPCC_FLASH_WINDOW_H_
