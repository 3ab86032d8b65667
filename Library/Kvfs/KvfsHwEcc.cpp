// Hardware-ECC page layer: page loads and writes of data and spare
// together, spare-only loads, block erase and the two kinds of bad-block
// marks, over the NAND driver entries of the device record. Nothing is
// retried here; the callers retry and record bad blocks.
#include "Kvfs/KvfsHwEcc.h"

#include <Library/BaseLib.h>

#include "Kvfs/KvfsCrc32.h"

static UINT32 ChunkOf(CONST KVFS_DEVICE *Dev, UINT32 Block, UINT32 Page) {
  return Block * KvfsPagesPerBlock(Dev) + Page;
}

// Block outside the ranges, or a page index past the block (which would
// reach into the next block).
static BOOLEAN PageRefused(CONST KVFS_DEVICE *Dev, UINT32 Block, UINT32 Page) {
  return !kvfs_BlockInRange(Dev, Block) || Page >= KvfsPagesPerBlock(Dev);
}

static KVFS_STATUS RangeError(CONST CHAR8 *Message, UINT32 Block) {
  KVFS_LOG(KVFS_LOG_ERROR, Message, Block, 2, 3, 4);
  g_iKvfsErrNo = KVFS_ENO_RANGE;
  return KVFS_ERR_PARAM;
}

static KVFS_STATUS MissingEntry(CONST CHAR8 *Message) {
  KVFS_LOG(KVFS_LOG_ERROR, Message, 1, 2, 3, 4);
  g_iKvfsErrNo = KVFS_ENO_NO_DRIVER;
  return KVFS_ERR_NOT_FOUND;
}

static KVFS_STATUS NotAdjacent(CONST CHAR8 *Message) {
  KVFS_LOG(KVFS_LOG_ERROR, Message, 1, 2, 3, 4);
  g_iKvfsErrNo = KVFS_ENO_RANGE;
  return KVFS_ERR_NOT_ADJACENT;
}

KVFS_STATUS HwEcc_LoadPage(KVFS_DEVICE *Dev, UINT32 Block, UINT32 Page, UINT8 *Data, UINT8 *Tag, UINT32 *BitFlip) {
  if (Dev == NULL || (Data == NULL && Tag == NULL)) {
    g_iKvfsErrNo = KVFS_ENO_RANGE;
    return KVFS_ERR_PARAM;
  }
  if (PageRefused(Dev, Block, Page)) return RangeError("[HwEcc_LoadPage]: blockNum %d is out of rang  \n", Block);
  if (Dev->_NAND_ReadWithHEcc == NULL) {
    return MissingEntry("[HwEcc_LoadPage]: thf drv function _NAND_ReadWithHEcc is NULL? \n");
  }
  UINT32 pds = KvfsPds(Dev);
  UINT32 spare = Dev->strAttr.usSpareSize;
  UINT32 chunk = ChunkOf(Dev, Block, Page);
  UINT32 ret = 0;
  if (Data != NULL && Tag != NULL) {
    if (Data + pds != Tag) return NotAdjacent("[HwEcc_LoadPage]:(pData+pDev->strAttr.page_data_size)!=pTag  \n");
    KVFS_LOG(KVFS_LOG_TRACE, "[HwEcc_LoadPage]:Read data and spare from chunk %d \n", chunk, 2, 3, 4);
    ret = Dev->_NAND_ReadWithHEcc(chunk, 0, pds + spare, Data, BitFlip);
    if (ret == 0) {
      Dev->stStat.ulDataReads++;
      Dev->stStat.ulTagReads++;
    }
  } else {
    if (Data != NULL) {
      KVFS_LOG(KVFS_LOG_TRACE, "[HwEcc_LoadPage]:Read data from chunk %d \n", chunk, 2, 3, 4);
      ret = Dev->_NAND_ReadWithHEcc(chunk, 0, pds, Data, BitFlip);
      if (ret == 0) Dev->stStat.ulDataReads++;
    }
    if (ret == 0 && Tag != NULL) {
      KVFS_LOG(KVFS_LOG_TRACE, "[HwEcc_LoadPage]: Read spare from chunk %d  \n", chunk, 2, 3, 4);
      ret = Dev->_NAND_ReadWithHEcc(chunk, pds, spare, Tag, BitFlip);
      if (ret == 0) Dev->stStat.ulTagReads++;
    }
  }
  if (ret != 0) {
    KVFS_LOG(KVFS_LOG_ERROR, "[HwEcc_LoadPage]:_NAND_ReadWithHEcc return error!ChunkNum %d,ulRet:0x%x\r\n", chunk, ret,
             3, 4);
    g_iKvfsErrNo = KVFS_ENO_NAND_READ;
    return KVFS_ERR_NAND;
  }
  KVFS_LOG(KVFS_LOG_TRACE, "[HwEcc_LoadPage]: Read page from chunk %d  \n", chunk, 2, 3, 4);
  return KVFS_OK;
}

