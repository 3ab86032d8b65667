// getRPSFileAddr: result codes, console transcript, startup error 10, and
// the bounds on the member's offset and unprotected length.
#include <gtest/gtest.h>

#include <functional>

#include "BootupCC/package/RpsFile.h"
#include "PackageBuilder.h"
#include "PackageTestFixture.h"

namespace pkgtest {
namespace {

constexpr uint8_t kRpsCheckError = 10;

// What getRPSFileAddr prints from "File num" up to the last length line for
// an RPS file found at rpsOffset.
std::string FoundTrace(const Package &p, const uint8_t *buff, uint32_t fileLength, uint32_t rpsOffset,
                       const std::vector<uint32_t> &skippedIds) {
  uint32_t fileNum = p.Be32(4);
  std::string s = Format("\r\nGetFileDescription:ulFileNum = 0x%x\n\r", fileNum);
  s += Format("File num %d \r\n", fileNum);
  for (uint32_t id : skippedIds) s += Format("file id 0x%08x\r\n", id);
  s += Format("ulRPSLoadAddr = %x\r\n", uint32_t(uintptr_t(buff + rpsOffset)));
  if (uint64_t(rpsOffset) + kProgramHeaderSize > fileLength) return s;
  uint32_t length = p.Be32(rpsOffset + 0x154);
  s += Format("BYTE_SWAP32(pRPSFileHeader->ulLength) = %x\r\n", length);
  s += "sizeof( SProgramFileHeader_S ) = 160\r\n";
  s += Format("ulRPSLoadLen = %x\r\n", length + kProgramHeaderSize);
  s += Format("ulFileLength = %x\r\n", fileLength);
  s += Format("pBuff = %x\r\n", uint32_t(uintptr_t(buff)));
  s += Format("( ulFileLength - ( ulRPSLoadAddr - ( ULONG )pBuff ) ) = %x\r\n", fileLength - rpsOffset);
  return s;
}

class RpsFileTest : public PackageTest {};

TEST_F(RpsFileTest, FindsTheRpsFileAndPrintsItsLayout) {
  Package p = BuildPackage({{kBaseBiosId, Body(40)}, {kExtBiosId, Body(12)}, {kRpsId, Body(1000)}});
  EXPECT_EQ(getRPSFileAddr(p.Data(), p.Length()), UINTN(p.Data() + p.memberOffsets[2]));
  EXPECT_EQ(Console(), FoundTrace(p, p.Data(), p.Length(), p.memberOffsets[2], {kBaseBiosId, kExtBiosId}));
  EXPECT_EQ(RecordedError(), 0);
}

struct RpsCase {
  const char *name;
  std::vector<MemberSpec> members;
  std::function<void(Package &)> damage;
  UINTN result;  // RPS_FILE_* or kFound
  std::string lastMessage;
};

constexpr UINTN kFound = 0xF0F0;

TEST_F(RpsFileTest, ResultCodesMessagesAndStartupError) {
  const std::string bspFailed = "\r\nBSP_GetFileDescription............................failed\r\n";
  auto rpsHeader = [](Package &p) { return p.memberOffsets[0]; };
  const RpsCase cases[] = {
      {"body CRC field with upper half set", {{kRpsId, Body(300)}},
       [&](Package &p) { p.SetBe32(rpsHeader(p) + 0x158, p.Be32(rpsHeader(p) + 0x158) | 0xABCD0000u); }, kFound,
       ""},
      {"empty body", {{kRpsId, {}}}, [](Package &) {}, kFound, ""},
      {"header CRC wrong", {{kRpsId, Body(300)}}, [](Package &p) { p.bytes[0x40] ^= 0x80; }, RPS_FILE_NOT_FOUND,
       "\r\nGetFileDescription:Boot file CRC error.\n\r" + bspFailed},
      {"no RPS file", {{kBaseBiosId, Body(30)}}, [](Package &) {}, RPS_FILE_NOT_FOUND, "find no file match\n"},
      {"body one byte longer than the buffer", {{kRpsId, Body(300)}},
       [&](Package &p) { p.SetBe32(rpsHeader(p) + 0x154, 301); }, RPS_FILE_LENGTH_OR_CRC_ERROR,
       "Loading error in file Len. bin_crc = %x, calc_crc = 0\n"},
      {"body CRC wrong", {{kRpsId, Body(300)}}, [&](Package &p) { p.bytes[rpsHeader(p) + 0x160 + 299] ^= 1; },
       RPS_FILE_LENGTH_OR_CRC_ERROR, "Loading error in CRC checksum. bin_crc = %x, calc_crc = %x\n"},
      // ulLength + 352 is 2^32: in 32 bits it wraps to 0 and would pass the
      // length test, then the CRC would run 4 GiB past the buffer.
      {"length that wraps the load length", {{kRpsId, Body(300)}},
       [&](Package &p) { p.SetBe32(rpsHeader(p) + 0x154, 0xFFFFFEA0u); }, RPS_FILE_LENGTH_OR_CRC_ERROR,
       "Loading error in file Len. bin_crc = %x, calc_crc = 0\n"},
      {"length just below the wrap", {{kRpsId, Body(300)}},
       [&](Package &p) { p.SetBe32(rpsHeader(p) + 0x154, 0xFFFFFFFFu); }, RPS_FILE_LENGTH_OR_CRC_ERROR,
       "Loading error in file Len. bin_crc = %x, calc_crc = 0\n"},
      // The listed offset leaves no room for the program header: nothing of
      // it may be read.
      {"offset past the buffer", {{kRpsId, Body(300)}},
       [](Package &p) {
         p.SetBe32(Package::SlotOffset(0) + 4, 0xFFFFFF00u);
         p.FixHeaderCrc();
       },
       RPS_FILE_LENGTH_OR_CRC_ERROR, "Loading error in file offset. offset = ffffff00, ulFileLength = %x\n"},
      {"program header cut by the buffer end", {{kRpsId, Body(300)}},
       [](Package &p) {
         p.SetBe32(Package::SlotOffset(0) + 4, p.Length() - 351);
         p.FixHeaderCrc();
       },
       RPS_FILE_LENGTH_OR_CRC_ERROR, "Loading error in file offset. offset = %x, ulFileLength = %x\n"},
      {"extension table outside the package", {{kRpsId, Body(30), true}},
       [](Package &p) { p.SetBe32(p.extensionOffset + 0x10, 0x0AAAAAABu); }, RPS_FILE_NOT_FOUND,
       "\r\nGetFileDescription:Extension table of 178956971 entries lies outside the package.\n\r" + bspFailed},
      {"RPS only behind an extension entry that file num 255 hides", {{kRpsId, Body(30), true}},
       [](Package &p) {
         p.SetFileNum(255);
         p.FixHeaderCrc();
       },
       RPS_FILE_NOT_FOUND, "find no file match\n"},
  };
  for (const RpsCase &c : cases) {
    SCOPED_TRACE(c.name);
    Package p = BuildPackage(c.members);
    c.damage(p);
    ClearConsole();
    SearchSlot(0)[63] = 0;
    UINTN result = getRPSFileAddr(p.Data(), p.Length());
    uint32_t rps = p.memberOffsets[0];
    if (c.result == kFound) {
      EXPECT_EQ(result, UINTN(p.Data() + rps));
      EXPECT_EQ(RecordedError(), 0);
      continue;
    }
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(RecordedError(), kRpsCheckError);
    std::string expected = c.lastMessage;
    if (expected.find("CRC checksum") != std::string::npos) {
      expected = Format(expected.c_str(), p.Be32(rps + 0x158), Crc16(p.Data() + rps + 0x160, p.Be32(rps + 0x154)));
    } else if (expected.find("file Len") != std::string::npos) {
      expected = Format(expected.c_str(), p.Be32(rps + 0x158));
    } else if (expected.find("offset = %x") != std::string::npos) {
      expected = Format(expected.c_str(), p.Length() - 351, p.Length());
    } else if (expected.find("ulFileLength = %x") != std::string::npos) {
      expected = Format(expected.c_str(), p.Length());
    }
    ASSERT_GE(Console().size(), expected.size());
    EXPECT_EQ(Console().substr(Console().size() - expected.size()), expected);
  }
}

TEST_F(RpsFileTest, LengthErrorFullTranscript) {
  Package p = BuildPackage({{kRpsId, Body(300)}});
  uint32_t rps = p.memberOffsets[0];
  p.SetBe32(rps + 0x154, 0xFFFFFEA0u);
  EXPECT_EQ(getRPSFileAddr(p.Data(), p.Length()), RPS_FILE_LENGTH_OR_CRC_ERROR);
  EXPECT_EQ(Console(), FoundTrace(p, p.Data(), p.Length(), rps, {}) +
                           Format("Loading error in file Len. bin_crc = %x, calc_crc = 0\n", p.Be32(rps + 0x158)));
}

TEST_F(RpsFileTest, TakesTheExtensionEntryBeforeTheMainTable) {
  Package p = BuildPackage({{kRpsId, Body(50)}, {kBaseBiosId, Body(9), true}, {kRpsId, Body(70), true}});
  EXPECT_EQ(getRPSFileAddr(p.Data(), p.Length()), UINTN(p.Data() + p.memberOffsets[2]));
  // No main slot is scanned, so no "file id" lines.
  EXPECT_EQ(Console(), FoundTrace(p, p.Data(), p.Length(), p.memberOffsets[2], {}));
}

TEST_F(RpsFileTest, FileNum256WithoutExtensionScansSlot255) {
  Package p = BuildPackage({{kBaseBiosId, Body(20)}, {kRpsId, Body(40)}});
  // Move the RPS descriptor from slot 1 to slot 255; 256 slots in use.
  uint32_t rps = p.memberOffsets[1];
  p.SetSlot(1, 0, 0, 0);
  p.SetSlot(255, kRpsId, rps, kProgramHeaderSize + 40);
  p.SetFileNum(256);
  p.FixHeaderCrc();
  EXPECT_EQ(getRPSFileAddr(p.Data(), p.Length()), UINTN(p.Data() + rps));
}

TEST_F(RpsFileTest, ConfiguredRpsCodeSelectsTheFile) {
  gRpsFileId = 0x7F000005;  // only the low 24 bits count
  Package p = BuildPackage({{kRpsId, Body(20)}, {0x01000005, Body(30)}});
  EXPECT_EQ(getRPSFileAddr(p.Data(), p.Length()), UINTN(p.Data() + p.memberOffsets[1]));
}

}  // namespace
}  // namespace pkgtest
