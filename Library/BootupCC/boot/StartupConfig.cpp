#include "BootupCC/boot/StartupConfig.h"

UINT32 gBootDebugMask = 0xFFFF;
UINT32 gBiosLogMode = 2;
UINT32 gCfcardUnusable = 0;
UINT32 gSkipTestNetConfig = 0;
UINT32 gSkipBootFlow = 0;

UINT32 gRpsFileId = 3;
UINT32 gBoardTypeFileId = 1;
UINT32 gLogicFileIds[3] = {0x10000007, 0x1100000C, 0x1000000A};
UINT32 gBoardFpgaFileId = 0xFFFFFFFF;

UINT32 gHidPackageIndex = 0;
