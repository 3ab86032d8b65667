// Member IDs the board knows, and the names ccpack uses for them.
#ifndef CCPACK_MEMBER_IDS_H_
#define CCPACK_MEMBER_IDS_H_

#include <cstdint>
#include <string>

namespace ccpack {

uint32_t RpsFileId();        // from the configured RPS code
uint32_t BoardTypeFileId();  // from the configured board-type code

// "rps", "basebios", "extbios", "boardtype", "fpga", "logic",
// "extension entry", "extension file"; empty for an ID the board does not know.
std::string KnownIdName(uint32_t id);

// Parses a number in C notation (decimal, 0x hex, 0 octal) up to max.
bool ParseNumber(const std::string &text, uint64_t max, uint64_t *value);

}  // namespace ccpack

#endif  // CCPACK_MEMBER_IDS_H_
