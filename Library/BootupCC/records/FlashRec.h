// Reading and writing the boot record (Records/FlashRec.h) in its two flash
// copies. Results are int32: 0 for success; see each operation.
#ifndef BOOTUPCC_FLASH_REC_H_
#define BOOTUPCC_FLASH_REC_H_

#include <Records/FlashRec.h>
#include <Uefi/UefiBaseType.h>

// FIRST_CONFIG_MARKER while FlashRecGet found no valid copy; the boot
// configuration file clears it once it has been applied.
extern INT32 gFirstConfigMarker;

// CRC-16 of bytes 0x002..0x77F, as stored in the crc field.
UINT16 FlashRecCrc(CONST FlashRec *Record);

// Reads the copy at Offset into Record. 0 = valid; -1 = read but invalid
// (bytes 0x002..0x77F all zero, or CRC mismatch); a negative EFI status when
// the flash could not be read (protocol missing or read failed).
INT32 FlashRecRead(FlashRec *Record, UINT32 Offset);

// Stores Record at Offset unless that copy already holds exactly these bytes
// and is valid; the record's crc is updated. The written copy is read back
// into a scratch buffer and must read valid and equal to Record. A record
// whose bytes 0x002..0x77F are all zero can never be valid and is refused.
// 0 = nothing to do or written and verified; -1 = failure. Record keeps the
// caller's content whatever happens on the flash.
INT32 FlashRecWrite(FlashRec *Record, UINT32 Offset);

// The record from the main copy, else from the backup (which then repairs
// the main copy); the working set's paths are sanitized. Results:
//   0   a valid copy was read;
//   -1  both copies were read and both are invalid: first configuration.
//       Record is the empty default and gFirstConfigMarker is set.
//   a negative EFI status: no valid copy, and at least one copy could not
//       be read, so its content is unknown. Record is the empty default but
//       this is NOT first configuration: callers must not store it.
INT32 FlashRecGet(FlashRec *Record);

// Writes the main copy, then the backup. 0 when at least one copy was
// written, -1 when both writes failed.
INT32 FlashRecPut(FlashRec *Record);

#endif  // BOOTUPCC_FLASH_REC_H_
