#include "MemberFile.h"

#include "ByteOrder.h"
#include "Crc16.h"

namespace ccpack {

namespace {
const uint32_t kHeaderCrcField = 0x004;
const uint32_t kHeaderCrcStart = 0x008;
const uint32_t kHeaderCrcLength = 344;
const uint32_t kIdField = 0x008;
const uint32_t kVersionField = 0x00C;
const uint32_t kExtFileNumField = 0x010;
const uint32_t kLengthField = 0x154;
const uint32_t kBodyCrcField = 0x158;
const uint32_t kCompressionField = 0x15C;
}  // namespace

void SealProgramHeader(uint8_t *header) {
  PutBe32(header + kHeaderCrcField, Crc16(header + kHeaderCrcStart, kHeaderCrcLength));
}

std::vector<uint8_t> MakeMemberFile(const ProgramHeaderFields &fields, const std::vector<uint8_t> &body) {
  std::vector<uint8_t> file(kProgramHeaderSize, 0);
  uint8_t *header = file.data();
  PutBe32(header + kIdField, fields.id);
  PutBe32(header + kVersionField, fields.version);
  PutBe32(header + kExtFileNumField, fields.extFileNum);
  PutBe32(header + kLengthField, uint32_t(body.size()));
  PutBe32(header + kBodyCrcField, Crc16(body.data(), body.size()));
  PutBe32(header + kCompressionField, fields.compressionType);
  SealProgramHeader(header);
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

void BreakBodyCrc(std::vector<uint8_t> *memberFile) {
  uint8_t *header = memberFile->data();
  PutBe32(header + kBodyCrcField, GetBe32(header + kBodyCrcField) ^ 0x0001u);
  SealProgramHeader(header);
}

bool CheckMemberFile(const std::vector<uint8_t> &memberFile, std::string *error) {
  if (memberFile.size() < kProgramHeaderSize) {
    *error = "shorter than a program header (352 bytes)";
    return false;
  }
  uint64_t length = GetBe32(memberFile.data() + kLengthField);
  if (length + kProgramHeaderSize != memberFile.size()) {
    *error = "body length field does not match the file size";
    return false;
  }
  return true;
}

uint32_t MemberFileId(const std::vector<uint8_t> &memberFile) { return GetBe32(memberFile.data() + kIdField); }

}  // namespace ccpack
