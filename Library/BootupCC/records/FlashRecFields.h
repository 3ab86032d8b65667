// Updates of one field of the boot record. Each works on a record of its
// own: read, change the field, store both copies.
#ifndef BOOTUPCC_FLASH_REC_FIELDS_H_
#define BOOTUPCC_FLASH_REC_FIELDS_H_

#include <Uefi/UefiBaseType.h>

// ulHidPackageRequest of the main copy, or 0 when it cannot be read; also
// kept in gHidPackageIndex.
UINT32 FlashRecGetHidRequest(VOID);

// Sets ulHidPackageStarted from the main copy and stores both copies.
// 0 = main copy read and the store attempted; 1 = main copy not readable.
INT32 FlashRecSetHidStarted(UINT32 Value);

// ulStartupFailVersionBackCount, or 0 when no record can be had.
UINT32 FlashRecGetBackCount(VOID);

// Counts one more boot attempt; nothing happens without a valid record.
VOID FlashRecIncBackCount(VOID);

// Set the count / the version-back signal to 0 and store the record. On a
// first configuration the empty default is stored; when the flash could not
// be read nothing is stored.
VOID FlashRecResetBackCount(VOID);
VOID FlashRecClearBackSignal(VOID);

// Ends a version back: signal 0 and the search array emptied.
VOID ClearVersionBack(VOID);

#endif  // BOOTUPCC_FLASH_REC_FIELDS_H_
