// GetExtFileDescription, the member lookup and the expected package length.
#include <gtest/gtest.h>

#include <functional>

#include "BootupCC/package/PackageLength.h"
#include "BootupCC/package/PackageLookup.h"
#include "PackageBuilder.h"
#include "PackageTestFixture.h"

namespace pkgtest {
namespace {

class PackageLookupTest : public PackageTest {
 protected:
  int Describe(Package &p, uint32_t length) {
    return GetExtFileDescription(p.Data(), length, &header, &extDesc, &extCount);
  }

  CONST LOAD_FILE_HEADER_S *header = nullptr;
  CONST LOAD_FILE_DESC_S *extDesc = nullptr;
  UINT32 extCount = 77;
};

std::string FileNumLine(uint32_t fileNum) { return Format("\r\nGetFileDescription:ulFileNum = 0x%x\n\r", fileNum); }

TEST_F(PackageLookupTest, PlainPackageHasNoExtension) {
  Package p = BuildPackage({{kRpsId, Body(100)}, {kBaseBiosId, Body(40)}});
  ASSERT_EQ(Describe(p, p.Length()), 0);
  EXPECT_EQ(static_cast<const void *>(header), p.Data());
  EXPECT_EQ(extDesc, nullptr);
  EXPECT_EQ(extCount, 0u);
  EXPECT_EQ(Console(), FileNumLine(2));
}

TEST_F(PackageLookupTest, ExtensionDescriptorsFollowTheExtensionFileHeader) {
  Package p = BuildPackage({{kBaseBiosId, Body(40)}, {kRpsId, Body(100), true}, {kExtBiosId, Body(8), true}});
  ASSERT_EQ(Describe(p, p.Length()), 0);
  EXPECT_EQ(static_cast<const void *>(extDesc), p.Data() + p.extensionOffset + 0x180);
  EXPECT_EQ(extCount, 2u);
  EXPECT_EQ(BYTE_SWAP32(extDesc[1].ulFileId), kExtBiosId);
  EXPECT_EQ(Console(), FileNumLine(256));
}

struct DescribeCase {
  const char *name;
  std::function<void(Package &)> damage;
  std::function<uint32_t(const Package &)> length;  // null: the whole package
  int result;
  bool extension;
  std::string console;
};

TEST_F(PackageLookupTest, HeaderAndExtensionCases) {
  const std::string crcError = "\r\nGetFileDescription:Boot file CRC error.\n\r";
  const DescribeCase cases[] = {
      {"header CRC wrong", [](Package &p) { p.bytes[0x30] ^= 1; }, nullptr, -1, false, crcError},
      {"CRC field with upper half set", [](Package &p) { p.SetBe32(0x1820, p.Be32(0x1820) | 0x10000); }, nullptr,
       -1, false, crcError},
      {"file num 255 with extension entry: no extension",
       [](Package &p) {
         p.SetFileNum(255);
         p.FixHeaderCrc();
       },
       nullptr, 0, false, FileNumLine(255)},
      {"file num 256 without extension ID: no extension",
       [](Package &p) {
         p.SetBe32(Package::SlotOffset(255), kRpsId);
         p.FixHeaderCrc();
       },
       nullptr, 0, false, FileNumLine(256)},
      {"buffer shorter than the main header", [](Package &) {}, [](const Package &) { return kMainHeaderSize - 1; },
       -1, false, "\r\nGetFileDescription:Boot file length 0x1823 is shorter than its header.\n\r"},
      {"extension file outside the package",
       [](Package &p) {
         p.SetBe32(Package::SlotOffset(255) + 4, 0xFFFFFF00u);
         p.FixHeaderCrc();
       },
       nullptr, -1, false,
       FileNumLine(256) + "\r\nGetFileDescription:Extension file at 0xffffff00 lies outside the package.\n\r"},
      {"extension count beyond the package",
       [](Package &p) { p.SetBe32(p.extensionOffset + 0x10, 0x0AAAAAABu); }, nullptr, -1, false,
       FileNumLine(256) + "\r\nGetFileDescription:Extension table of 178956971 entries lies outside the package.\n\r"},
      {"extension count one past the package end",
       [](Package &p) { p.SetBe32(p.extensionOffset + 0x10, 3); },
       [](const Package &p) { return p.extensionOffset + 0x180 + 24 * 3 - 1; }, -1, false,
       FileNumLine(256) + "\r\nGetFileDescription:Extension table of 3 entries lies outside the package.\n\r"},
      {"extension count exactly at the package end", [](Package &p) { p.SetBe32(p.extensionOffset + 0x10, 3); },
       [](const Package &p) { return p.extensionOffset + 0x180 + 24 * 3; }, 0, true, FileNumLine(256)},
  };
  for (const DescribeCase &c : cases) {
    SCOPED_TRACE(c.name);
    Package p = BuildPackage({{kRpsId, Body(64), true}, {kBaseBiosId, Body(500)}});
    c.damage(p);
    ClearConsole();
    extDesc = nullptr;
    extCount = 77;
    EXPECT_EQ(Describe(p, c.length ? c.length(p) : p.Length()), c.result);
    EXPECT_EQ(Console(), c.console);
    if (c.result == 0) {
      EXPECT_EQ(extDesc != nullptr, c.extension);
    }
    if (!c.extension) {
      EXPECT_EQ(extCount, 0u);
    }
  }
}

TEST_F(PackageLookupTest, NullArgumentsAreRefused) {
  Package p = BuildPackage({{kRpsId, Body(4)}});
  EXPECT_EQ(GetExtFileDescription(nullptr, p.Length(), &header, &extDesc, &extCount), -1);
  EXPECT_EQ(GetExtFileDescription(p.Data(), p.Length(), nullptr, &extDesc, &extCount), -1);
  EXPECT_EQ(GetExtFileDescription(p.Data(), p.Length(), &header, nullptr, &extCount), -1);
  EXPECT_EQ(GetExtFileDescription(p.Data(), p.Length(), &header, &extDesc, nullptr), -1);
  std::string para = "\n\rGetExtFileDescription:para error.\n\r";
  EXPECT_EQ(Console(), para + para + para + para);
}

TEST_F(PackageLookupTest, ExtensionMatchWinsOverMainTable) {
  Package p = BuildPackage({{kRpsId, Body(10)}, {kRpsId, Body(20), true}});
  ASSERT_EQ(Describe(p, p.Length()), 0);
  CONST LOAD_FILE_DESC_S *found = PackageFindFile(header, extDesc, extCount, kRpsId, FALSE);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(BYTE_SWAP32(found->ulFileOffset), p.memberOffsets[1]);
}

TEST_F(PackageLookupTest, MainScanStopsAtSlot255WhateverTheFileNum) {
  Package p = BuildPackage({{kBaseBiosId, Body(10)}});
  p.SetFileNum(0xFFFFFFFFu);
  p.FixHeaderCrc();
  ASSERT_EQ(Describe(p, p.Length()), 0);
  ClearConsole();
  EXPECT_EQ(PackageFindFile(header, extDesc, extCount, kRpsId, TRUE), nullptr);
  std::string expected = Format("file id 0x%08x\r\n", kBaseBiosId);
  for (int slot = 1; slot < 256; ++slot) expected += "file id 0x00000000\r\n";
  EXPECT_EQ(Console(), expected);
}

TEST(PackageExpectedLength, SumsAllSlotsWithoutWrapping) {
  Package p = BuildPackage({{kRpsId, Body(100)}, {kBaseBiosId, Body(7), true}});
  EXPECT_EQ(PackageExpectedLength(reinterpret_cast<const LOAD_FILE_HEADER_S *>(p.Data())), p.Length());

  for (uint32_t slot = 0; slot < 256; ++slot) p.SetSlot(slot, 0, 0, 0xFFFFFFFFu);
  EXPECT_EQ(PackageExpectedLength(reinterpret_cast<const LOAD_FILE_HEADER_S *>(p.Data())),
            0x1824ull + 256ull * 0xFFFFFFFFull);
  // Lengths that add up to the file size only modulo 2^32 do not match it.
  p.SetSlot(0, 0, 0, 0x80000000u);
  p.SetSlot(1, 0, 0, 0x80000000u);
  for (uint32_t slot = 2; slot < 256; ++slot) p.SetSlot(slot, 0, 0, 0);
  EXPECT_EQ(PackageExpectedLength(reinterpret_cast<const LOAD_FILE_HEADER_S *>(p.Data())), 0x100001824ull);
}

}  // namespace
}  // namespace pkgtest
