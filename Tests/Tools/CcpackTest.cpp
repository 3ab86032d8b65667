// ccpack as users run it: packages built from small members are read back
// byte by byte the way the board reads them, compressed bodies are expanded
// the way the board's decompression front end expands them, and `info`
// must name every broken rule.
#include <gtest/gtest.h>

#include "Support/RunProgram.h"
#include <lzma.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

const uint32_t kHeaderSize = 0x1824;
const uint32_t kProgramHeader = 352;
const uint32_t kRpsId = 0x01000003;
const uint32_t kBaseBiosId = 0x05000001;
const uint32_t kExtBiosId = 0x06000002;
const uint32_t kBoardTypeId = 0x09000001;

using simtest::RunResult;

RunResult RunCcpack(const std::string &args) { return simtest::RunProgram(CCPACK_PATH, args); }

// CRC-16/XMODEM bit by bit, independent of the firmware's table.
uint16_t ReferenceCrc16(const uint8_t *data, size_t length) {
  uint16_t crc = 0;
  for (size_t i = 0; i < length; i++) {
    crc ^= uint16_t(data[i] << 8);
    for (int bit = 0; bit < 8; bit++) crc = uint16_t(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return crc;
}

uint32_t Be32(const Bytes &b, uint64_t at) {
  return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | uint32_t(b[at + 3]);
}
void PutBe32(Bytes *b, uint64_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) (*b)[at + i] = uint8_t(v >> (24 - 8 * i));
}
uint32_t Le32(const Bytes &b, uint64_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
bool AllZero(const Bytes &b, uint64_t from, uint64_t to) {
  for (uint64_t i = from; i < to; i++) {
    if (b[i] != 0) return false;
  }
  return true;
}

struct Slot {
  uint32_t id, offset, length, crc;
};
Slot SlotAt(const Bytes &b, uint64_t at) { return {Be32(b, at), Be32(b, at + 4), Be32(b, at + 8), Be32(b, at + 12)}; }
Slot MainSlot(const Bytes &b, uint32_t index) { return SlotAt(b, 0x20 + 24 * index); }

Bytes BodyOf(const Bytes &package, uint32_t memberOffset) {
  uint32_t length = Be32(package, memberOffset + 0x154);
  auto start = package.begin() + memberOffset + kProgramHeader;
  return Bytes(start, start + length);
}

// Deterministic test data.
Bytes TextData(size_t size) {
  static const char *const kWords[] = {"package ", "header ", "slot ", "member ", "crc ", "boot ", "flash ", "\n"};
  Bytes out;
  uint32_t state = 12345;
  while (out.size() < size) {
    state = state * 1103515245u + 12345u;
    const char *word = kWords[(state >> 16) % 8];
    out.insert(out.end(), word, word + std::strlen(word));
  }
  out.resize(size);
  return out;
}
Bytes NoiseData(size_t size) {
  Bytes out(size);
  uint32_t state = 777;
  for (uint8_t &b : out) {
    state = state * 1664525u + 1013904223u;
    b = uint8_t(state >> 24);
  }
  return out;
}

struct PackageMemberView {
  uint32_t id;
  bool inExtension;
  uint32_t offset;
};

// Walks a package as the board does (main header, then the extension
// validated step by step as the boot-file reader does), checking every
// length and CRC. Returns the members in table order.
std::vector<PackageMemberView> WalkPackage(const Bytes &p) {
  std::vector<PackageMemberView> members;
  EXPECT_GE(p.size(), kHeaderSize);
  if (p.size() < kHeaderSize) return members;
  EXPECT_EQ(Be32(p, 0x1820), ReferenceCrc16(p.data(), 0x1820)) << "main header CRC, upper half zero";
  uint64_t sum = 0;
  for (uint32_t i = 0; i < 256; i++) sum += MainSlot(p, i).length;
  EXPECT_EQ(kHeaderSize + sum, p.size()) << "0x1824 + sum of ulFileLen";

  auto checkMember = [&](const Slot &s, bool inExtension) {
    EXPECT_LE(uint64_t(s.offset) + s.length, p.size());
    if (uint64_t(s.offset) + s.length > p.size() || s.length < kProgramHeader) return;
    EXPECT_EQ(Be32(p, s.offset + 0x008), s.id) << "program header ID";
    uint32_t bodyLength = Be32(p, s.offset + 0x154);
    EXPECT_EQ(bodyLength + kProgramHeader, s.length);
    EXPECT_EQ(Be32(p, s.offset + 0x158), ReferenceCrc16(p.data() + s.offset + kProgramHeader, bodyLength));
    EXPECT_EQ(Be32(p, s.offset + 0x004), ReferenceCrc16(p.data() + s.offset + 8, 344)) << "program header CRC";
    EXPECT_TRUE(AllZero(p, s.offset, s.offset + 4));
    EXPECT_TRUE(AllZero(p, s.offset + 0x14, s.offset + 0x154)) << "unread program header bytes are zero";
    members.push_back({s.id, inExtension, s.offset});
  };

  uint32_t fileNum = Be32(p, 0x04);
  Slot entry = MainSlot(p, 255);
  bool hasExtension = fileNum == 256 && entry.id == 0xABEF;
  uint32_t mainSlots = hasExtension ? 255 : fileNum;
  for (uint32_t i = 0; i < mainSlots; i++) {
    Slot s = MainSlot(p, i);
    if (s.id == 0 && s.length == 0) continue;
    checkMember(s, false);
  }
  if (!hasExtension) return members;

  // Step by step as the boot-file reader validates an extension.
  uint64_t e = entry.offset;
  EXPECT_EQ(Be32(p, e + 0x008), 0x12CDu);
  EXPECT_EQ(Be32(p, e + 0x158), entry.crc);
  EXPECT_EQ(Be32(p, e + 0x004), ReferenceCrc16(p.data() + e + 8, 344));
  uint32_t count = Be32(p, e + 0x010);
  EXPECT_EQ(Be32(p, e + kProgramHeader + 4), count);
  uint64_t crcAt = e + kProgramHeader + 32 + 24ull * count;
  EXPECT_EQ(Be32(p, crcAt), ReferenceCrc16(p.data() + e + kProgramHeader, 32 + 24 * count));
  EXPECT_EQ(Be32(p, e + 0x154), 36 + 24 * count) << "extension body is the table";
  EXPECT_EQ(uint64_t(entry.offset) + entry.length, p.size()) << "slot 255 covers everything behind it";
  for (uint32_t i = 0; i < count; i++) checkMember(SlotAt(p, e + 0x180 + 24 * i), true);
  return members;
}

class CcpackTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/ccpack-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  std::string Path(const std::string &name) const { return dir + "/" + name; }
  std::string Write(const std::string &name, const Bytes &data) const {
    std::ofstream out(Path(name), std::ios::binary);
    out.write(reinterpret_cast<const char *>(data.data()), std::streamsize(data.size()));
    return Path(name);
  }
  Bytes Read(const std::string &name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // Builds OUT from the arguments and fails the test unless ccpack says 0.
  Bytes Build(const std::string &args, const std::string &out = "p.cc") {
    RunResult r = RunCcpack("build -o " + Path(out) + " " + args);
    EXPECT_EQ(r.exitCode, 0) << args;
    return Read(out);
  }

  std::string dir;
};

TEST(CcpackCrcTest, ReferenceCrcIsXmodem) {
  const char *check = "123456789";
  EXPECT_EQ(ReferenceCrc16(reinterpret_cast<const uint8_t *>(check), 9), 0x31C3);
}

TEST_F(CcpackTest, PlainPackageRoundTrip) {
  Bytes os = TextData(5000), ext = NoiseData(777), logic = NoiseData(333), cpld = TextData(100);
  std::string args = "rps=" + Write("os", os) + " extbios=" + Write("ext", ext) + " fpga:0x10000011/v7=" +
                     Write("logic", logic) + " cpld:0x1100000C/v0x21=" + Write("cpld", cpld) +
                     " 0x10000007=" + Write("raw", os) + " boardtype=1452,1461,0x5c4";
  Bytes p = Build(args);

  EXPECT_EQ(Be32(p, 0x04), 6u);
  EXPECT_TRUE(AllZero(p, 0, 4));
  EXPECT_TRUE(AllZero(p, 8, 0x20));
  const uint32_t ids[] = {kRpsId, kExtBiosId, 0x10000011, 0x1100000C, 0x10000007, kBoardTypeId};
  const Bytes *bodies[] = {&os, &ext, &logic, &cpld, &os};
  uint32_t expectedOffset = kHeaderSize;
  for (uint32_t i = 0; i < 6; i++) {
    Slot s = MainSlot(p, i);
    EXPECT_EQ(s.id, ids[i]);
    EXPECT_EQ(s.offset, expectedOffset) << "members lie one after another";
    EXPECT_TRUE(AllZero(p, 0x20 + 24 * i + 16, 0x20 + 24 * i + 24));
    if (i < 5) {
      EXPECT_EQ(BodyOf(p, s.offset), *bodies[i]);
    }
    EXPECT_EQ(Be32(p, s.offset + 0x15C), 0u) << "stored uncompressed";
    expectedOffset += s.length;
  }
  for (uint32_t i = 6; i < 256; i++) EXPECT_TRUE(AllZero(p, 0x20 + 24 * i, 0x20 + 24 * i + 24));
  EXPECT_EQ(WalkPackage(p).size(), 6u);

  EXPECT_EQ(p[MainSlot(p, 2).offset + 0x00F], 7) << "logic version byte";
  EXPECT_EQ(Be32(p, MainSlot(p, 3).offset + 0x00C), 0x21u);
  Bytes boards = BodyOf(p, MainSlot(p, 5).offset);
  ASSERT_EQ(boards.size(), 12u);
  EXPECT_EQ(Le32(boards, 0), 1452u);
  EXPECT_EQ(Le32(boards, 4), 1461u);
  EXPECT_EQ(Le32(boards, 8), 1476u);

  RunResult info = RunCcpack("info " + Path("p.cc"));
  EXPECT_EQ(info.exitCode, 0) << info.out;
  EXPECT_NE(info.out.find("header: ulFileNum 6, CRC stored"), std::string::npos) << info.out;
  for (const char *name : {"rps", "extbios", "fpga", "logic", "boardtype"}) {
    EXPECT_NE(info.out.find(name), std::string::npos) << name;
  }
  EXPECT_NE(info.out.find("0x00000021"), std::string::npos) << "version word shown";
  EXPECT_EQ(info.out.find("INCONSISTENT"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("\nresult: consistent\n"), std::string::npos);
}

struct ExtensionCase {
  const char *name;
  const char *buildOptions;
  const char *baseBiosModifier;
  size_t extraMembers;  // raw members 0x20000000.. appended
  size_t expectedMain;
};
void PrintTo(const ExtensionCase &c, std::ostream *os) { *os << c.name; }


class CcpackExtensionTest : public CcpackTest, public testing::WithParamInterface<ExtensionCase> {};

TEST_P(CcpackExtensionTest, ExtensionTableRoundTrip) {
  const ExtensionCase &c = GetParam();
  std::string args = std::string(c.buildOptions) + " rps=" + Write("os", TextData(900)) + " basebios" +
                     c.baseBiosModifier + "=" + Write("b", NoiseData(50)) + " boardtype=1452";
  std::string small = Write("small", TextData(40));
  for (size_t i = 0; i < c.extraMembers; i++) args += " " + std::to_string(0x20000000 + i) + "=" + small;
  Bytes p = Build(args);

  std::vector<PackageMemberView> members = WalkPackage(p);
  size_t total = 3 + c.extraMembers;
  ASSERT_EQ(members.size(), total);
  size_t mainCount = 0;
  for (const PackageMemberView &m : members) mainCount += m.inExtension ? 0 : 1;
  EXPECT_EQ(mainCount, c.expectedMain);
  EXPECT_EQ(Be32(p, 0x04), 256u);
  EXPECT_EQ(MainSlot(p, 255).id, 0xABEFu);
  // The extension file follows the main-table members.
  uint32_t afterMain = kHeaderSize;
  for (uint32_t i = 0; i < 255; i++) afterMain += MainSlot(p, i).length;
  EXPECT_EQ(MainSlot(p, 255).offset, afterMain);

  RunResult info = RunCcpack("info " + Path("p.cc"));
  EXPECT_EQ(info.exitCode, 0) << info.out;
  EXPECT_NE(info.out.find("extension file: ID 0x000012CD, ulExtFileNum " + std::to_string(total - c.expectedMain)),
            std::string::npos)
      << info.out;
  EXPECT_NE(info.out.find("\nresult: consistent\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Layouts, CcpackExtensionTest,
                         testing::Values(ExtensionCase{"AllByOption", "--extension", "", 0, 0},
                                         ExtensionCase{"OneMarked", "", "/ext", 0, 2},
                                         ExtensionCase{"MoreThan255", "", "", 297, 255}),
                         [](const testing::TestParamInfo<ExtensionCase> &info) { return info.param.name; });

TEST_F(CcpackTest, MoreThan255MembersKeepGivenOrder) {
  std::string args;
  for (int i = 0; i < 300; i++) args += " " + std::to_string(0x30000000 + i) + "=" + Write("m" + std::to_string(i % 7), TextData(10 + i % 7));
  Bytes p = Build(args);
  std::vector<PackageMemberView> members = WalkPackage(p);
  ASSERT_EQ(members.size(), 300u);
  for (int i = 0; i < 300; i++) {
    EXPECT_EQ(members[i].id, uint32_t(0x30000000 + i));
    EXPECT_EQ(members[i].inExtension, i >= 255);
  }
}

struct DefectCase {
  const char *name;
  const char *buildOptions;
  std::vector<std::string> expected;  // each must appear as an INCONSISTENT line
};
void PrintTo(const DefectCase &c, std::ostream *os) { *os << c.name; }


class CcpackDefectTest : public CcpackTest, public testing::WithParamInterface<DefectCase> {};

TEST_P(CcpackDefectTest, InfoNamesTheDefect) {
  const DefectCase &c = GetParam();
  std::string members =
      " rps=" + Write("os", TextData(3000)) + " basebios=" + Write("b", NoiseData(100)) + " boardtype=1452";
  Build(std::string(c.buildOptions) + members);
  RunResult info = RunCcpack("info " + Path("p.cc"));
  EXPECT_EQ(info.exitCode, 1) << info.out;
  size_t lines = 0;
  for (size_t at = info.out.find("INCONSISTENT: "); at != std::string::npos; at = info.out.find("INCONSISTENT: ", at + 1)) {
    lines++;
  }
  EXPECT_EQ(lines, c.expected.size()) << info.out;
  for (const std::string &text : c.expected) {
    EXPECT_NE(info.out.find("INCONSISTENT: " + text), std::string::npos) << text << "\n" << info.out;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Flags, CcpackDefectTest,
    testing::Values(
        DefectCase{"HeaderCrc", "--break header-crc", {"header CRC stored"}},
        DefectCase{"MemberCrc", "--break member-crc:0x05000001", {"slot 1 (0x05000001 basebios): body CRC stored"}},
        DefectCase{"MemberCrcInExtension",
                   "--extension --break member-crc:0x09000001",
                   {"extension descriptor 2 (0x09000001 boardtype): body CRC stored"}},
        DefectCase{"ExtTableCrc", "--extension --break ext-table-crc", {"extension table CRC stored"}},
        DefectCase{"LengthOffByOne",
                   "--break length-off-by-one",
                   {"slot 0 (0x01000003 rps): ulFileLen", "package length: 0x1824 + sum of ulFileLen"}},
        DefectCase{"LengthOffByOneAllInExtension",
                   "--extension --break length-off-by-one",
                   {"package length: 0x1824 + sum of ulFileLen"}},
        DefectCase{"TwoAtOnce",
                   "--break header-crc --break member-crc:0x01000003",
                   {"header CRC stored", "slot 0 (0x01000003 rps): body CRC stored"}}),
    [](const testing::TestParamInfo<DefectCase> &info) { return info.param.name; });

// Damage ccpack cannot make on purpose: info must still name it.
struct DamageCase {
  const char *name;
  std::function<void(Bytes *)> damage;  // applied to an extension package
  std::string expected;
};
void PrintTo(const DamageCase &c, std::ostream *os) { *os << c.name; }


void ResealHeader(Bytes *p) { PutBe32(p, 0x1820, ReferenceCrc16(p->data(), 0x1820)); }
uint32_t ExtensionOffset(const Bytes &p) { return MainSlot(p, 255).offset; }

class CcpackDamageTest : public CcpackTest, public testing::WithParamInterface<DamageCase> {};

TEST_P(CcpackDamageTest, InfoNamesTheDamage) {
  Build("rps=" + Write("os", TextData(2000)) + " basebios/ext=" + Write("b", NoiseData(64)));
  Bytes p = Read("p.cc");
  GetParam().damage(&p);
  Write("d.cc", p);
  RunResult info = RunCcpack("info " + Path("d.cc"));
  EXPECT_EQ(info.exitCode, 1) << info.out;
  EXPECT_NE(info.out.find("INCONSISTENT: " + GetParam().expected), std::string::npos) << info.out;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, CcpackDamageTest,
    testing::Values(
        DamageCase{"HeaderCrcUpperHalf",
                   [](Bytes *p) { (*p)[0x1820] = 1; },
                   "header CRC field 0x01"},
        DamageCase{"FileNumAbove256",
                   [](Bytes *p) {
                     PutBe32(p, 4, 257);
                     ResealHeader(p);
                   },
                   "ulFileNum 257 is above 256"},
        DamageCase{"ExtensionFileId",
                   [](Bytes *p) { PutBe32(p, ExtensionOffset(*p) + 8, 0x12CE); },
                   "extension file ID 0x000012CE"},
        DamageCase{"ExtensionEntryCrc",
                   [](Bytes *p) {
                     PutBe32(p, 0x20 + 24 * 255 + 12, Be32(*p, 0x20 + 24 * 255 + 12) ^ 0x10);
                     ResealHeader(p);
                   },
                   "extension entry CRC"},
        DamageCase{"ExtensionHeaderCrc",
                   [](Bytes *p) { (*p)[ExtensionOffset(*p) + 0x20] ^= 1; },
                   "extension file header CRC stored"},
        DamageCase{"ExtensionCountDiffers",
                   [](Bytes *p) { PutBe32(p, ExtensionOffset(*p) + kProgramHeader + 4, 2); },
                   "extension table count 2 differs from ulExtFileNum 1"},
        DamageCase{"MemberOffsetPastEnd",
                   [](Bytes *p) {
                     PutBe32(p, 0x20 + 4, uint32_t(p->size()));
                     ResealHeader(p);
                   },
                   "slot 0 (0x01000003 rps): program header at"},
        DamageCase{"BodyLengthPastEnd",
                   [](Bytes *p) { PutBe32(p, kHeaderSize + 0x154, 0xFFFFFFF0u); },
                   "slot 0 (0x01000003 rps): body of 0xFFFFFFF0 bytes runs past the end"},
        DamageCase{"Truncated", [](Bytes *p) { p->pop_back(); }, "package length"},
        DamageCase{"ShorterThanHeader", [](Bytes *p) { p->resize(0x1000); }, "the file is shorter than the main header"}),
    [](const testing::TestParamInfo<DamageCase> &info) { return info.param.name; });

// --- Expansion the way the board's decompression front end does it. ---

// inflate: byte 0 is 8, a zlib stream from byte 1, told 3 bytes less than
// the whole so that it stops inside the trailer.
bool BoardInflate(const Bytes &body, size_t expected, Bytes *out) {
  if (body.size() < 4 || body[0] != 8) return false;
  z_stream stream{};
  if (inflateInit2(&stream, 15) != Z_OK) return false;
  out->assign(expected + 64, 0);
  stream.next_in = const_cast<Bytef *>(body.data() + 1);
  stream.avail_in = uInt(body.size() - 3);
  stream.next_out = out->data();
  stream.avail_out = uInt(out->size());
  int result = inflate(&stream, Z_NO_FLUSH);
  out->resize(stream.total_out);
  inflateEnd(&stream);
  return result == Z_OK || result == Z_STREAM_END;
}

// LZMA "alone": properties byte, dictionary size, 64-bit size, stream from
// byte 13; decoded for exactly the stored size.
bool BoardLzma(const Bytes &body, Bytes *out) {
  if (body.size() < 13 || body[0] >= 225) return false;
  uint64_t size = 0;
  for (int i = 0; i < 8; i++) size |= uint64_t(body[5 + i]) << (8 * i);
  if ((size >> 32) != 0) return false;
  lzma_options_lzma options{};
  options.lc = body[0] % 9;
  options.lp = (body[0] % 45) / 9;
  options.pb = body[0] / 45;
  options.dict_size = Le32(body, 1);
  if (options.dict_size < 4096) options.dict_size = 4096;
  lzma_set_ext_size(options, size);
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  lzma_stream stream = LZMA_STREAM_INIT;
  if (lzma_raw_decoder(&stream, filters) != LZMA_OK) return false;
  out->assign(size_t(size), 0);
  stream.next_in = body.data() + 13;
  stream.avail_in = body.size() - 13;
  stream.next_out = out->data();
  stream.avail_out = out->size();
  lzma_ret result = lzma_code(&stream, LZMA_FINISH);
  bool ok = (result == LZMA_STREAM_END || result == LZMA_OK) && stream.avail_out == 0;
  lzma_end(&stream);
  return ok;
}

// The LZW decoder of the board, step by step: groups of code-width bytes,
// the rest of a group skipped when the width grows or after a clear code.
bool BoardLzw(const Bytes &in, size_t maxOut, Bytes *out) {
  if (in.size() < 3 || in[0] != 0x1F || in[1] != 0x9D) return false;
  const uint32_t maxBits = in[2] & 0x1F;
  const bool blockMode = (in[2] & 0x80) != 0;
  if (maxBits > 16) return false;
  const uint32_t maxMaxCode = 1u << maxBits;
  std::vector<uint16_t> prefix(65536, 0);
  std::vector<uint8_t> suffix(65536);
  for (uint32_t i = 0; i < 256; i++) suffix[i] = uint8_t(i);
  uint32_t bits = 9, maxCode = 511, freeCode = blockMode ? 257 : 256;
  size_t pos = 3;
  uint8_t group[16];
  uint32_t groupBits = 0, offset = 0;
  bool clearPending = false;
  auto nextCode = [&]() -> int64_t {
    if (clearPending || offset >= groupBits || freeCode > maxCode) {
      if (freeCode > maxCode) {
        bits++;
        maxCode = bits == maxBits ? maxMaxCode : (1u << bits) - 1;
      }
      if (clearPending) {
        bits = 9;
        maxCode = 511;
        clearPending = false;
      }
      size_t take = std::min<size_t>(bits, in.size() - pos);
      if (take == 0) return -1;
      std::memcpy(group, in.data() + pos, take);
      pos += take;
      offset = 0;
      groupBits = uint32_t(take * 8) - (bits - 1);
    }
    uint32_t code = 0;
    for (uint32_t b = 0; b < bits; b++) code |= uint32_t((group[(offset + b) / 8] >> ((offset + b) % 8)) & 1) << b;
    offset += bits;
    return code;
  };
  out->clear();
  int64_t first = nextCode();
  if (first < 0 || first > 255) return false;
  uint32_t oldCode = uint32_t(first);
  uint8_t finChar = uint8_t(first);
  out->push_back(finChar);
  std::vector<uint8_t> stack;
  for (int64_t c = nextCode(); c >= 0; c = nextCode()) {
    uint32_t code = uint32_t(c);
    if (code == 256 && blockMode) {
      freeCode = 256;
      clearPending = true;
      c = nextCode();
      if (c < 0) break;
      code = uint32_t(c);
    }
    uint32_t inCode = code;
    if (code > freeCode) return false;  // never written by a sound encoder
    if (code == freeCode) {
      stack.push_back(finChar);
      code = oldCode;
    }
    while (code >= 256) {
      stack.push_back(suffix[code]);
      code = prefix[code];
    }
    finChar = suffix[code];
    stack.push_back(finChar);
    while (!stack.empty()) {
      if (out->size() >= maxOut) return false;
      out->push_back(stack.back());
      stack.pop_back();
    }
    if (freeCode < maxMaxCode) {
      prefix[freeCode] = uint16_t(oldCode);
      suffix[freeCode] = finChar;
      freeCode++;
    }
    oldCode = inCode;
  }
  return true;
}

struct CompressionCase {
  const char *name;
  const char *modifier;
  uint32_t type;
  std::function<Bytes()> data;
};
void PrintTo(const CompressionCase &c, std::ostream *os) { *os << c.name; }


class CcpackCompressionTest : public CcpackTest, public testing::WithParamInterface<CompressionCase> {};

TEST_P(CcpackCompressionTest, BodyExpandsAsTheBoardReadsIt) {
  const CompressionCase &c = GetParam();
  Bytes original = c.data();
  Bytes p = Build(std::string("rps/") + c.modifier + "=" + Write("os", original));
  ASSERT_EQ(WalkPackage(p).size(), 1u);
  uint32_t member = MainSlot(p, 0).offset;
  EXPECT_EQ(Be32(p, member + 0x15C), c.type) << "compression type field";
  Bytes body = BodyOf(p, member);
  Bytes expanded;
  switch (c.type) {
    case 1:
      ASSERT_TRUE(BoardInflate(body, original.size(), &expanded));
      break;
    case 2:
      ASSERT_TRUE(BoardLzw(body, original.size(), &expanded));
      EXPECT_EQ(body[2], std::string(c.modifier) == "lzw" ? 0x90 : 0x80 | std::stoi(c.modifier + 3));
      break;
    case 3:
      EXPECT_EQ(body[0], 0x5D) << "lc 3, lp 0, pb 2";
      ASSERT_TRUE(BoardLzma(body, &expanded));
      break;
  }
  EXPECT_EQ(expanded, original);
  EXPECT_EQ(RunCcpack("info " + Path("p.cc")).exitCode, 0);
}

Bytes Runs() { return Bytes(100000, 'a'); }  // KwKwK codes all the way
Bytes Mixed() {
  Bytes b = TextData(150000);
  Bytes n = NoiseData(150000);
  b.insert(b.end(), n.begin(), n.end());
  return b;
}

INSTANTIATE_TEST_SUITE_P(
    Methods, CcpackCompressionTest,
    testing::Values(CompressionCase{"ZlibText", "zlib", 1, [] { return TextData(200000); }},
                    CompressionCase{"ZlibOneByte", "zlib", 1, [] { return Bytes{42}; }},
                    CompressionCase{"LzmaMixed", "lzma", 3, Mixed},
                    CompressionCase{"LzmaOneByte", "lzma", 3, [] { return Bytes{42}; }},
                    CompressionCase{"LzwText", "lzw", 2, [] { return TextData(300000); }},
                    CompressionCase{"LzwRuns", "lzw", 2, Runs},
                    CompressionCase{"LzwOneByte", "lzw", 2, [] { return Bytes{42}; }},
                    // Tables fill up: clear codes and restarts at 9 bits.
                    CompressionCase{"Lzw10Mixed", "lzw10", 2, Mixed},
                    CompressionCase{"Lzw16Noise", "lzw", 2, [] { return NoiseData(400000); }}),
    [](const testing::TestParamInfo<CompressionCase> &info) { return info.param.name; });

TEST_F(CcpackTest, MakeBiosPlacesTheVersion) {
  ASSERT_EQ(RunCcpack("make-bios --version 'BASE V1.0' -o " + Path("base.bin")).exitCode, 0);
  Bytes base = Read("base.bin");
  ASSERT_EQ(base.size(), 0x100000u);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(base.data())), "BASE V1.0");
  EXPECT_TRUE(AllZero(base, 9, 256)) << "NUL-padded version text";
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(base.data() + 0xB0004), 9), "BASE V1.0");
  EXPECT_TRUE(AllZero(base, 0xB0000, 0xB0004));
  EXPECT_EQ(base[0x1000], 0xFF);
  EXPECT_EQ(base[0xFFFFF], 0xFF);

  ASSERT_EQ(RunCcpack("make-bios --version 'EXT release' --field V9.60.69 --fill 0 -o " + Path("ext.bin")).exitCode, 0);
  Bytes ext = Read("ext.bin");
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(ext.data() + 0xB0005), 7), "9.60.69");
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(ext.data())), "EXT release");
  EXPECT_EQ(ext[0x1000], 0);

  // Round trip through a package: the body is the image as written.
  Bytes p = Build("basebios=" + Path("base.bin") + " extbios=" + Path("ext.bin"));
  EXPECT_EQ(BodyOf(p, MainSlot(p, 0).offset), base);
  EXPECT_EQ(BodyOf(p, MainSlot(p, 1).offset), ext);
}

