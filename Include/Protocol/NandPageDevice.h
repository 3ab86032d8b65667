// The NAND page device protocol, installed by NandCtl beside the NAND
// protocol (an extension of this system). It publishes the description
// NandCtl gives its device-registration hook: the page-level routines, the
// magic 0xDCBA, the chip geometry and the partitions, so that a flash file
// system in another driver can use the routines directly.
//
// Pages are addressed by chunk number, the page number from the start of
// the chip. A page is seen as `PageSize` data bytes followed by `SpareSize`
// spare bytes; an offset and length select any columns of that (offset 0
// for data, `PageSize` for the spare, `PageSize` + spare at offset 0 for
// both in one transfer). The controller keeps its ECC in the last
// `SpareSize` - `UserSpareSize` spare bytes: they always read 0xFF and
// what is written there is ignored, so the spare bytes read back are the
// ones written.
//
// Results are those of the NAND protocol (Protocol/NandFlash.h). A read the
// ECC could not correct returns NAND_RESULT_ECC_UNCORRECTABLE and still
// delivers the bytes as read; a read in which the ECC corrected bit errors
// returns 0 and sets *BitFlips to 1 (it is never cleared, so a caller can
// gather several reads; BitFlips may be NULL).
#ifndef PROTOCOL_NAND_PAGE_DEVICE_H_
#define PROTOCOL_NAND_PAGE_DEVICE_H_

#include <Uefi/UefiBaseType.h>

#define NAND_PAGE_DEVICE_PROTOCOL_GUID \
  { 0xF61CC561, 0x0485, 0x4D75, { 0x91, 0x81, 0x4F, 0x64, 0x85, 0x79, 0xA1, 0xAE } }

extern EFI_GUID gNandPageDeviceProtocolGuid;

#define NAND_PAGE_DEVICE_MAGIC 0xDCBA
#define NAND_PAGE_DEVICE_PARTITIONS 3

// Read with spare: any columns of a page, ECC checked.
typedef INT32(EFIAPI *NAND_PAGE_READ_WITH_SPARE)(UINT32 Chunk, UINT32 Offset, UINT32 Length, VOID *Buffer,
                                                 UINT32 *BitFlips);
// Write with spare: programs any columns of a page; the controller adds the
// ECC of what it writes. The data area of a page can be written once per
// erase; the spare alone may be written again (bits only clear).
typedef INT32(EFIAPI *NAND_PAGE_WRITE_WITH_SPARE)(UINT32 Chunk, UINT32 Offset, UINT32 Length, CONST VOID *Buffer);
typedef INT32(EFIAPI *NAND_PAGE_ERASE)(UINT32 Block);
typedef INT32(EFIAPI *NAND_PAGE_WRITE)(UINT32 Chunk, CONST VOID *Data);
typedef INT32(EFIAPI *NAND_PAGE_READ)(UINT32 Chunk, VOID *Data, UINT32 *BitFlips);
typedef INT32(EFIAPI *NAND_PAGE_WRITE_SPARE)(UINT32 Chunk, CONST VOID *Spare);
typedef INT32(EFIAPI *NAND_PAGE_READ_SPARE)(UINT32 Chunk, VOID *Spare, UINT32 *BitFlips);
// Puts the controller back into 2048-byte step mode.
typedef INT32(EFIAPI *NAND_PAGE_SET_2K_MODE)(VOID);
// The factory bad-block byte of a page, read raw (without ECC): 0xFF good.
typedef INT32(EFIAPI *NAND_PAGE_GET_FACTORY_MARK)(UINT32 Chunk, UINT8 *Mark);

typedef struct {
  CONST CHAR8 *Name;  // "disk1:", "disk2:", "disk3:"
  UINT32 LastBlock;
  UINT32 FirstBlock;
} NAND_PAGE_PARTITION;

typedef struct {
  UINT32 Magic;  // NAND_PAGE_DEVICE_MAGIC
  // The eight page-level routines, in the order of the registration.
  NAND_PAGE_READ_WITH_SPARE ReadWithSpare;
  NAND_PAGE_WRITE_WITH_SPARE WriteWithSpare;
  NAND_PAGE_ERASE Erase;
  NAND_PAGE_WRITE Write;
  NAND_PAGE_READ Read;
  NAND_PAGE_WRITE_SPARE WriteSpare;
  NAND_PAGE_READ_SPARE ReadSpare;
  NAND_PAGE_SET_2K_MODE Set2kMode;
  // Extension: the factory mark, for a file system's bad-block scan.
  NAND_PAGE_GET_FACTORY_MARK GetFactoryMark;
  // Geometry.
  CONST CHAR8 *Name;  // the device table entry
  UINT32 PageSize;
  UINT32 SpareSize;
  UINT32 UserSpareSize;  // spare bytes not used by the controller's ECC
  UINT32 PagesPerBlock;
  UINT32 BlockSize;
  UINT32 BlockCount;
  UINT32 ChipSizeMiB;
  // Partitions that lie on the chip, cut to its end.
  UINT32 PartitionCount;
  NAND_PAGE_PARTITION Partitions[NAND_PAGE_DEVICE_PARTITIONS];
} NAND_PAGE_DEVICE_PROTOCOL;

#endif  // PROTOCOL_NAND_PAGE_DEVICE_H_
