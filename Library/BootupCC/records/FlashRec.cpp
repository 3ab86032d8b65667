#include "BootupCC/records/FlashRec.h"

#include <Library/BaseLib.h>
#include <Library/DebugLib.h>
#include <Library/UefiBootServicesTableLib.h>
#include <Protocol/FlashAccess.h>

#include "BootupCC/package/PackageCrc.h"
#include "BootupCC/records/BootLog.h"
#include "BootupCC/records/SanitizeBootPath.h"

INT32 gFirstConfigMarker = 0;

// FlashRecRead's answer for a copy that was read but is not valid.
#define FLASH_REC_INVALID (-1)

static CONST UINT8 *CrcCoveredBytes(CONST FlashRec *Record) {
  return (CONST UINT8 *)Record + FLASH_REC_CRC_START;
}

UINT16 FlashRecCrc(CONST FlashRec *Record) {
  UINT16 Crc = 0;
  CalcCrc16(CrcCoveredBytes(Record), FLASH_REC_CRC_LENGTH, &Crc);
  return Crc;
}

// Zero content matches its CRC of 0 but never is a record.
static BOOLEAN FlashRecAllZero(CONST FlashRec *Record) {
  CONST UINT8 *Bytes = CrcCoveredBytes(Record);
  for (UINT32 Index = 0; Index < FLASH_REC_CRC_LENGTH; Index++) {
    if (Bytes[Index] != 0) return FALSE;
  }
  return TRUE;
}

static EFI_STATUS LocateFlashAccess(FLASH_ACCESS_PROTOCOL **Flash) {
  EFI_STATUS Status = gBS->LocateProtocol(&gFlashAccessProtocolGuid, NULL, (VOID **)Flash);
  if (EFI_ERROR(Status)) DebugPrint(DEBUG_ERROR, "Status=%r\n", Status);
  return Status;
}

INT32 FlashRecRead(FlashRec *Record, UINT32 Offset) {
  FLASH_ACCESS_PROTOCOL *Flash = NULL;
  EFI_STATUS Status = LocateFlashAccess(&Flash);
  if (EFI_ERROR(Status)) return Status;
  Status = Flash->Read(Flash, Offset, Record, sizeof(FlashRec));
  if (EFI_ERROR(Status)) {
    DebugPrint(DEBUG_ERROR, "Status=%r\n", Status);
    return Status;
  }
  if (FlashRecAllZero(Record)) {
    BOOT_LOG(BOOT_DEBUG_ERRORS, LOG_SOURCE_BIOS_FUNC, "FlashRec All Zero.\n", 0, 0);
    return FLASH_REC_INVALID;
  }
  UINT16 Crc = FlashRecCrc(Record);
  if (Crc != Record->crc) {
    BOOT_LOG(BOOT_DEBUG_ERRORS, LOG_SOURCE_BIOS_FUNC, "Compare crc : CRC = %d, FlashRec->crc=%d\n", (UINT32)Crc,
             (UINT32)Record->crc);
    return FLASH_REC_INVALID;
  }
  return 0;
}

INT32 FlashRecWrite(FlashRec *Record, UINT32 Offset) {
  // One scratch record serves the comparison before and the read-back
  // after the write, so the caller's record is never overwritten from flash.
  FlashRec Scratch;
  InternalSetMem(&Scratch, sizeof(Scratch), 0);
  INT32 Current = FlashRecRead(&Scratch, Offset);
  if (Current == FLASH_REC_INVALID) {
    BOOT_LOG(BOOT_DEBUG_ERRORS, LOG_SOURCE_BIOS_FUNC, "Read data from flash fail.\r\n", 0, 0);
  }
  // Only a valid copy holding the same bytes makes the write unnecessary;
  // an invalid or unreadable copy is rewritten.
  if (Current == 0 && InternalCompareMem(&Scratch, Record, sizeof(FlashRec)) == 0) return 0;

  if (FlashRecAllZero(Record)) return -1;
  Record->crc = FlashRecCrc(Record);

  FLASH_ACCESS_PROTOCOL *Flash = NULL;
  if (EFI_ERROR(LocateFlashAccess(&Flash))) return -1;
  EFI_STATUS Status = Flash->Write(Flash, Offset, Record, sizeof(FlashRec));
  if (EFI_ERROR(Status)) {
    DebugPrint(DEBUG_ERROR, "Flash Write Error,Status=%r\n", Status);
    return -1;
  }

  InternalSetMem(&Scratch, sizeof(Scratch), 0);
  if (FlashRecRead(&Scratch, Offset) != 0) return -1;
  return InternalCompareMem(&Scratch, Record, sizeof(FlashRec)) == 0 ? 0 : -1;
}

