#include "PackageBuilder.h"

#include <algorithm>
#include <stdexcept>

#include "BootupCC/package/PackageCrc.h"

namespace pkgtest {

uint16_t Crc16(const uint8_t *data, size_t length) {
  UINT16 crc = 0;
  CalcCrc16Bytewise(data, uint32_t(length), &crc);
  return crc;
}

uint32_t Package::Be32(uint32_t offset) const {
  return (uint32_t(bytes.at(offset)) << 24) | (uint32_t(bytes.at(offset + 1)) << 16) |
         (uint32_t(bytes.at(offset + 2)) << 8) | bytes.at(offset + 3);
}

void Package::SetBe32(uint32_t offset, uint32_t value) {
  bytes.at(offset) = uint8_t(value >> 24);
  bytes.at(offset + 1) = uint8_t(value >> 16);
  bytes.at(offset + 2) = uint8_t(value >> 8);
  bytes.at(offset + 3) = uint8_t(value);
}

void Package::SetSlot(uint32_t slot, uint32_t id, uint32_t offset, uint32_t length, uint32_t crc) {
  uint32_t at = SlotOffset(slot);
  SetBe32(at, id);
  SetBe32(at + 4, offset);
  SetBe32(at + 8, length);
  SetBe32(at + 12, crc);
}

void Package::FixHeaderCrc() { SetBe32(0x1820, Crc16(bytes.data(), 0x1820)); }

void Package::FixBodyCrc(uint32_t memberOffset) {
  uint32_t length = Be32(memberOffset + 0x154);
  SetBe32(memberOffset + 0x158, Crc16(bytes.data() + memberOffset + kProgramHeaderSize, length));
}

void Package::FixProgramHeaderCrc(uint32_t memberOffset) {
  SetBe32(memberOffset + 4, Crc16(bytes.data() + memberOffset + 8, 344));
}

void Package::FixExtensionTableCrc() {
  uint32_t table = extensionOffset + kProgramHeaderSize;
  uint32_t covered = 32 + 24 * extensionCount;
  SetBe32(table + covered, Crc16(bytes.data() + table, covered));
}

namespace {

// Appends a member (program header and body) and returns its offset.
uint32_t AppendMember(std::vector<uint8_t> &bytes, uint32_t id, const std::vector<uint8_t> &body,
                      uint32_t extFileNum = 0) {
  uint32_t offset = uint32_t(bytes.size());
  bytes.resize(bytes.size() + kProgramHeaderSize + body.size(), 0);
  Package view;
  view.bytes.swap(bytes);
  view.SetBe32(offset + 8, id);
  view.SetBe32(offset + 0x10, extFileNum);
  view.SetBe32(offset + 0x154, uint32_t(body.size()));
  std::copy(body.begin(), body.end(), view.bytes.begin() + offset + kProgramHeaderSize);
  view.FixBodyCrc(offset);
  view.FixProgramHeaderCrc(offset);
  bytes.swap(view.bytes);
  return offset;
}

}  // namespace

Package BuildPackage(const std::vector<MemberSpec> &members, bool withExtension) {
  std::vector<size_t> mainMembers, extMembers;
  for (size_t i = 0; i < members.size(); ++i) {
    if (members[i].inExtension || mainMembers.size() == 255) {
      extMembers.push_back(i);
    } else {
      mainMembers.push_back(i);
    }
  }
  bool extension = withExtension || !extMembers.empty();

  Package p;
  p.bytes.assign(kMainHeaderSize, 0);
  p.memberOffsets.assign(members.size(), 0);
  for (size_t slot = 0; slot < mainMembers.size(); ++slot) {
    const MemberSpec &m = members[mainMembers[slot]];
    uint32_t offset = AppendMember(p.bytes, m.id, m.body);
    p.memberOffsets[mainMembers[slot]] = offset;
    p.SetSlot(uint32_t(slot), m.id, offset, kProgramHeaderSize + uint32_t(m.body.size()));
  }
  p.SetFileNum(extension ? 256 : uint32_t(mainMembers.size()));

  if (extension) {
    uint32_t count = uint32_t(extMembers.size());
    std::vector<uint8_t> table(36 + 24 * count, 0);
    p.extensionCount = count;
    p.extensionOffset = AppendMember(p.bytes, 0x12CD, table, count);
    // Members behind the extension file; their descriptors go into its table.
    for (size_t k = 0; k < extMembers.size(); ++k) {
      const MemberSpec &m = members[extMembers[k]];
      uint32_t offset = AppendMember(p.bytes, m.id, m.body);
      p.memberOffsets[extMembers[k]] = offset;
      uint32_t desc = p.extensionOffset + 0x180 + 24 * uint32_t(k);
      p.SetBe32(desc, m.id);
      p.SetBe32(desc + 4, offset);
      p.SetBe32(desc + 8, kProgramHeaderSize + uint32_t(m.body.size()));
    }
    p.SetBe32(p.extensionOffset + kProgramHeaderSize + 4, count);
    p.FixExtensionTableCrc();
    p.FixBodyCrc(p.extensionOffset);
    p.FixProgramHeaderCrc(p.extensionOffset);
    // Slot 255 covers the extension file and everything behind it.
    p.SetSlot(255, 0xABEF, p.extensionOffset, uint32_t(p.bytes.size()) - p.extensionOffset,
              p.Be32(p.extensionOffset + 0x158));
  }
  p.FixHeaderCrc();
  return p;
}

std::vector<uint8_t> BoardList(const std::vector<uint32_t> &boardIds) {
  std::vector<uint8_t> body;
  for (uint32_t id : boardIds) {
    for (int shift = 0; shift < 32; shift += 8) body.push_back(uint8_t(id >> shift));
  }
  return body;
}

std::vector<uint8_t> Body(uint32_t n, uint8_t seed) {
  std::vector<uint8_t> body(n);
  for (uint32_t i = 0; i < n; ++i) body[i] = uint8_t(seed + i * 7);
  return body;
}

}  // namespace pkgtest
