// The POST message file "cfcard:/bios/POSTMSG.TXT": the self-test lines
// that match the reset cause the first-stage boot code left in the shared
// area, rewritten whole at every normal boot.
#ifndef BOOTUPCC_POST_MESSAGES_H_
#define BOOTUPCC_POST_MESSAGES_H_

#include <Uefi/UefiBaseType.h>

#define POST_MESSAGES_DIR "cfcard:/bios"
#define POST_MESSAGES_PATH "cfcard:/bios/POSTMSG.TXT"

// Register counting the DDR controller's errors (shown for class 2).
#define DDR_ERROR_COUNT_REGISTER 0x18020254u

// Reset-cause words as the first-stage code stores them ('_NO_' etc. as
// big-endian character constants).
#define RESET_CAUSE_NO 0x5F4E4F5Fu   // '_NO_'
#define RESET_CAUSE_PWR 0x5F505752u  // '_PWR'
#define RESET_CAUSE_NML 0x5F4E4D4Cu  // '_NML'
#define RESET_CAUSE_DGN 0x5F44474Eu  // '_DGN'
#define RESET_CAUSE_CHK 0x5F43484Bu  // '_CHK'
#define RESET_CAUSE_END 0x5F454E44u  // '_END'

// Cause classes: 0 = BOOTROM line only, 1 = bus tests and BOOTROM,
// 2 = all four tests and the DDR error counter.
UINT32 PostResetCauseClass(UINT32 FirstWord, UINT32 SecondWord);

#define POST_RESULT_OK 0u
#define POST_RESULT_NO_BUFFER 0x6002u
#define POST_RESULT_CREATE_FAILED 0x502Au
#define POST_RESULT_WRITE_FAILED 0x502Cu

// Builds and writes the file; one of the POST_RESULT_ codes. A write that
// stores less than the whole text, and a close that cannot flush it, count
// as a failed write.
UINT32 SavePostMessages(VOID);

#endif  // BOOTUPCC_POST_MESSAGES_H_