static VOID FlashRecSetFirstConfigDefault(FlashRec *Record) {
  InternalSetMem(Record, sizeof(FlashRec), 0);
  Record->ucFlag0 = FLASH_REC_FIRST_CONFIG_FLAG;
  Record->ucFlag1 = FLASH_REC_FIRST_CONFIG_FLAG;
}

// Every path a caller takes from the record is a string within its field;
// the working set must also name a storage device.
static VOID FlashRecSanitizePaths(FlashRec *Record) {
  SanitizeBootFileSet(&Record->stWorkingBootFile);
  TerminateBootFileSet(&Record->stCurrentBootFile);
  TerminateBootFileSet(&Record->stPreBootFile);
}

INT32 FlashRecGet(FlashRec *Record) {
  DebugPrint(DEBUG_INFO, "APPLICATION_INFO_ADRS = 0x%x!\n", APPLICATION_INFO_ADRS);
  DebugPrint(DEBUG_INFO, "FLASHDESC_ADDR = 0x%x!\n", FLASHDESC_ADDR);

  INT32 MainResult = FlashRecRead(Record, FLASHDESC_ADDR);
  if (MainResult == 0) {
    FlashRecSanitizePaths(Record);
    return 0;
  }

  BOOT_LOG(BOOT_DEBUG_ERRORS, LOG_SOURCE_BIOS_FUNC, "Data invalid in flash description area!\n", 0, 0);
  INT32 BackupResult = FlashRecRead(Record, FLASHDESC_BACK_ADDR);
  if (BackupResult == 0) {
    FlashRecSanitizePaths(Record);
    INT32 Repair = FlashRecWrite(Record, FLASHDESC_ADDR);
    if (Repair != 0) {
      BOOT_LOG(BOOT_DEBUG_ERRORS, LOG_SOURCE_BIOS_FUNC, "Recover flash description area error! ErrorNo = %d\n\n",
               Repair, 0);
    }
    return 0;
  }

  BOOT_LOG(BOOT_DEBUG_ERRORS, LOG_SOURCE_BIOS_FUNC, "Data invalid in flash description backup area!\n", 0, 0);
  FlashRecSetFirstConfigDefault(Record);
  // A copy that could not be read may still be good: reporting first
  // configuration here would let the caller store the default over both.
  if (MainResult != FLASH_REC_INVALID) return MainResult;
  if (BackupResult != FLASH_REC_INVALID) return BackupResult;

  BOOT_LOG(BOOT_DEBUG_ERRORS, LOG_SOURCE_BIOS_FUNC, "\r\nFirst configuration...\r\n", 0, 0);
  gFirstConfigMarker = FIRST_CONFIG_MARKER;
  return -1;
}

INT32 FlashRecPut(FlashRec *Record) {
  INT32 MainResult = FlashRecWrite(Record, FLASHDESC_ADDR);
  if (MainResult != 0) {
    BOOT_LOG(BOOT_DEBUG_ERRORS, LOG_SOURCE_BIOS_FUNC, "Write data error in flash description area! ErrorNo = %d\n\n",
             MainResult, 0);
  }
  INT32 BackupResult = FlashRecWrite(Record, FLASHDESC_BACK_ADDR);
  if (BackupResult != 0) {
    BOOT_LOG(BOOT_DEBUG_ERRORS, LOG_SOURCE_BIOS_FUNC,
             "Write data error in flash description backup area! ErrorNo = %d\n\n", BackupResult, 0);
  }
  return (MainResult == 0 || BackupResult == 0) ? 0 : -1;
}
