// The hardware-ECC page layer: kvfs's table of page operations for NAND
// controllers that compute the ECC themselves. It maps (block, page index)
// to the NAND chunk block x P + page index and calls the four NAND driver
// entries of the device record. Page index 0 is the erase record; data page
// i is page index i + 1.
#ifndef KVFS_HW_ECC_H_
#define KVFS_HW_ECC_H_

#include "Kvfs/KvfsLayout.h"

typedef KVFS_STATUS (*KVFS_LOAD_PAGE_FN)(KVFS_DEVICE *Dev, UINT32 Block, UINT32 Page, UINT8 *Data, UINT8 *Tag,
                                         UINT32 *BitFlip);
typedef KVFS_STATUS (*KVFS_LOAD_SPARE_FN)(KVFS_DEVICE *Dev, UINT32 Block, UINT32 Page, UINT8 *Tag, UINT32 *BitFlip);
typedef KVFS_STATUS (*KVFS_WRITE_PAGE_FN)(KVFS_DEVICE *Dev, UINT32 Block, UINT32 Page, CONST UINT8 *Data,
                                          CONST UINT8 *Tag);
typedef KVFS_STATUS (*KVFS_WRITE_SPARE_FN)(KVFS_DEVICE *Dev, UINT32 Block, UINT32 Page, CONST UINT8 *Tag);
typedef KVFS_STATUS (*KVFS_ERASE_FN)(KVFS_DEVICE *Dev, UINT32 Block);
typedef VOID (*KVFS_VOID_OP_FN)(KVFS_DEVICE *Dev);
typedef KVFS_STATUS (*KVFS_ZERO_OP_FN)(KVFS_DEVICE *Dev);
typedef UINT32 (*KVFS_IS_MARKED_FN)(KVFS_DEVICE *Dev, UINT32 Block);
typedef KVFS_STATUS (*KVFS_MAKE_MARK_FN)(KVFS_DEVICE *Dev, UINT32 Block);
typedef KVFS_STATUS (*KVFS_CHECK_FACTORY_FN)(KVFS_DEVICE *Dev, UINT32 Block, UINT32 *Result);

// Twelve entries in this order.
typedef struct KVFS_PAGE_OPS {
  KVFS_LOAD_PAGE_FN pfuncLoadPage;               // 0
  KVFS_LOAD_SPARE_FN pfuncLoadPageSpare;         // 1
  KVFS_WRITE_PAGE_FN pfuncWritePage;             // 2
  KVFS_WRITE_SPARE_FN pfuncWriteSpare;           // 3 not supported
  KVFS_ERASE_FN pfuncEraseBlock;                 // 4
  KVFS_VOID_OP_FN pfuncNop5;                     // 5
  KVFS_ZERO_OP_FN pfuncNop6;                     // 6
  KVFS_VOID_OP_FN pfuncNop7;                     // 7
  KVFS_ZERO_OP_FN pfuncNop8;                     // 8
  KVFS_IS_MARKED_FN pfuncIsBadBlockMarked;       // 9
  KVFS_MAKE_MARK_FN pfuncMakeBadBlockMark;       // 10
  KVFS_CHECK_FACTORY_FN pfuncCheckFactoryBadBlock;  // 11
} KVFS_PAGE_OPS;

// kvfs bad-block mark, written as the spare of page indexes 1 and 2.
#define KVFS_BAD_MARK_BYTE 0x31
#define KVFS_BAD_MARK_CRC_OFFSET 32
#define KVFS_BAD_MARK_CRC_SPAN 32
VOID HwEcc_BuildBadBlockMark(UINT8 *Mark /* KVFS_TAG_SIZE bytes */);

KVFS_STATUS HwEcc_LoadPage(KVFS_DEVICE *Dev, UINT32 Block, UINT32 Page, UINT8 *Data, UINT8 *Tag, UINT32 *BitFlip);
KVFS_STATUS HwEcc_LoadPageSpare(KVFS_DEVICE *Dev, UINT32 Block, UINT32 Page, UINT8 *Tag, UINT32 *BitFlip);
KVFS_STATUS HwEcc_WritePage(KVFS_DEVICE *Dev, UINT32 Block, UINT32 Page, CONST UINT8 *Data, CONST UINT8 *Tag);
KVFS_STATUS HwEcc_EraseBlock(KVFS_DEVICE *Dev, UINT32 Block);
UINT32 HwEcc_IsBadBlockMarked(KVFS_DEVICE *Dev, UINT32 Block);
KVFS_STATUS HwEcc_MakeBadBlockMark(KVFS_DEVICE *Dev, UINT32 Block);
KVFS_STATUS HwEcc_CheckFactoryBadBlock(KVFS_DEVICE *Dev, UINT32 Block, UINT32 *Result);

extern CONST KVFS_PAGE_OPS g_stHwEccOps;

// The ECC-mode registry: an entry count and the entries. Each entry's
// initialisation stores its operation table in the device record.
typedef struct {
  CONST CHAR8 *szName;
  VOID (*pfuncInit)(KVFS_DEVICE *Dev);
} KVFS_ECC_MODE;

extern CONST UINT32 g_ulKvfsEccModeCount;
extern CONST KVFS_ECC_MODE g_astKvfsEccMode[];

// Finds the mode by name (" HwEcc", leading blank included) and
// initialises the device with it; KVFS_ERR_NOT_FOUND when unknown.
KVFS_STATUS kvfs_SetEccMode(KVFS_DEVICE *Dev, CONST CHAR8 *Name);

#endif  // KVFS_HW_ECC_H_
