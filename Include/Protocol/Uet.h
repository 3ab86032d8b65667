// UET: the boot protocol of BootAgent, the only way into it. The board's
// boot manager locates it and calls its three entries.
#ifndef PROTOCOL_UET_H_
#define PROTOCOL_UET_H_

#include <Uefi/UefiBaseType.h>

#define UET_PROTOCOL_GUID \
  { 0x31364606, 0x3476, 0x48DE, { 0xA9, 0xAA, 0x94, 0x2E, 0x17, 0xE9, 0xB3, 0xE3 } }

typedef struct _UET_PROTOCOL UET_PROTOCOL;

// Runs the boot flow; returns only when no package was started.
typedef EFI_STATUS(EFIAPI *UET_RUN_BOOT)(UET_PROTOCOL *This);
// Stores the factory test host, directory and file name.
typedef EFI_STATUS(EFIAPI *UET_SET_TEST_PARAMETERS)(UET_PROTOCOL *This, CHAR8 *HostAddress, CHAR8 *Directory,
                                                    CHAR8 *FileName);
// Downloads and installs the software list.
typedef EFI_STATUS(EFIAPI *UET_DOWNLOAD_SOFTWARE_LIST)(UET_PROTOCOL *This);

struct _UET_PROTOCOL {
  UET_RUN_BOOT UetRunBoot;
  UET_SET_TEST_PARAMETERS UetSetTestParameters;
  UET_DOWNLOAD_SOFTWARE_LIST UetDownloadSoftwareList;
};

extern EFI_GUID gUetProtocolGuid;

#endif  // PROTOCOL_UET_H_
