// The boot record in the boot flash: which package the board boots, with
// which companion files, the previous set for a version back and the count
// of failed attempts. Two copies (main and backup), each guarded by a
// CRC-16 over bytes 0x002..0x77F. Little-endian, like the board.
#ifndef RECORDS_FLASH_REC_H_
#define RECORDS_FLASH_REC_H_

#include <Uefi/UefiBaseType.h>

// Offsets for the flash access protocol (the flash is mapped at 0x40000000).
#define APPLICATION_INFO_ADRS 0x800000u  // only printed
#define FLASHDESC_ADDR 0x860000u         // main copy
#define FLASHDESC_BACK_ADDR 0x9C0000u    // backup copy

#define FLASH_REC_SIZE 1920u
// The CRC covers everything behind the CRC field itself.
#define FLASH_REC_CRC_START 2u
#define FLASH_REC_CRC_LENGTH (FLASH_REC_SIZE - FLASH_REC_CRC_START)

// Path fields: NUL-terminated, at most 63 characters.
#define BOOT_PATH_SIZE 64u
#define BOOT_FILE_SET_PATHS 7u
// Fields 0..5 of a set are sanitized; field 6 is not used by this system.
#define BOOT_FILE_SET_SANITIZED_PATHS 6u

// Value of the two flag bytes of a record built by first configuration.
#define FLASH_REC_FIRST_CONFIG_FLAG 0xFFu
// gFirstConfigMarker while the board runs on a first-configuration record.
#define FIRST_CONFIG_MARKER 0x5A5A

typedef struct {
  CHAR8 szStartupFile[BOOT_PATH_SIZE];  // the package (".cc") to boot
  CHAR8 szCfgFile[BOOT_PATH_SIZE];      // saved configuration (".cfg" / ".zip")
  CHAR8 szPafFile[BOOT_PATH_SIZE];
  CHAR8 szPath3[BOOT_PATH_SIZE];        // only sanitized
  CHAR8 szPatchFile[BOOT_PATH_SIZE];    // ".pat"
  CHAR8 szPath5[BOOT_PATH_SIZE];        // only sanitized
  CHAR8 szPath6[BOOT_PATH_SIZE];        // not used
} BOOT_FILE_SET;

typedef struct {
  UINT16 crc;
  UINT16 usReserved;
  UINT32 ulStartupFailVersionBackSignal;  // 0 = attempts not counted; 1..3 = counted
  UINT32 ulStartupFailVersionBackCount;
  UINT8 aucReserved1[16];
  BOOT_FILE_SET stCurrentBootFile;  // last set confirmed bootable
  BOOT_FILE_SET stPreBootFile;      // previous version, target of a version back
  BOOT_FILE_SET stWorkingBootFile;  // the set the boot flow starts
  UINT8 ucFlag0;                    // 0xFF after first configuration, else kept
  UINT8 ucFlag1;
  UINT8 aucReserved2[514];
  UINT32 ulHidPackageRequest;  // 0 = none, else selects a test package (mod 3)
  UINT32 ulHidPackageStarted;  // request value of the started test package
  UINT8 aucReserved3[24];
} FlashRec;

static_assert(sizeof(BOOT_FILE_SET) == 448, "BOOT_FILE_SET is 448 bytes");
static_assert(__builtin_offsetof(BOOT_FILE_SET, szCfgFile) == 0x040, "szCfgFile at +0x040");
static_assert(__builtin_offsetof(BOOT_FILE_SET, szPafFile) == 0x080, "szPafFile at +0x080");
static_assert(__builtin_offsetof(BOOT_FILE_SET, szPatchFile) == 0x100, "szPatchFile at +0x100");
static_assert(__builtin_offsetof(BOOT_FILE_SET, szPath6) == 0x180, "last path at +0x180");

static_assert(sizeof(FlashRec) == FLASH_REC_SIZE, "FlashRec is 1920 bytes");
static_assert(__builtin_offsetof(FlashRec, ulStartupFailVersionBackSignal) == 0x004, "signal at 0x004");
static_assert(__builtin_offsetof(FlashRec, ulStartupFailVersionBackCount) == 0x008, "count at 0x008");
static_assert(__builtin_offsetof(FlashRec, stCurrentBootFile) == 0x01C, "current set at 0x01C");
static_assert(__builtin_offsetof(FlashRec, stPreBootFile) == 0x1DC, "previous set at 0x1DC");
static_assert(__builtin_offsetof(FlashRec, stWorkingBootFile) == 0x39C, "working set at 0x39C");
static_assert(__builtin_offsetof(FlashRec, ucFlag0) == 0x55C, "flag bytes at 0x55C");
static_assert(__builtin_offsetof(FlashRec, ulHidPackageRequest) == 0x760, "hidden request at 0x760");
static_assert(__builtin_offsetof(FlashRec, ulHidPackageStarted) == 0x764, "hidden started at 0x764");
static_assert(__builtin_offsetof(FlashRec, aucReserved3) == 0x768, "tail reserved at 0x768");

#endif  // RECORDS_FLASH_REC_H_
