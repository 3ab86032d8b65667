#include "BootupCC/package/PackageFileIds.h"

#include <Package/PackageFormat.h>

#include "BootupCC/boot/StartupConfig.h"

UINT32 PackageRpsFileId(VOID) { return PACKAGE_RPS_ID_BASE | (gRpsFileId & PACKAGE_CODE_MASK); }

UINT32 PackageBoardTypeFileId(VOID) {
  return PACKAGE_BOARD_TYPE_ID_BASE | (gBoardTypeFileId & PACKAGE_CODE_MASK);
}
