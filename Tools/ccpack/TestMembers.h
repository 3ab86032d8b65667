// Generators of test members: BIOS images and logic member files with the
// versions placed where the board reads them.
#ifndef CCPACK_TEST_MEMBERS_H_
#define CCPACK_TEST_MEMBERS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "Compressors.h"

namespace ccpack {

const uint32_t kBiosImageSize = 0x100000;
const uint32_t kBiosVersionTextSize = 256;   // at offset 0, NUL-terminated
const uint32_t kBiosVersionFieldOffset = 0xB0004;
const uint32_t kBiosVersionFieldSize = 12;
const uint32_t kBiosVersionBlockOffset = 0xB0000;  // 256 bytes, zero but for the field

struct BiosImageOptions {
  std::string version;     // up to 255 characters
  std::string fieldText;   // up to 12 characters
  uint8_t fill = 0xFF;     // every other byte
};

// A 1 MiB image: the version text at offset 0 (the board compares the first
// 256 bytes), the version field at 0xB0004.
bool MakeBiosImage(const BiosImageOptions &options, std::vector<uint8_t> *image, std::string *error);

const uint32_t kDefaultLogicFileId = 0x10000011;
const uint32_t kDefaultLogicSize = 0x10000;
const uint32_t kMaxLogicSize = 0x400000;  // what the board expands a logic body into

struct LogicImageOptions {
  uint8_t version = 0;
  uint32_t id = kDefaultLogicFileId;
  Compression compression = Compression::kLzma;
  uint32_t lzwBits = kLzwDefaultBits;
  uint32_t size = kDefaultLogicSize;  // expanded bitstream size
};

// A complete member file (program header + body): version word 0x000000VV,
// so the version byte sits at header offset 0x00F; the body is a
// deterministic stand-in bitstream of options.size bytes, compressed.
bool MakeLogicMember(const LogicImageOptions &options, std::vector<uint8_t> *member, std::string *error);

}  // namespace ccpack

#endif  // CCPACK_TEST_MEMBERS_H_
