#include "TestMembers.h"

#include <cstring>

#include "MemberFile.h"

namespace ccpack {

bool MakeBiosImage(const BiosImageOptions &options, std::vector<uint8_t> *image, std::string *error) {
  if (options.version.size() >= kBiosVersionTextSize) {
    *error = "the version text takes at most 255 characters";
    return false;
  }
  if (options.fieldText.size() > kBiosVersionFieldSize) {
    *error = "the version field takes at most 12 characters";
    return false;
  }
  image->assign(kBiosImageSize, options.fill);
  std::memset(image->data(), 0, kBiosVersionTextSize);
  std::memcpy(image->data(), options.version.data(), options.version.size());
  std::memset(image->data() + kBiosVersionBlockOffset, 0, kBiosVersionTextSize);
  std::memcpy(image->data() + kBiosVersionFieldOffset, options.fieldText.data(), options.fieldText.size());
  return true;
}

namespace {

// Half noise, half zero runs per 256 bytes: enough structure that the
// compressors have work to do, seeded by the version so versions differ.
std::vector<uint8_t> StandInBitstream(uint32_t size, uint8_t version) {
  std::vector<uint8_t> bits(size);
  uint32_t state = 0x2545F491u ^ (uint32_t(version) * 0x9E3779B9u);
  for (uint32_t i = 0; i < size; i++) {
    if ((i & 0xFF) < 0x80) {
      state = state * 1664525u + 1013904223u;
      bits[i] = uint8_t(state >> 24);
    } else {
      bits[i] = 0;
    }
  }
  return bits;
}

}  // namespace

bool MakeLogicMember(const LogicImageOptions &options, std::vector<uint8_t> *member, std::string *error) {
  if (options.size == 0 || options.size > kMaxLogicSize) {
    *error = "the logic size must be 1 to 0x400000 bytes";
    return false;
  }
  std::vector<uint8_t> body;
  if (!Compress(options.compression, options.lzwBits, StandInBitstream(options.size, options.version), &body,
                "logic", error)) {
    return false;
  }
  ProgramHeaderFields fields;
  fields.id = options.id;
  fields.version = options.version;
  fields.compressionType = uint32_t(options.compression);
  *member = MakeMemberFile(fields, body);
  return true;
}

}  // namespace ccpack
