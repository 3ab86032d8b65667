// Reading the extension of a package streamed from storage: the order of
// the checks, their messages, and reads that must fit the image buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "BootupCC/package/ExtensionCheck.h"
#include "PackageBuilder.h"
#include "PackageTestFixture.h"

namespace pkgtest {
namespace {

// Serves reads from a package file held in memory and records them.
struct FakeFile {
  const Package *package;
  std::vector<std::pair<uint32_t, uint32_t>> reads;
  int failAtRead = -1;

  static INT32 ReadAt(VOID *context, UINT32 offset, VOID *destination, UINT32 length) {
    FakeFile *file = static_cast<FakeFile *>(context);
    int index = int(file->reads.size());
    file->reads.emplace_back(offset, length);
    if (index == file->failAtRead) return -1;
    if (uint64_t(offset) + length > file->package->bytes.size()) return -1;
    std::memcpy(destination, file->package->bytes.data() + offset, length);
    return 0;
  }
};

class ExtensionCheckTest : public PackageTest {
 protected:
  // Loads the extension of p into a fresh image holding p's main header.
  int Load(const Package &p, uint32_t imageSize = 0) {
    image.assign(imageSize ? imageSize : p.Length(), 0xEE);
    std::memcpy(image.data(), p.bytes.data(), kMainHeaderSize);
    file = FakeFile{&p, {}, failAtRead};
    PACKAGE_FILE_READER reader = {FakeFile::ReadAt, &file};
    return PackageLoadExtension(reinterpret_cast<const LOAD_FILE_HEADER_S *>(image.data()), image.data(),
                                uint32_t(image.size()), &reader, &extDesc, &extCount);
  }

