// The NAND protocol installed by NandCtl: single pages and blocks of the
// board's NAND flash. A plain table of six operations; none takes an
// interface pointer. Page numbers count pages from the start of the chip.
#ifndef PROTOCOL_NAND_FLASH_H_
#define PROTOCOL_NAND_FLASH_H_

#include <Uefi/UefiBaseType.h>

#define NAND_FLASH_PROTOCOL_GUID \
  { 0xEDAA9EAE, 0xFD7E, 0x402D, { 0x8F, 0x06, 0xBA, 0xD5, 0x8B, 0x43, 0x56, 0xA9 } }

extern EFI_GUID gNandFlashProtocolGuid;

// Results of every NAND operation. Any other positive value is the chip's
// status byte of a failed program or erase (its bit 0 is the fail bit).
#define NAND_RESULT_SUCCESS 0
#define NAND_RESULT_OUT_OF_RANGE 1  // page, chunk or block number
#define NAND_RESULT_NO_BUFFER 3
#define NAND_RESULT_TIMEOUT 5       // the controller never reported done
#define NAND_RESULT_NO_MEMORY 59
#define NAND_RESULT_UNSUPPORTED (-1)  // page size, or a refused parameter
// Extension: a read whose bit errors the controller's ECC could not
// correct. Outside the 8-bit range of chip status bytes.
#define NAND_RESULT_ECC_UNCORRECTABLE 0x100

typedef INT32(EFIAPI *NAND_ERASE_BLOCK)(UINT32 BlockNumber);
// Data: one page, no spare.
typedef INT32(EFIAPI *NAND_WRITE_PAGE)(UINT32 PageNumber, CONST VOID *Data);
typedef INT32(EFIAPI *NAND_READ_PAGE)(UINT32 PageNumber, VOID *Data);
// 2048-byte pages only; EccSetting selects the controller's ECC setting.
typedef INT32(EFIAPI *NAND_WRITE_PAGE_ECC)(UINT32 PageNumber, CONST VOID *Data, UINT32 EccSetting);
// Data: one page; Spare: the spare size of the chip.
typedef INT32(EFIAPI *NAND_WRITE_PAGE_SPARE)(UINT32 PageNumber, CONST VOID *Data, CONST VOID *Spare);
// The first spare byte of the page (0xFF on a good block); 0 or -1.
typedef INT32(EFIAPI *NAND_GET_FACTORY_MARK)(UINT32 PageNumber, UINT8 *Mark);

typedef struct {
  NAND_ERASE_BLOCK NandEraseBlock;
  NAND_WRITE_PAGE NandWritePage;
  NAND_READ_PAGE NandReadPage;
  NAND_WRITE_PAGE_ECC NandWritePageEcc;
  NAND_WRITE_PAGE_SPARE NandWritePageSpare;
  NAND_GET_FACTORY_MARK NandGetFactoryMark;
} NAND_FLASH_PROTOCOL;

#endif  // PROTOCOL_NAND_FLASH_H_
