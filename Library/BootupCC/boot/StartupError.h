// Startup error codes: why a boot attempt failed, left in the search array
// for the operating system to report.
#ifndef BOOTUPCC_STARTUP_ERROR_H_
#define BOOTUPCC_STARTUP_ERROR_H_

#include <Uefi/UefiBaseType.h>

#define STARTUP_ERROR_NONE 0u
#define STARTUP_ERROR_FLASH_DESC 1u
#define STARTUP_ERROR_RECORD_FULL 2u
#define STARTUP_ERROR_PACKAGE_LENGTH 3u
#define STARTUP_ERROR_PACKAGE_OPEN 4u
#define STARTUP_ERROR_PACKAGE_CRC 5u
#define STARTUP_ERROR_BIN_ID 6u
#define STARTUP_ERROR_BIN_CRC 7u
#define STARTUP_ERROR_EXT_BIOS_UPDATE 8u
#define STARTUP_ERROR_BASE_BIOS_UPDATE 9u
#define STARTUP_ERROR_RPS_CHECK 10u
#define STARTUP_ERROR_RPS_UNCOMPRESS 11u
#define STARTUP_ERROR_150E_LOGIC 12u
#define STARTUP_ERROR_FPGA_LOGIC 13u
#define STARTUP_ERROR_CPLD_LOGIC 14u
#define STARTUP_ERROR_MAX 15u
#define STARTUP_ERROR_COUNT 16u

// The text of each code, indexed by code.
extern CONST CHAR8 *CONST gStartupErrorText[STARTUP_ERROR_COUNT];

// Stores Code for boot attempt N (the shared area's attempt number): N 1..9
// writes byte 63 - ((N - 1) mod 3) of slot (N - 1) / 3; any other N stores
// nothing.
VOID RecordStartupError(UINT32 Code);

#endif  // BOOTUPCC_STARTUP_ERROR_H_
