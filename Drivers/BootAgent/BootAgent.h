// BootAgent's entry, test-mode probe and boot protocol.
#ifndef BOOT_AGENT_H_
#define BOOT_AGENT_H_

#include <Protocol/Uet.h>
#include <Uefi/UefiSpec.h>

// Words of the test area in the boot flash (offsets from the flash base).
#define FLASH_MAPPED_BASE 0x40000000u
#define TEST_BOOT_WORD_OFFSET 0x400860u
#define TEST_REQUEST_WORD_OFFSET 0x400864u
#define KR_FLAG_WORD_OFFSET 0x4008C8u
#define TEST_MODE_MAGIC 0x1234ABCDu
#define KR_FLAG_EXPECTED 0xABCD1234u

extern INT32 gTestMode;
extern EFI_HANDLE gUetImageHandle;
extern UET_PROTOCOL gUetProtocol;

EFI_STATUS EFIAPI BootAgentEntryPoint(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable);
EFI_STATUS InitializeUET(EFI_HANDLE ImageHandle);

VOID DetectTestMode(VOID);

// OAM serial port probe: 0 when a loopback plug echoes the probe text,
// -1 otherwise.
INT32 OamLoopDetect(VOID);
VOID OamUartInit(VOID);
// UART clock in Hz derived from the system PLL register.
UINT32 OamUartClockHz(UINT32 PllRegister);
extern UINT32 gOamUartInitMarker;
#define OAM_UART_INIT_DONE 0x0AA0F55Fu

EFI_STATUS EFIAPI UetRunBoot(UET_PROTOCOL *This);
EFI_STATUS EFIAPI UetSetTestParameters(UET_PROTOCOL *This, CHAR8 *HostAddress, CHAR8 *Directory, CHAR8 *FileName);
EFI_STATUS EFIAPI UetDownloadSoftwareList(UET_PROTOCOL *This);

// Flash words of the test area: read from the mapped flash, written through
// the flash access protocol. A failed write prints its status only.
UINT32 ReadMappedFlashWord(UINT32 Offset);
EFI_STATUS WriteFlashWord(UINT32 Offset, UINT32 Value);

#endif  // BOOT_AGENT_H_
