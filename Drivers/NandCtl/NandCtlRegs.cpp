// Register and buffer access of the NAND controller.
#include <Library/DebugLib.h>
#include <Library/IoLib.h>

#include "NandCtl.h"

INT32 NANDC_WaitOpDone(VOID) {
  for (UINT32 Reads = 0; Reads < NANDC_WAIT_READS; Reads++) {
    if ((MmioRead32(NANDC_STATUS) & NANDC_STATUS_DONE) != 0) return NAND_RESULT_SUCCESS;
  }
  DebugPrint(DEBUG_ERROR, "[%dL]fail:nand flash operation is time out!\n", __LINE__);
  return NAND_RESULT_TIMEOUT;
}

INT32 NANDC_WaitEccDone(VOID) {
  for (UINT32 Reads = 0; Reads < NANDC_WAIT_READS; Reads++) {
    if ((MmioRead32(NANDC_ECC_ENGINE) & 0x1) != 0) return NAND_RESULT_SUCCESS;
  }
  DebugPrint(DEBUG_ERROR, "[%dL]fail:nand flash operation is time out!\n", __LINE__);
  return NAND_RESULT_TIMEOUT;
}

UINT32 NANDC_ChipFailure(VOID) {
  UINT32 Status = MmioRead32(NANDC_STATUS);
  if ((Status & NANDC_STATUS_CHIP_FAIL) == 0) return 0;
  return (Status >> 5) & 0xFF;
}

VOID NANDC_SetAddress(UINT32 Page, UINT32 Column) {
  MmioWrite32(NANDC_ADDR_LOW, (Page << 16) | (Column & 0xFFFF));
  MmioWrite32(NANDC_ADDR_HIGH, Page >> 16);
}

VOID NANDC_Start(UINT32 Code) { MmioWrite32(NANDC_OPERATION, g_pstNandDevice->ulOpSetting | Code); }

UINT32 NANDC_AddressCode(UINT32 Code, UINT32 LongCode, UINT64 ByteAddress) {
  return ByteAddress >= NANDC_LONG_ADDRESS ? LongCode : Code;
}

// The buffer is moved in 32-bit words; the bytes are assembled here so
// that the memory side may have any alignment.
VOID NANDC_CopyFromBuffer(UINT32 Offset, VOID *Destination, UINT32 Length) {
  UINT8 *Out = (UINT8 *)Destination;
  UINT32 Address = NANDC_BUFFER_BASE + Offset;
  while (Length >= 4 && (Address & 3) == 0) {
    UINT32 Word = MmioRead32(Address);
    Out[0] = (UINT8)Word;
    Out[1] = (UINT8)(Word >> 8);
    Out[2] = (UINT8)(Word >> 16);
    Out[3] = (UINT8)(Word >> 24);
    Out += 4;
    Address += 4;
    Length -= 4;
  }
  while (Length-- > 0) *Out++ = MmioRead8(Address++);
}

VOID NANDC_CopyToBuffer(UINT32 Offset, CONST VOID *Source, UINT32 Length) {
  CONST UINT8 *In = (CONST UINT8 *)Source;
  UINT32 Address = NANDC_BUFFER_BASE + Offset;
  while (Length >= 4 && (Address & 3) == 0) {
    MmioWrite32(Address, (UINT32)In[0] | ((UINT32)In[1] << 8) | ((UINT32)In[2] << 16) | ((UINT32)In[3] << 24));
    In += 4;
    Address += 4;
    Length -= 4;
  }
  while (Length-- > 0) MmioWrite8(Address++, *In++);
}

VOID NANDC_FillBuffer(UINT32 Offset, UINT8 Value, UINT32 Length) {
  UINT32 Address = NANDC_BUFFER_BASE + Offset;
  UINT32 Word = Value * 0x01010101u;
  while (Length >= 4 && (Address & 3) == 0) {
    MmioWrite32(Address, Word);
    Address += 4;
    Length -= 4;
  }
  while (Length-- > 0) MmioWrite8(Address++, Value);
}