KVFS_STATUS HwEcc_LoadPageSpare(KVFS_DEVICE *Dev, UINT32 Block, UINT32 Page, UINT8 *Tag, UINT32 *BitFlip) {
  if (Dev == NULL) {
    g_iKvfsErrNo = KVFS_ENO_RANGE;
    return KVFS_ERR_PARAM;
  }
  if (PageRefused(Dev, Block, Page)) {
    return RangeError("[HwEcc_LoadPageSpare]: blockNum %d is out of rang  \n", Block);
  }
  if (Tag == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, " [HwEcc_LoadPageSpare]:pTag is NULL \n", 1, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_RANGE;
    return KVFS_ERR_PARAM;
  }
  if (Dev->_NAND_ReadWithHEcc == NULL) return MissingEntry("[HwEcc_LoadPageSpare]: _NAND_ReadWithHEcc is null!\r\n");
  UINT32 chunk = ChunkOf(Dev, Block, Page);
  UINT32 ret = Dev->_NAND_ReadWithHEcc(chunk, KvfsPds(Dev), Dev->strAttr.usSpareSize, Tag, BitFlip);
  if (ret != 0) {
    KVFS_LOG(KVFS_LOG_ERROR,
             "[HwEcc_LoadPageSpare]:_NAND_ReadWithHEcc return error!chunk %d spare ecc error (ulRet:0x%x)!02\r\n",
             chunk, ret, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_NAND_READ;
    return KVFS_ERR_NAND;
  }
  Dev->stStat.ulTagReads++;
  KVFS_LOG(KVFS_LOG_TRACE, " [HwEcc_LoadPageSpare]:Read spare from chunk %d  \n", chunk, 2, 3, 4);
  return KVFS_OK;
}

KVFS_STATUS HwEcc_WritePage(KVFS_DEVICE *Dev, UINT32 Block, UINT32 Page, CONST UINT8 *Data, CONST UINT8 *Tag) {
  if (Dev == NULL) {
    g_iKvfsErrNo = KVFS_ENO_RANGE;
    return KVFS_ERR_PARAM;
  }
  if (Data == NULL || Tag == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, " [HwEcc_WritePage]:para is null! pData:0x%x, pTag:0x%x\n", Data, Tag, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_RANGE;
    return KVFS_ERR_PARAM;
  }
  if (PageRefused(Dev, Block, Page)) return RangeError("[HwEcc_WritePage]: blockNum %d is out of rang  \n", Block);
  if (Dev->_NAND_WriteWithHEcc == NULL) {
    return MissingEntry(" [HwEcc_WritePage]:the drv function _NAND_WriteWithHEcc is NULL? \n");
  }
  UINT32 pds = KvfsPds(Dev);
  if (Data + pds != Tag) return NotAdjacent("[HwEcc_WritePage]:(pData+pDev->strAttr.page_data_size)!=pTag  \n");
  UINT32 chunk = ChunkOf(Dev, Block, Page);
  UINT32 ret = Dev->_NAND_WriteWithHEcc(chunk, 0, pds + Dev->strAttr.usSpareSize, Data);
  if (ret != 0) {
    KVFS_LOG(KVFS_LOG_ERROR, "[HwEcc_WritePage]:_NAND_WriteWithHEcc return error!ulRet:0x%x\r\n", ret, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_NAND_WRITE;
    return KVFS_ERR_NAND;
  }
  Dev->stStat.ulPageWrites++;
  Dev->stStat.ulTagWrites++;
  KVFS_LOG(KVFS_LOG_TRACE, "[HwEcc_WritePage]: Write page to chunk %d  \n", chunk, 2, 3, 4);
  return KVFS_OK;
}

static KVFS_STATUS HwEcc_WriteSpare(KVFS_DEVICE *Dev, UINT32 Block, UINT32 Page, CONST UINT8 *Tag) {
  return KVFS_ERR_NAND;
}

KVFS_STATUS HwEcc_EraseBlock(KVFS_DEVICE *Dev, UINT32 Block) {
  if (Dev == NULL) {
    KVFS_LOG(KVFS_LOG_ERROR, " [HwEcc_EraseBlock]:device is NULL ? \n", 1, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_RANGE;
    return KVFS_ERR_PARAM;
  }
  if (!kvfs_BlockInRange(Dev, Block)) return RangeError("[HwEcc_EraseBlock]: blockNum %d is out of rang  \n", Block);
  if (Dev->_NAND_Erase == NULL) return MissingEntry("[HwEcc_EraseBlock]: _NAND_Erase is NULL? \n");
  UINT32 ret = Dev->_NAND_Erase(Block);
  if (ret != 0) {
    KVFS_LOG(KVFS_LOG_ERROR, "[HwEcc_EraseBlock]: _NAND_Erase return error! block(%d) ? ulRet:0x%x\n", Block, ret, 3,
             4);
    g_iKvfsErrNo = KVFS_ENO_ERASE;
    return KVFS_ERR_NAND;
  }
  Dev->stStat.ulErases++;
  KVFS_LOG(KVFS_LOG_TRACE, "[HwEcc_EraseBlock]: erase block %d  \n", Block, 2, 3, 4);
  return KVFS_OK;
}

static VOID HwEcc_Nop(KVFS_DEVICE *Dev) {}
static KVFS_STATUS HwEcc_NopZero(KVFS_DEVICE *Dev) { return KVFS_OK; }

UINT32 HwEcc_IsBadBlockMarked(KVFS_DEVICE *Dev, UINT32 Block) {
  UINT8 spare[KVFS_TAG_SIZE];
  UINT32 flip = 0;
  kvfs_MemSet(spare, sizeof(spare), 0);
  HwEcc_LoadPageSpare(Dev, Block, 1, spare, &flip);
  if (spare[0] != 0xFF) return 1;
  kvfs_MemSet(spare, sizeof(spare), 0);
  HwEcc_LoadPageSpare(Dev, Block, 2, spare, &flip);
  return spare[0] == 0xFF ? 0 : 1;
}

VOID HwEcc_BuildBadBlockMark(UINT8 *Mark) {
  kvfs_MemSet(Mark, KVFS_TAG_SIZE, 0);
  Mark[0] = KVFS_BAD_MARK_BYTE;
  KvfsPut32(Mark + KVFS_BAD_MARK_CRC_OFFSET, kvfs_Crc32(Mark, KVFS_BAD_MARK_CRC_SPAN));
}

KVFS_STATUS HwEcc_MakeBadBlockMark(KVFS_DEVICE *Dev, UINT32 Block) {
  if (Dev == NULL) {
    g_iKvfsErrNo = KVFS_ENO_RANGE;
    return KVFS_ERR_PARAM;
  }
  if (!kvfs_BlockInRange(Dev, Block)) {
    return RangeError("[HwEcc_MakeBadBlockMark]: blockNum %d is out of rang  \n", Block);
  }
  if (Dev->_NAND_WriteWithHEcc == NULL) {
    return MissingEntry("[HwEcc_MakeBadBlockMark]: the drv function _NAND_WriteWithHEcc is NULL? \n");
  }
  UINT8 spare[KVFS_TAG_SIZE];
  UINT32 flip = 0;
  kvfs_MemSet(spare, sizeof(spare), 0xFF);
  // Only a readable spare proves an earlier mark; an unreadable page gets
  // the mark written over it.
  if (HwEcc_LoadPageSpare(Dev, Block, 1, spare, &flip) == KVFS_OK && spare[0] != 0xFF) return KVFS_OK;
  KVFS_LOG(KVFS_LOG_TRACE, "[HwEcc_MakeBadBlockMark]: new bad block %d  \n", Block, 2, 3, 4);
  UINT8 mark[KVFS_TAG_SIZE];
  HwEcc_BuildBadBlockMark(mark);
  UINT32 pds = KvfsPds(Dev);
  UINT32 spareSize = Dev->strAttr.usSpareSize;
  UINT32 ret = Dev->_NAND_WriteWithHEcc(ChunkOf(Dev, Block, 1), pds, spareSize, mark);
  if (ret != 0) {
    KVFS_LOG(KVFS_LOG_ERROR, "[HwEcc_MakeBadBlockMark]: _NAND_WriteWithHEcc return error!pagenum:1\r\n", 1, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_NAND_WRITE;
    return KVFS_ERR_NAND;
  }
  ret = Dev->_NAND_WriteWithHEcc(ChunkOf(Dev, Block, 2), pds, spareSize, mark);
  if (ret != 0) {
    KVFS_LOG(KVFS_LOG_ERROR, "[HwEcc_MakeBadBlockMark]: _NAND_WriteWithHEcc return error!pagenum:2,ulRet:0x%x\r\n",
             ret, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_NAND_WRITE;
    return KVFS_ERR_NAND;
  }
  return KVFS_OK;
}

KVFS_STATUS HwEcc_CheckFactoryBadBlock(KVFS_DEVICE *Dev, UINT32 Block, UINT32 *Result) {
  if (Dev == NULL || Result == NULL) {
    g_iKvfsErrNo = KVFS_ENO_RANGE;
    return KVFS_ERR_PARAM;
  }
  if (!kvfs_BlockInRange(Dev, Block)) {
    return RangeError("[HwEcc_CheckFactoryBadBlock]: blockNum %d is out of rang  \n", Block);
  }
  if (Dev->_NAND_GetFactorMark == NULL) {
    KVFS_LOG(KVFS_LOG_TRACE, " drv  _NAND_GetFactorMark is NULL?  \n", 1, 2, 3, 4);
    g_iKvfsErrNo = KVFS_ENO_NO_DRIVER;
    return KVFS_ERR_NOT_FOUND;
  }
  UINT8 mark = 0xFF;
  Dev->_NAND_GetFactorMark(ChunkOf(Dev, Block, 0), &mark);
  if (mark == 0xFF) Dev->_NAND_GetFactorMark(ChunkOf(Dev, Block, 1), &mark);
  *Result = mark != 0xFF ? 1 : 0;
  return KVFS_OK;
}

CONST KVFS_PAGE_OPS g_stHwEccOps = {
    HwEcc_LoadPage, HwEcc_LoadPageSpare, HwEcc_WritePage, HwEcc_WriteSpare,     HwEcc_EraseBlock,
    HwEcc_Nop,      HwEcc_NopZero,       HwEcc_Nop,       HwEcc_NopZero,        HwEcc_IsBadBlockMarked,
    HwEcc_MakeBadBlockMark, HwEcc_CheckFactoryBadBlock,
};

static VOID HwEcc_Init(KVFS_DEVICE *Dev) { Dev->pOps = &g_stHwEccOps; }

CONST KVFS_ECC_MODE g_astKvfsEccMode[] = {{" HwEcc", HwEcc_Init}};
CONST UINT32 g_ulKvfsEccModeCount = ARRAY_SIZE(g_astKvfsEccMode);

KVFS_STATUS kvfs_SetEccMode(KVFS_DEVICE *Dev, CONST CHAR8 *Name) {
  for (UINT32 i = 0; i < g_ulKvfsEccModeCount; i++) {
    if (AsciiStrCmp(g_astKvfsEccMode[i].szName, Name) == 0) {
      g_astKvfsEccMode[i].pfuncInit(Dev);
      return KVFS_OK;
    }
  }
  return KVFS_ERR_NOT_FOUND;
}
