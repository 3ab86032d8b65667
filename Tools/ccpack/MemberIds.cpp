#include "MemberIds.h"

#include <cerrno>
#include <cstdlib>

#include "BootupCC/boot/StartupConfig.h"
#include "Package/PackageFormat.h"

namespace ccpack {

namespace {

// FPGA file IDs the boot file reader picks from the board ID.
const uint32_t kFpgaFileIds[] = {0x10000011u, 0x10000012u, 0x10000013u, 0x10000015u, 0x10000017u};

}  // namespace

uint32_t RpsFileId() { return PACKAGE_RPS_ID_BASE | (gRpsFileId & PACKAGE_CODE_MASK); }

uint32_t BoardTypeFileId() { return PACKAGE_BOARD_TYPE_ID_BASE | (gBoardTypeFileId & PACKAGE_CODE_MASK); }

std::string KnownIdName(uint32_t id) {
  if (id == RpsFileId()) return "rps";
  if (id == PACKAGE_BASE_BIOS_ID) return "basebios";
  if (id == PACKAGE_EXT_BIOS_ID) return "extbios";
  if (id == BoardTypeFileId()) return "boardtype";
  for (uint32_t fpga : kFpgaFileIds) {
    if (id == fpga) return "fpga";
  }
  for (uint32_t logic : gLogicFileIds) {
    if (id == logic) return "logic";
  }
  if (id == PACKAGE_EXTENSION_ENTRY_ID) return "extension entry";
  if (id == PACKAGE_EXTENSION_FILE_ID) return "extension file";
  return "";
}

bool ParseNumber(const std::string &text, uint64_t max, uint64_t *value) {
  if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
  errno = 0;
  char *end = nullptr;
  unsigned long long v = std::strtoull(text.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || v > max) return false;
  *value = v;
  return true;
}

}  // namespace ccpack