  std::vector<uint8_t> image;
  FakeFile file{nullptr, {}, -1};
  int failAtRead = -1;
  CONST LOAD_FILE_DESC_S *extDesc = nullptr;
  UINT32 extCount = 0;
};

Package TwoMemberExtension() {
  return BuildPackage({{kBaseBiosId, Body(40)}, {kRpsId, Body(100), true}, {kExtBiosId, Body(8), true}});
}

TEST_F(ExtensionCheckTest, ReadsHeaderThenTableToTheirFileOffsets) {
  Package p = TwoMemberExtension();
  ASSERT_EQ(Load(p), 0);
  uint32_t x = p.extensionOffset;
  ASSERT_EQ(file.reads.size(), 2u);
  EXPECT_EQ(file.reads[0], std::make_pair(x, kProgramHeaderSize));
  EXPECT_EQ(file.reads[1], std::make_pair(x + kProgramHeaderSize, 36u + 24u * 2));
  EXPECT_EQ(0, std::memcmp(image.data() + x, p.bytes.data() + x, kProgramHeaderSize + 36 + 48));
  EXPECT_EQ(static_cast<const void *>(extDesc), image.data() + x + 0x180);
  EXPECT_EQ(extCount, 2u);
  EXPECT_EQ(BYTE_SWAP32(extDesc[0].ulFileId), kRpsId);
  EXPECT_EQ(Console(), "");
}

TEST_F(ExtensionCheckTest, PackageWithoutExtensionReadsNothing) {
  Package p = BuildPackage({{kRpsId, Body(10)}});
  ASSERT_EQ(Load(p), 0);
  EXPECT_TRUE(file.reads.empty());
  EXPECT_EQ(extDesc, nullptr);
  EXPECT_EQ(extCount, 0u);
}

struct CheckCase {
  const char *name;
  std::function<void(Package &)> damage;
  std::function<std::string(const Package &)> message;
  size_t reads;
};

TEST_F(ExtensionCheckTest, ChecksInOrderWithTheirMessages) {
  const CheckCase cases[] = {
      {"wrong extension file ID",
       [](Package &p) {
         p.SetBe32(p.extensionOffset + 8, 0x12CE);
         p.FixProgramHeaderCrc(p.extensionOffset);
       },
       [](const Package &) { return std::string("\r\nThe dummy bin fileID 12ce is wrong!"); }, 1},
      {"wrong ID and wrong header CRC: the ID is reported", [](Package &p) { p.SetBe32(p.extensionOffset + 8, 7); },
       [](const Package &) { return std::string("\r\nThe dummy bin fileID 7 is wrong!"); }, 1},
      {"body CRC field differs from slot 255",
       [](Package &p) {
         p.SetBe32(Package::SlotOffset(255) + 12, 0x1234);
         p.FixHeaderCrc();
       },
       [](const Package &p) {
         return Format("\r\nThe dummy bin file CRC %x is wrong!It should be 1234.", p.Be32(p.extensionOffset + 0x158));
       },
       1},
      {"header CRC wrong",
       [](Package &p) { p.bytes[p.extensionOffset + 0x100] ^= 0x20; },
       [](const Package &p) {
         return Format("\r\nThe dummy bin head CRC %x is wrong!It should be %x.", p.Be32(p.extensionOffset + 4),
                       Crc16(p.bytes.data() + p.extensionOffset + 8, 344));
       },
       1},
      {"header CRC field with upper half set",
       [](Package &p) { p.SetBe32(p.extensionOffset + 4, p.Be32(p.extensionOffset + 4) | 0x10000); },
       [](const Package &p) {
         return Format("\r\nThe dummy bin head CRC %x is wrong!It should be %x.", p.Be32(p.extensionOffset + 4),
                       p.Be32(p.extensionOffset + 4) & 0xFFFF);
       },
       1},
      {"table count differs",
       [](Package &p) {
         p.SetBe32(p.extensionOffset + 0x160 + 4, 3);
         p.FixExtensionTableCrc();
       },
       [](const Package &) { return std::string("\r\nThe last file number 3 is wrong."); }, 2},
      {"table CRC wrong", [](Package &p) { p.bytes[p.extensionOffset + 0x180 + 30] ^= 1; },
       [](const Package &p) {
         uint32_t table = p.extensionOffset + 0x160;
         return Format("\r\nThe sub header file CRC %x is wrong.It should be %x!", p.Be32(table + 32 + 48),
                       Crc16(p.bytes.data() + table, 32 + 48));
       },
       2},
  };
  for (const CheckCase &c : cases) {
    SCOPED_TRACE(c.name);
    Package p = TwoMemberExtension();
    c.damage(p);
    ClearConsole();
    EXPECT_EQ(Load(p), -1);
    EXPECT_EQ(Console(), c.message(p));
    EXPECT_EQ(file.reads.size(), c.reads);
  }
}

TEST_F(ExtensionCheckTest, FailedReadEndsQuietly) {
  Package p = TwoMemberExtension();
  for (int failing = 0; failing < 2; ++failing) {
    SCOPED_TRACE(failing);
    failAtRead = failing;
    EXPECT_EQ(Load(p), -1);
    EXPECT_EQ(file.reads.size(), size_t(failing + 1));
  }
  EXPECT_EQ(Console(), "");
}

TEST_F(ExtensionCheckTest, ReadsThatWouldLeaveTheImageBufferAreRefused) {
  Package p = TwoMemberExtension();
  // A count whose table size wraps in 32 bits (24 x 0x0AAAAAAB = 2^32 + 8).
  p.SetBe32(p.extensionOffset + 0x10, 0x0AAAAAABu);
  p.FixProgramHeaderCrc(p.extensionOffset);
  EXPECT_EQ(Load(p), -1);
  EXPECT_EQ(Console(), "\r\nThe sub header file of 178956971 entries does not fit the package buffer.");
  EXPECT_EQ(file.reads.size(), 1u);

  Package q = TwoMemberExtension();
  ClearConsole();
  EXPECT_EQ(Load(q, q.extensionOffset + kProgramHeaderSize + 36 + 48 - 1), -1);
  EXPECT_EQ(Console(), "\r\nThe sub header file of 2 entries does not fit the package buffer.");

  Package r = TwoMemberExtension();
  r.SetBe32(Package::SlotOffset(255) + 4, 0xFFFFFF00u);
  r.FixHeaderCrc();
  ClearConsole();
  EXPECT_EQ(Load(r), -1);
  EXPECT_EQ(Console(), "\r\nThe dummy bin file at ffffff00 does not fit the package buffer.");
  EXPECT_TRUE(file.reads.empty());
}

}  // namespace
}  // namespace pkgtest
