// Packages written by ccpack, read by the firmware's own package checks:
// what the tool builds the board accepts, and each defect the tool makes on
// purpose is refused by the check that guards against it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BootupCC/boot/SharedArea.h"
#include "BootupCC/boot/StartupConfig.h"
#include "BootupCC/package/BoardTypeFile.h"
#include "BootupCC/package/ExtensionCheck.h"
#include "BootupCC/package/PackageLength.h"
#include "BootupCC/package/PackageLookup.h"
#include "BootupCC/package/RpsFile.h"
#include "Devices/BoardIdRegister.h"
#include "Support/BoardFixture.h"

namespace {

using Bytes = std::vector<uint8_t>;
const uint32_t kRpsId = 0x01000003;

struct MemoryFile {
  const Bytes *bytes;
  static INT32 ReadAt(VOID *context, UINT32 offset, VOID *destination, UINT32 length) {
    const Bytes &b = *static_cast<MemoryFile *>(context)->bytes;
    if (uint64_t(offset) + length > b.size()) return -1;
    std::memcpy(destination, b.data() + offset, length);
    return 0;
  }
};

class CcpackFirmwareTest : public simtest::BoardTest {
 protected:
  void SetUp() override {
    BoardTest::SetUp();
    gRpsFileId = 3;
    gBoardTypeFileId = 1;
    gBiosLogMode = 0;  // console only: these tests are about the package checks, not the boot log
    ASSERT_EQ(SharedAreaInit(0xC0000000u), EFI_SUCCESS);
    char pattern[] = "/tmp/ccpack-fw-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    std::ofstream(dir + "/os", std::ios::binary) << std::string(3000, 'k') << "end of image";
    std::ofstream(dir + "/bios", std::ios::binary) << std::string(500, 'b');
  }
  void TearDown() override {
    std::filesystem::remove_all(dir);
    BoardTest::TearDown();
  }

  // ccpack build with the given options over an RPS image, a base BIOS and
  // a board list for board 1452.
  Bytes Build(const std::string &options) {
    std::string command = std::string(CCPACK_PATH) + " build -o " + dir + "/p.cc " + options + " rps/lzma=" + dir +
                          "/os basebios=" + dir + "/bios boardtype=1452 2>/dev/null";
    int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
    std::ifstream in(dir + "/p.cc", std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  UINTN RpsAddress(const Bytes &p) { return getRPSFileAddr(p.data(), UINT32(p.size())); }

  // The extension as the streaming boot-file reader loads it.
  INT32 LoadExtension(const Bytes &p, UINT32 *count) {
    image.assign(p.size(), 0);
    std::memcpy(image.data(), p.data(), sizeof(LOAD_FILE_HEADER_S));
    MemoryFile file{&p};
    PACKAGE_FILE_READER reader = {MemoryFile::ReadAt, &file};
    const LOAD_FILE_DESC_S *descriptors = nullptr;
    return PackageLoadExtension(reinterpret_cast<const LOAD_FILE_HEADER_S *>(image.data()), image.data(),
                                UINT32(image.size()), &reader, &descriptors, count);
  }

  std::string dir;
  Bytes image;
};

TEST_F(CcpackFirmwareTest, PlainAndExtensionPackagesPassEveryCheck) {
  for (const char *options : {"", "--extension"}) {
    SCOPED_TRACE(options);
    Bytes p = Build(options);
    const LOAD_FILE_HEADER_S *header = nullptr;
    const LOAD_FILE_DESC_S *ext = nullptr;
    UINT32 extCount = 0;
    ASSERT_EQ(GetExtFileDescription(p.data(), UINT32(p.size()), &header, &ext, &extCount), 0);
    EXPECT_EQ(extCount, std::string(options).empty() ? 0u : 3u);
    EXPECT_EQ(PackageExpectedLength(header), p.size());

    const LOAD_FILE_DESC_S *rps = PackageFindFile(header, ext, extCount, kRpsId, FALSE);
    ASSERT_NE(rps, nullptr);
    EXPECT_EQ(RpsAddress(p), UINTN(p.data() + BYTE_SWAP32(rps->ulFileOffset)));

    board->boardId->SetValue(1452);
    EXPECT_EQ(CheckBoardTypeFile(p.data(), UINT32(p.size())), 0);
    board->boardId->SetValue(1461);
    EXPECT_EQ(CheckBoardTypeFile(p.data(), UINT32(p.size())), -1);

    UINT32 loaded = 99;
    EXPECT_EQ(LoadExtension(p, &loaded), 0);
    EXPECT_EQ(loaded, extCount);
  }
}

TEST_F(CcpackFirmwareTest, EachDefectIsRefusedByItsCheck) {
  EXPECT_EQ(RpsAddress(Build("--break header-crc")), UINTN(RPS_FILE_NOT_FOUND));
  EXPECT_EQ(RpsAddress(Build("--break member-crc:0x01000003")), UINTN(RPS_FILE_LENGTH_OR_CRC_ERROR));
  board->boardId->SetValue(1452);
  Bytes boardListBroken = Build("--extension --break member-crc:0x09000001");
  EXPECT_EQ(CheckBoardTypeFile(boardListBroken.data(), UINT32(boardListBroken.size())), -1);

  UINT32 count = 0;
  Bytes tableBroken = Build("--extension --break ext-table-crc");
  EXPECT_EQ(LoadExtension(tableBroken, &count), -1);
  EXPECT_NE(Console().find("The sub header file CRC"), std::string::npos) << Console();

  Bytes lengthBroken = Build("--break length-off-by-one");
  EXPECT_EQ(PackageExpectedLength(reinterpret_cast<const LOAD_FILE_HEADER_S *>(lengthBroken.data())),
            lengthBroken.size() + 1);
}

}  // namespace
