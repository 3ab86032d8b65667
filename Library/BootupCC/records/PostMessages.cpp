#include "BootupCC/records/PostMessages.h"

#include <Library/BaseLib.h>
#include <Library/DebugLib.h>
#include <Library/IoLib.h>
#include <Library/PrintLib.h>
#include <Library/UefiBootServicesTableLib.h>
#include <Records/SharedArea.h>

#include "BootupCC/boot/SharedArea.h"
#include "FileAccess/FileApi.h"

#define POST_LINE_BOOTROM "The BOOTROM test ................................................. pass.\r\n"
#define POST_LINE_DATA_BUS "The SDRAM data bus test .......................................... pass.\r\n"
#define POST_LINE_ADDR_BUS "The SDRAM addr bus test .......................................... pass.\r\n"
#define POST_LINE_MEM_CELL "The SDRAM mem cell test .......................................... pass.\r\n"
#define POST_LINES_LENGTH                                                                               \
  (sizeof(POST_LINE_BOOTROM) - 1 + sizeof(POST_LINE_DATA_BUS) - 1 + sizeof(POST_LINE_ADDR_BUS) - 1 + \
   sizeof(POST_LINE_MEM_CELL) - 1)
#define POST_EXTRA_LENGTH 4096u
#define DDR_LINE_SIZE 30u  // 29 characters and the NUL

typedef struct {
  UINT32 ulFirst;
  UINT32 ulSecond;
  UINT32 ulClass;
} RESET_CAUSE_CLASS;

static CONST RESET_CAUSE_CLASS s_astCauseClasses[] = {
    {RESET_CAUSE_NO, RESET_CAUSE_CHK, 0},  {RESET_CAUSE_PWR, RESET_CAUSE_END, 1},
    {RESET_CAUSE_NML, RESET_CAUSE_END, 1}, {RESET_CAUSE_NML, RESET_CAUSE_CHK, 1},
    {RESET_CAUSE_DGN, RESET_CAUSE_END, 2}, {RESET_CAUSE_DGN, RESET_CAUSE_CHK, 2},
};

UINT32 PostResetCauseClass(UINT32 FirstWord, UINT32 SecondWord) {
  for (UINTN Index = 0; Index < sizeof(s_astCauseClasses) / sizeof(s_astCauseClasses[0]); Index++) {
    if (s_astCauseClasses[Index].ulFirst == FirstWord && s_astCauseClasses[Index].ulSecond == SecondWord) {
      return s_astCauseClasses[Index].ulClass;
    }
  }
  return 0;
}

static UINT32 ReadCauseWord(UINT32 FromEnd) {
  UINT32 Value = 0;
  VOID *Word = SharedAreaMap(FromEnd, sizeof(Value));
  if (Word != NULL) InternalCopyMem(&Value, Word, sizeof(Value));
  return Value;
}

// Appends Line at *End (the buffer has room for every line and more).
static VOID AppendLine(CHAR8 *Text, UINTN *End, CONST CHAR8 *Line) {
  UINTN Length = AsciiStrLen(Line);
  InternalCopyMem(Text + *End, Line, Length);
  *End += Length;
}

static UINTN BuildText(CHAR8 *Text, UINT32 CauseClass) {
  UINTN End = 0;
  if (CauseClass >= 1) {
    AppendLine(Text, &End, POST_LINE_DATA_BUS);
    AppendLine(Text, &End, POST_LINE_ADDR_BUS);
  }
  if (CauseClass == 2) AppendLine(Text, &End, POST_LINE_MEM_CELL);
  AppendLine(Text, &End, POST_LINE_BOOTROM);
  if (CauseClass == 2) {
    End += AsciiSPrint(Text + End, DDR_LINE_SIZE, "DDR_ERR_CNT = 0x%x \n\r", MmioRead32(DDR_ERROR_COUNT_REGISTER));
  }
  return End;
}

static UINT32 WriteText(CONST CHAR8 *Text, UINTN Length) {
  INT32 Kind = 0;
  INT32 Fd = FileRecreate(&Kind, POST_MESSAGES_PATH);
  if (Fd < 0) return POST_RESULT_CREATE_FAILED;
  UINT32 Result = POST_RESULT_OK;
  INT32 Written = FileWrite(Kind, Fd, Text, (UINT32)Length);
  if (Written < 0 || (UINTN)Written != Length) {
    DebugPrint(DEBUG_ERROR, "Write File failed!ret:%x\n", Written);
    Result = POST_RESULT_WRITE_FAILED;
  }
  if (FileClose(Kind, Fd) < 0) {
    DebugPrint(DEBUG_ERROR, "close File %a failed!\n", POST_MESSAGES_PATH);
    // The text may not have reached the card.
    Result = POST_RESULT_WRITE_FAILED;
  }
  return Result;
}

UINT32 SavePostMessages(VOID) {
  UINTN Size = POST_LINES_LENGTH + POST_EXTRA_LENGTH;
  CHAR8 *Text = NULL;
  EFI_STATUS Status = gBS->AllocatePool(EfiBootServicesData, Size, (VOID **)&Text);
  DebugPrint(DEBUG_INFO, "FileContent = 0x%x, ExtraLength = 0x%x\n", (UINT32)(UINTN)Text, POST_EXTRA_LENGTH);
  if (EFI_ERROR(Status) || Text == NULL) {
    DebugPrint(DEBUG_ERROR, "malloc ERROR!\n");
    return POST_RESULT_NO_BUFFER;
  }
  InternalSetMem(Text, Size, 0);
  DirEnsure(POST_MESSAGES_DIR, 2, 0);

  UINT32 CauseClass =
      PostResetCauseClass(ReadCauseWord(SHARED_RESET_CAUSE0_FROM_END), ReadCauseWord(SHARED_RESET_CAUSE1_FROM_END));
  UINTN Length = BuildText(Text, CauseClass);
  DebugPrint(CauseClass == 2 ? DEBUG_ERROR : DEBUG_INFO, "%a\n", Text);

  UINT32 Result = WriteText(Text, Length);
  gBS->FreePool(Text);
  return Result;
}
