#include "PackageInspector.h"

#include <cstdarg>

#include "ByteOrder.h"
#include "Compressors.h"
#include "Crc16.h"
#include "MemberFile.h"
#include "MemberIds.h"
#include "Package/PackageFormat.h"

namespace ccpack {

namespace {

const uint64_t kMainHeaderSize = sizeof(LOAD_FILE_HEADER_S);
const uint64_t kSlotSize = sizeof(LOAD_FILE_DESC_S);
const uint64_t kTableOffset = 0x20;

std::string Format(const char *format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char *format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  return text;
}

struct Descriptor {
  uint32_t id, offset, length, crc;
};

Descriptor ReadDescriptor(const uint8_t *p) {
  return {GetBe32(p), GetBe32(p + 4), GetBe32(p + 8), GetBe32(p + 12)};
}

std::string IdWithName(uint32_t id) {
  std::string name = KnownIdName(id);
  return name.empty() ? Format("0x%08X", id) : Format("0x%08X %s", id, name.c_str());
}

class Inspector {
 public:
  Inspector(const std::vector<uint8_t> &package, FILE *out) : p_(package.data()), size_(package.size()), out_(out) {}

  std::vector<std::string> Run(const std::string &name);

 private:
  void Fail(const std::string &text) { problems_.push_back(text); }
  bool Inside(uint64_t offset, uint64_t length) const { return offset <= size_ && length <= size_ - offset; }
  void PrintMemberHeading(const char *column) {
    std::fprintf(out_, "  %-5s %-10s  %-10s %-10s %-10s  %-10s  %-11s %s\n", column, "id", "name", "offset", "length",
                 "version", "compression", "crc");
  }
  void CheckMember(const std::string &column, const std::string &where, const Descriptor &d);
  void CheckMainTable(uint32_t fileNum, bool hasExtension);
  void CheckExtension(const Descriptor &entry);
  void CheckTotalLength();

