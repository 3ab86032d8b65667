// A package member as it lies in the package: the 352-byte program header
// followed by the body. ccpack writes every field of the header: the ID,
// version word, extension count, body length, body CRC, compression type
// and the header CRC over bytes 0x008..0x15F (the board checks it for the
// extension file only). Bytes the board does not read are zero.
#ifndef CCPACK_MEMBER_FILE_H_
#define CCPACK_MEMBER_FILE_H_

#include <cstdint>
#include <string>
#include <vector>

namespace ccpack {

const uint32_t kProgramHeaderSize = 352;

struct ProgramHeaderFields {
  uint32_t id = 0;
  uint32_t version = 0;
  uint32_t extFileNum = 0;
  uint32_t compressionType = 0;
};

std::vector<uint8_t> MakeMemberFile(const ProgramHeaderFields &fields, const std::vector<uint8_t> &body);

// Recomputes the header CRC after a header field changed.
void SealProgramHeader(uint8_t *header);

// Makes the body CRC field wrong (low half changed) and reseals the header,
// so that the body CRC is the only fault.
void BreakBodyCrc(std::vector<uint8_t> *memberFile);

// A member file made elsewhere (make-logic): its length field must match.
bool CheckMemberFile(const std::vector<uint8_t> &memberFile, std::string *error);

uint32_t MemberFileId(const std::vector<uint8_t> &memberFile);

}  // namespace ccpack

#endif  // CCPACK_MEMBER_FILE_H_
