#include "PackageWriter.h"

#include <cstdio>
#include <iterator>
#include <utility>

#include "ByteOrder.h"
#include "Crc16.h"
#include "MemberFile.h"
#include "Package/PackageFormat.h"

namespace ccpack {

namespace {

const uint64_t kMainHeaderSize = sizeof(LOAD_FILE_HEADER_S);
const uint64_t kSlotSize = sizeof(LOAD_FILE_DESC_S);
const uint64_t kTableOffset = 0x20;
const uint64_t kFileNumOffset = 0x04;
const uint64_t kMaxPackageSize = 0xFFFFFFFFu;

void PutSlot(uint8_t *slot, uint32_t id, uint64_t offset, uint64_t length, uint32_t crc) {
  PutBe32(slot + 0, id);
  PutBe32(slot + 4, uint32_t(offset));
  PutBe32(slot + 8, uint32_t(length));
  PutBe32(slot + 12, crc);
}

uint32_t BodyCrcField(const std::vector<uint8_t> &memberFile) { return GetBe32(memberFile.data() + 0x158); }

// The extension file: program header plus the table of descriptors.
std::vector<uint8_t> MakeExtensionFile(const std::vector<PackageMember> &members, uint64_t firstMemberOffset,
                                       bool breakTableCrc) {
  const uint32_t count = uint32_t(members.size());
  std::vector<uint8_t> table(EXTENSION_TABLE_HEAD + kSlotSize * count + 4, 0);
  PutBe32(table.data() + 4, count);
  uint64_t offset = firstMemberOffset;
  for (uint32_t i = 0; i < count; i++) {
    const PackageMember &member = members[i];
    PutSlot(table.data() + EXTENSION_TABLE_HEAD + kSlotSize * i, member.id, offset, member.file.size(),
            BodyCrcField(member.file));
    offset += member.file.size();
  }
  const size_t crcAt = EXTENSION_TABLE_HEAD + kSlotSize * count;
  uint32_t tableCrc = Crc16(table.data(), crcAt);
  if (breakTableCrc) tableCrc ^= 0x0001u;
  PutBe32(table.data() + crcAt, tableCrc);

  ProgramHeaderFields fields;
  fields.id = PACKAGE_EXTENSION_FILE_ID;
  fields.extFileNum = count;
  return MakeMemberFile(fields, table);
}

}  // namespace

bool WritePackage(std::vector<PackageMember> members, const PackageLayoutOptions &options,
                  std::vector<uint8_t> *package, std::string *error) {
  const PackageDefects &defects = options.defects;
  for (uint32_t id : defects.memberCrcIds) {
    bool found = false;
    for (PackageMember &member : members) {
      if (member.id == id) {
        BreakBodyCrc(&member.file);
        found = true;
        break;
      }
    }
    if (!found) {
      char text[96];
      std::snprintf(text, sizeof(text), "--break member-crc: no member with ID 0x%08X", id);
      *error = text;
      return false;
    }
  }

  std::vector<PackageMember> mainMembers;
  std::vector<PackageMember> extMembers;
  std::vector<PackageMember> overflow;
  for (PackageMember &member : members) {
    if (options.allInExtension || member.inExtension) {
      extMembers.push_back(std::move(member));
    } else if (mainMembers.size() < PACKAGE_MAIN_SLOTS) {
      mainMembers.push_back(std::move(member));
    } else {
      overflow.push_back(std::move(member));
    }
  }
  extMembers.insert(extMembers.begin(), std::make_move_iterator(overflow.begin()),
                    std::make_move_iterator(overflow.end()));
  const bool hasExtension = !extMembers.empty();
  if (defects.extTableCrc && !hasExtension) {
    *error = "--break ext-table-crc: the package has no extension table";
    return false;
  }
  if (defects.lengthOffByOne && mainMembers.empty() && !hasExtension) {
    *error = "--break length-off-by-one: the package has no members";
    return false;
  }

  // Sizes first, so that nothing is written past 4 GiB.
  uint64_t total = kMainHeaderSize;
  for (const PackageMember &member : mainMembers) total += member.file.size();
  const uint64_t extensionOffset = total;
  uint64_t extensionFileSize = 0;
  if (hasExtension) {
    extensionFileSize = kProgramHeaderSize + EXTENSION_TABLE_HEAD + kSlotSize * extMembers.size() + 4;
    total += extensionFileSize;
    for (const PackageMember &member : extMembers) total += member.file.size();
  }
  if (total > kMaxPackageSize) {
    *error = "the package would pass 4 GiB, beyond what its 32-bit offsets can describe";
    return false;
  }

  package->assign(kMainHeaderSize, 0);
  package->reserve(total);
  uint8_t *header = package->data();
  PutBe32(header + kFileNumOffset, hasExtension ? PACKAGE_FILE_NUM_WITH_EXTENSION : uint32_t(mainMembers.size()));
  for (size_t slot = 0; slot < mainMembers.size(); slot++) {
    const PackageMember &member = mainMembers[slot];
    PutSlot(header + kTableOffset + kSlotSize * slot, member.id, package->size(), member.file.size(),
            BodyCrcField(member.file));
    package->insert(package->end(), member.file.begin(), member.file.end());
  }
  if (hasExtension) {
    std::vector<uint8_t> extensionFile =
        MakeExtensionFile(extMembers, extensionOffset + extensionFileSize, defects.extTableCrc);
    // Slot 255 covers the extension file and every member behind it, so the
    // package length rule still holds.
    uint8_t *slot255 = package->data() + kTableOffset + kSlotSize * PACKAGE_EXTENSION_SLOT;
    PutSlot(slot255, PACKAGE_EXTENSION_ENTRY_ID, extensionOffset, total - extensionOffset,
            BodyCrcField(extensionFile));
    package->insert(package->end(), extensionFile.begin(), extensionFile.end());
    for (const PackageMember &member : extMembers) package->insert(package->end(), member.file.begin(), member.file.end());
  }

  header = package->data();
  if (defects.lengthOffByOne) {
    size_t slot = mainMembers.empty() ? PACKAGE_EXTENSION_SLOT : 0;
    uint8_t *length = header + kTableOffset + kSlotSize * slot + 8;
    PutBe32(length, GetBe32(length) + 1);
  }
  uint32_t headerCrc = Crc16(header, PACKAGE_HEADER_CRC_LENGTH);
  if (defects.headerCrc) headerCrc ^= 0x0001u;
  PutBe32(header + PACKAGE_HEADER_CRC_LENGTH, headerCrc);
  return true;
}

}  // namespace ccpack
