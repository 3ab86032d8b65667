// The startup configuration block: build-time switches and configured
// package identifiers of BootAgent. Nothing changes the switches at run time.
#ifndef BOOTUPCC_STARTUP_CONFIG_H_
#define BOOTUPCC_STARTUP_CONFIG_H_

#include <Uefi/UefiBaseType.h>

// Bits of gBootDebugMask that gate boot-log output.
#define BOOT_DEBUG_PROGRESS 0x0001u
#define BOOT_DEBUG_SEARCH_ARRAY 0x0002u
#define BOOT_DEBUG_ERRORS 0x0004u
#define BOOT_DEBUG_PACKAGE_SELECTION 0x0008u

extern UINT32 gBootDebugMask;
extern UINT32 gBiosLogMode;
extern UINT32 gCfcardUnusable;
extern UINT32 gSkipTestNetConfig;
extern UINT32 gSkipBootFlow;

// IDs of the package members that are loaded and used.
extern UINT32 gRpsFileId;
extern UINT32 gBoardTypeFileId;
extern UINT32 gLogicFileIds[3];
extern UINT32 gBoardFpgaFileId;  // replaced from the board ID when a package is loaded

// Boot flow state: ulHidPackageRequest as last read by FlashRecGetHidRequest.
extern UINT32 gHidPackageIndex;

#endif  // BOOTUPCC_STARTUP_CONFIG_H_