  const uint8_t *p_;
  uint64_t size_;
  FILE *out_;
  std::vector<std::string> problems_;
};

void Inspector::CheckMember(const std::string &column, const std::string &where, const Descriptor &d) {
  std::string name = KnownIdName(d.id);
  std::fprintf(out_, "  %-5s 0x%08X  %-10s 0x%08X 0x%08X  ", column.c_str(), d.id, name.empty() ? "-" : name.c_str(),
               d.offset, d.length);
  if (!Inside(d.offset, kProgramHeaderSize)) {
    std::fprintf(out_, "%-10s  %-11s %s\n", "-", "-", "-");
    Fail(Format("%s: program header at 0x%08X runs past the end of the file", where.c_str(), d.offset));
    return;
  }
  const uint8_t *header = p_ + d.offset;
  uint32_t version = GetBe32(header + 0x00C);
  uint32_t bodyLength = GetBe32(header + 0x154);
  uint32_t storedCrc = GetBe32(header + 0x158);
  uint32_t compression = GetBe32(header + 0x15C);
  std::fprintf(out_, "0x%08X  %-11s ", version, CompressionName(compression));
  if (!Inside(uint64_t(d.offset) + kProgramHeaderSize, bodyLength)) {
    std::fprintf(out_, "-\n");
    Fail(Format("%s: body of 0x%08X bytes runs past the end of the file", where.c_str(), bodyLength));
  } else {
    uint16_t computed = Crc16(header + kProgramHeaderSize, bodyLength);
    bool ok = uint16_t(storedCrc) == computed;
    std::fprintf(out_, "%s\n", ok ? "ok" : "BAD");
    if (!ok) Fail(Format("%s: body CRC stored 0x%08X, computed 0x%04X", where.c_str(), storedCrc, computed));
  }
  uint64_t memberLength = uint64_t(bodyLength) + kProgramHeaderSize;
  if (d.length != memberLength) {
    Fail(Format("%s: ulFileLen 0x%08X, but program header and body take 0x%08llX", where.c_str(), d.length,
                (unsigned long long)memberLength));
  }
  if (!Inside(d.offset, d.length)) {
    Fail(Format("%s: ulFileLen 0x%08X from 0x%08X runs past the end of the file", where.c_str(), d.length, d.offset));
  }
}

void Inspector::CheckMainTable(uint32_t fileNum, bool hasExtension) {
  uint32_t listed = fileNum > PACKAGE_FILE_NUM_WITH_EXTENSION ? PACKAGE_FILE_NUM_WITH_EXTENSION : fileNum;
  uint32_t memberSlots = hasExtension ? PACKAGE_MAIN_SLOTS : listed;
  uint32_t used = 0;
  for (uint32_t slot = 0; slot < memberSlots && slot < listed; slot++) {
    Descriptor d = ReadDescriptor(p_ + kTableOffset + kSlotSize * slot);
    if (d.id != 0 || d.length != 0) used++;
  }
  std::fprintf(out_, "main table: %u of %u slots used, %s\n", used, memberSlots,
               hasExtension ? "slot 255 is the extension entry" : "no extension");
  PrintMemberHeading("slot");
  for (uint32_t slot = 0; slot <= PACKAGE_EXTENSION_SLOT; slot++) {
    if (hasExtension && slot == PACKAGE_EXTENSION_SLOT) break;
    Descriptor d = ReadDescriptor(p_ + kTableOffset + kSlotSize * slot);
    bool empty = d.id == 0 && d.length == 0 && d.offset == 0;
    if (slot >= listed) {
      // The board never looks here, but the length still counts.
      if (!empty) {
        std::fprintf(out_, "  %-5u 0x%08X  not listed (beyond ulFileNum), ulFileLen 0x%08X\n", slot, d.id, d.length);
      }
      continue;
    }
    if (empty) continue;
    CheckMember(Format("%u", slot), Format("slot %u (%s)", slot, IdWithName(d.id).c_str()), d);
  }
}

void Inspector::CheckExtension(const Descriptor &entry) {
  std::fprintf(out_, "extension entry: slot 255, offset 0x%08X, length 0x%08X, CRC 0x%08X\n", entry.offset,
               entry.length, entry.crc);
  if (!Inside(entry.offset, kProgramHeaderSize)) {
    std::fprintf(out_, "extension file: -\n");
    Fail(Format("extension file at 0x%08X runs past the end of the file", entry.offset));
    return;
  }
  const uint8_t *header = p_ + entry.offset;
  uint32_t fileId = GetBe32(header + 0x008);
  uint32_t headerCrc = GetBe32(header + 0x004);
  uint16_t headerComputed = Crc16(header + PROGRAM_HEADER_CRC_START, PROGRAM_HEADER_CRC_LENGTH);
  uint32_t count = GetBe32(header + 0x010);
  uint32_t bodyLength = GetBe32(header + 0x154);
  uint32_t bodyCrc = GetBe32(header + 0x158);
  if (fileId != PACKAGE_EXTENSION_FILE_ID) {
    Fail(Format("extension file ID 0x%08X, expected 0x%08X", fileId, PACKAGE_EXTENSION_FILE_ID));
  }
  if (bodyCrc != entry.crc) {
    Fail(Format("extension entry CRC 0x%08X differs from the extension file's body CRC 0x%08X", entry.crc, bodyCrc));
  }
  if (headerCrc != headerComputed) {
    Fail(Format("extension file header CRC stored 0x%08X, computed 0x%04X", headerCrc, headerComputed));
  }
  std::string bodyVerdict = "-";
  if (!Inside(uint64_t(entry.offset) + kProgramHeaderSize, bodyLength)) {
    Fail(Format("extension file body of 0x%08X bytes runs past the end of the file", bodyLength));
  } else {
    uint16_t computed = Crc16(header + kProgramHeaderSize, bodyLength);
    bodyVerdict = uint16_t(bodyCrc) == computed ? "ok" : "BAD";
    if (bodyVerdict != "ok") {
      Fail(Format("extension file body CRC stored 0x%08X, computed 0x%04X", bodyCrc, computed));
    }
  }
  if (uint64_t(entry.length) < uint64_t(bodyLength) + kProgramHeaderSize) {
    Fail(Format("extension entry ulFileLen 0x%08X is shorter than the extension file (0x%08llX)", entry.length,
                (unsigned long long)(uint64_t(bodyLength) + kProgramHeaderSize)));
  }

  uint64_t tableLength = EXTENSION_TABLE_HEAD + kSlotSize * uint64_t(count) + 4;
  const uint64_t tableOffset = uint64_t(entry.offset) + kProgramHeaderSize;
  std::fprintf(out_, "extension file: ID 0x%08X, ulExtFileNum %u, header CRC %s, body CRC %s", fileId, count,
               headerCrc == headerComputed ? "ok" : "BAD", bodyVerdict.c_str());
  if (!Inside(tableOffset, tableLength)) {
    std::fprintf(out_, ", table -\n");
    Fail(Format("extension table of %u descriptors runs past the end of the file", count));
    return;
  }
  if (tableLength > bodyLength) {
    Fail(Format("extension table of %u descriptors (0x%08llX bytes) is longer than the extension file body (0x%08X)",
                count, (unsigned long long)tableLength, bodyLength));
  }
  const uint8_t *table = p_ + tableOffset;
  uint32_t tableCount = GetBe32(table + 4);
  const uint64_t crcAt = tableLength - 4;
  uint32_t tableCrc = GetBe32(table + crcAt);
  uint16_t tableComputed = Crc16(table, crcAt);
  std::fprintf(out_, ", table count %u, table CRC %s\n", tableCount, tableCrc == tableComputed ? "ok" : "BAD");
  if (tableCount != count) {
    Fail(Format("extension table count %u differs from ulExtFileNum %u", tableCount, count));
  }
  if (tableCrc != tableComputed) {
    Fail(Format("extension table CRC stored 0x%08X, computed 0x%04X", tableCrc, tableComputed));
  }
  std::fprintf(out_, "extension table: %u members\n", count);
  PrintMemberHeading("ext");
  for (uint32_t i = 0; i < count; i++) {
    Descriptor d = ReadDescriptor(table + EXTENSION_TABLE_HEAD + kSlotSize * i);
    CheckMember(Format("%u", i), Format("extension descriptor %u (%s)", i, IdWithName(d.id).c_str()), d);
  }
}

void Inspector::CheckTotalLength() {
  uint64_t sum = 0;  // 64 bits: 256 lengths of up to 4 GiB must not wrap
  for (uint32_t slot = 0; slot <= PACKAGE_EXTENSION_SLOT; slot++) {
    sum += GetBe32(p_ + kTableOffset + kSlotSize * slot + 8);
  }
  uint64_t expected = kMainHeaderSize + sum;
  bool ok = expected == size_;
  std::fprintf(out_, "package length: 0x1824 + 0x%llX = 0x%llX, file 0x%llX: %s\n", (unsigned long long)sum,
               (unsigned long long)expected, (unsigned long long)size_, ok ? "ok" : "BAD");
  if (!ok) {
    Fail(Format("package length: 0x1824 + sum of ulFileLen = 0x%llX, but the file has 0x%llX bytes",
                (unsigned long long)expected, (unsigned long long)size_));
  }
}

std::vector<std::string> Inspector::Run(const std::string &name) {
  std::fprintf(out_, "package %s: %llu bytes\n", name.c_str(), (unsigned long long)size_);
  if (size_ < kMainHeaderSize) {
    Fail(Format("the file is shorter than the main header (0x%llX bytes)", (unsigned long long)kMainHeaderSize));
  } else {
    uint32_t fileNum = GetBe32(p_ + 0x004);
    uint32_t storedCrc = GetBe32(p_ + PACKAGE_HEADER_CRC_LENGTH);
    uint16_t computedCrc = Crc16(p_, PACKAGE_HEADER_CRC_LENGTH);
    bool crcOk = storedCrc == computedCrc;
    std::fprintf(out_, "header: ulFileNum %u, CRC stored 0x%08X, computed 0x%04X: %s\n", fileNum, storedCrc,
                 computedCrc, crcOk ? "ok" : "BAD");
    if ((storedCrc >> 16) != 0) {
      Fail(Format("header CRC field 0x%08X: its upper half is not zero", storedCrc));
    } else if (!crcOk) {
      Fail(Format("header CRC stored 0x%08X, computed 0x%04X", storedCrc, computedCrc));
    }
    if (fileNum > PACKAGE_FILE_NUM_WITH_EXTENSION) {
      Fail(Format("ulFileNum %u is above 256", fileNum));
    }
    Descriptor slot255 = ReadDescriptor(p_ + kTableOffset + kSlotSize * PACKAGE_EXTENSION_SLOT);
    bool hasExtension = fileNum == PACKAGE_FILE_NUM_WITH_EXTENSION && slot255.id == PACKAGE_EXTENSION_ENTRY_ID;
    CheckMainTable(fileNum, hasExtension);
    if (hasExtension) {
      CheckExtension(slot255);
    } else {
      std::fprintf(out_, "extension: none\n");
    }
    CheckTotalLength();
  }
  for (const std::string &problem : problems_) std::fprintf(out_, "INCONSISTENT: %s\n", problem.c_str());
  if (problems_.empty()) {
    std::fprintf(out_, "result: consistent\n");
  } else {
    std::fprintf(out_, "result: %zu inconsistenc%s\n", problems_.size(), problems_.size() == 1 ? "y" : "ies");
  }
  return problems_;
}

}  // namespace

std::vector<std::string> InspectPackage(const std::vector<uint8_t> &package, const std::string &name, FILE *out) {
  return Inspector(package, out).Run(name);
}

}  // namespace ccpack