TEST_F(CcpackTest, MakeLogicWritesAMemberWithItsVersionByte) {
  ASSERT_EQ(RunCcpack("make-logic --version 0x5A --size 0x20000 -o " + Path("logic.bin")).exitCode, 0);
  Bytes logic = Read("logic.bin");
  ASSERT_GT(logic.size(), kProgramHeader);
  EXPECT_EQ(Be32(logic, 0x008), 0x10000011u);
  EXPECT_EQ(Be32(logic, 0x00C), 0x5Au) << "version byte at 0x00F, the rest of the word zero";
  EXPECT_EQ(Be32(logic, 0x154) + kProgramHeader, logic.size());
  EXPECT_EQ(Be32(logic, 0x158), ReferenceCrc16(logic.data() + kProgramHeader, logic.size() - kProgramHeader));
  EXPECT_EQ(Be32(logic, 0x15C), 3u);
  Bytes expanded;
  ASSERT_TRUE(BoardLzma(BodyOf(logic, 0), &expanded));
  EXPECT_EQ(expanded.size(), 0x20000u);

  ASSERT_EQ(RunCcpack("make-logic --version 3 --id 0x10000017 --compress none -o " + Path("plain.bin")).exitCode, 0);
  Bytes p = Build("rps=" + Write("os", TextData(100)) + " member=" + Path("logic.bin") + " member/ext=" +
                  Path("plain.bin"));
  std::vector<PackageMemberView> members = WalkPackage(p);
  ASSERT_EQ(members.size(), 3u);
  EXPECT_EQ(members[1].id, 0x10000011u);
  EXPECT_EQ(p[members[1].offset + 0x00F], 0x5A);
  EXPECT_EQ(members[2].id, 0x10000017u);
  EXPECT_TRUE(members[2].inExtension);
  EXPECT_EQ(p[members[2].offset + 0x00F], 3);
  RunResult info = RunCcpack("info " + Path("p.cc"));
  EXPECT_EQ(info.exitCode, 0) << info.out;
  EXPECT_NE(info.out.find("0x10000011  fpga       "), std::string::npos) << info.out;
}

