// Builds ".cc" packages in memory for tests: main header, program headers,
// bodies and, when asked, an extension file with its table, with every
// length and CRC filled in. Helpers patch fields afterwards and refresh the
// CRCs that cover them, so a test can make exactly the defect it needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pkgtest {

constexpr uint32_t kMainHeaderSize = 0x1824;
constexpr uint32_t kProgramHeaderSize = 0x160;
constexpr uint32_t kRpsId = 0x01000003;
constexpr uint32_t kBoardTypeId = 0x09000001;
constexpr uint32_t kBaseBiosId = 0x05000001;
constexpr uint32_t kExtBiosId = 0x06000002;

struct MemberSpec {
  uint32_t id;
  std::vector<uint8_t> body;
  bool inExtension = false;
};

struct Package {
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> memberOffsets;  // in the order the members were added
  uint32_t extensionOffset = 0;         // 0: no extension file
  uint32_t extensionCount = 0;

  uint32_t Length() const { return uint32_t(bytes.size()); }
  uint8_t *Data() { return bytes.data(); }

  // Big-endian fields.
  uint32_t Be32(uint32_t offset) const;
  void SetBe32(uint32_t offset, uint32_t value);

  // Main header field offsets.
  static uint32_t SlotOffset(uint32_t slot) { return 0x20 + 24 * slot; }
  void SetFileNum(uint32_t value) { SetBe32(4, value); }
  void SetSlot(uint32_t slot, uint32_t id, uint32_t offset, uint32_t length, uint32_t crc = 0);

  // Recomputes the CRCs after a patch.
  void FixHeaderCrc();
  void FixBodyCrc(uint32_t memberOffset);           // from the program header's ulLength
  void FixProgramHeaderCrc(uint32_t memberOffset);  // bytes 0x008..0x15F
  void FixExtensionTableCrc();
};

// Members in the order given; extension members (and all members beyond
// 255) go into the extension table. withExtension forces an extension file
// even when it lists nothing.
Package BuildPackage(const std::vector<MemberSpec> &members, bool withExtension = false);

// A board-type list body: little-endian 32-bit board IDs.
std::vector<uint8_t> BoardList(const std::vector<uint32_t> &boardIds);

// A body of n bytes of a simple pattern.
std::vector<uint8_t> Body(uint32_t n, uint8_t seed = 1);

uint16_t Crc16(const uint8_t *data, size_t length);

}  // namespace pkgtest