TEST_F(CcpackTest, UsageErrorsExitTwo) {
  std::string file = Write("f", TextData(10));
  std::string out = " -o " + Path("x.cc");
  const std::string cases[] = {
      "",
      "frobnicate",
      "build rps=" + file,
      "build" + out + " rps",
      "build" + out + " bogus=" + file,
      "build" + out + " fpga=" + file,
      "build" + out + " rps=" + Path("missing"),
      "build" + out + " rps/lzw9=" + file,
      "build" + out + " rps/gzip=" + file,
      "build" + out + " boardtype=1452,x",
      "build" + out + " member/lzma=" + file,
      "build" + out + " member=" + file,
      "build" + out + " --break bogus rps=" + file,
      "build" + out + " --break ext-table-crc rps=" + file,
      "build" + out + " --break member-crc:0x12345678 rps=" + file,
      "info",
      "info " + Path("missing"),
      "make-bios -o " + Path("b"),
      "make-bios --version " + std::string(256, 'v') + " -o " + Path("b"),
      "make-bios --version x --field 1234567890123 -o " + Path("b"),
      "make-logic --version 256 -o " + Path("l"),
      "make-logic --version 1 --size 0x400001 -o " + Path("l"),
  };
  for (const std::string &args : cases) EXPECT_EQ(RunCcpack(args).exitCode, 2) << args;
  EXPECT_FALSE(std::filesystem::exists(Path("x.cc"))) << "no package left behind by a failed build";
}

TEST_F(CcpackTest, HelpDocumentsCommandsAndDefects) {
  RunResult help = RunCcpack("--help");
  EXPECT_EQ(help.exitCode, 0);
  for (const char *word : {"build", "info", "make-bios", "make-logic", "--extension", "header-crc", "member-crc:ID",
                           "ext-table-crc", "length-off-by-one", "boardtype", "lzma", "zlib", "lzw"}) {
    EXPECT_NE(help.out.find(word), std::string::npos) << word;
  }
}

}  // namespace
