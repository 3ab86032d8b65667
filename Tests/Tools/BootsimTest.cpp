// bootsim as users run it: a fresh board directory, the console on stdout,
// the outcome line and the exit status.
#include <gtest/gtest.h>

#include "Support/RunProgram.h"
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using simtest::RunResult;

RunResult RunBootsim(const std::string &args) { return simtest::RunProgram(BOOTSIM_PATH, args); }

std::string LastLine(const std::string &text) {
  std::string trimmed = text;
  while (!trimmed.empty() && trimmed.back() == '\n') trimmed.pop_back();
  size_t nl = trimmed.rfind('\n');
  return nl == std::string::npos ? trimmed : trimmed.substr(nl + 1);
}

uint32_t FlashWordInFile(const std::string &path, uint32_t offset) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(offset);
  uint8_t b[4] = {0, 0, 0, 0};
  in.read(reinterpret_cast<char *>(b), 4);
  return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

class BootsimTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/bootsim-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string Board() const { return dir + "/board"; }
  std::string Flash() const { return Board() + "/bootflash.bin"; }

  std::string dir;
};

TEST_F(BootsimTest, FreshBoardBootsThroughTheBootProtocol) {
  RunResult r = RunBootsim("boot " + Board());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out.substr(0, r.out.rfind("bootsim:")),
            "\n"  // the probe: no plug, so nothing echoed
            "\r\ndwKrFlgAddr = 404008c8\n"
            "Status=Success\n"
            "[BootMain] is not available in this firmware build\n"
            " -> BIOS BSP: Running Mode\n"
            "\n");
  EXPECT_EQ(LastLine(r.out).rfind("bootsim: outcome=returned status=0x00000000 time=", 0), 0u) << LastLine(r.out);
  EXPECT_EQ(FlashWordInFile(Flash(), 0x400860), 0xFFFFFFFFu);
  EXPECT_TRUE(std::filesystem::exists(Board() + "/board.txt"));
}

TEST_F(BootsimTest, LoopbackPlugEntersTestMode) {
  RunResult r = RunBootsim("boot " + Board() + " --oam-loopback");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out.rfind("OAM_Loop_Detect\n", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("[NetConfigureBoardAddress] is not available in this firmware build\nStatus=Unsupported\n"),
            std::string::npos);
  EXPECT_EQ(r.out.find("Running Mode"), std::string::npos);
  EXPECT_EQ(LastLine(r.out).rfind("bootsim: outcome=returned status=0x80000003 ", 0), 0u) << LastLine(r.out);
  EXPECT_EQ(FlashWordInFile(Flash(), 0x400860), 0x1234ABCDu);

  // The next power-on without the plug leaves test mode again.
  r = RunBootsim("boot " + Board());
  EXPECT_EQ(FlashWordInFile(Flash(), 0x400860), 0xFFFFFFFFu);
}

TEST_F(BootsimTest, TestRequestWordIsKeptInFlash) {
  RunResult r = RunBootsim("boot " + Board() + " --test-request-word 0x1234ABCD");
  EXPECT_EQ(FlashWordInFile(Flash(), 0x400864), 0x1234ABCDu);
  EXPECT_EQ(FlashWordInFile(Flash(), 0x400860), 0x1234ABCDu);
  EXPECT_NE(r.out.find("Status=Unsupported\n"), std::string::npos);
}

TEST_F(BootsimTest, NewStoresSettingsAndRefusesAnExistingBoard) {
  RunResult r = RunBootsim("new " + Board() + " --board-id 1477 --oam-loopback=echo-first:14");
  EXPECT_EQ(r.exitCode, 0);
  std::ifstream in(Board() + "/board.txt");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("board_id = 1477\n"), std::string::npos);
  EXPECT_NE(text.find("oam_plug = echo-first:14\n"), std::string::npos);

  EXPECT_EQ(RunBootsim("new " + Board()).exitCode, 70);

  r = RunBootsim("boot " + Board());
  EXPECT_NE(r.out.find("OAM_Loop_DetecOAM_Loop_Detec"), std::string::npos);
}

TEST_F(BootsimTest, UsageErrors) {
  struct {
    const char *args;
    int exitCode;
  } cases[] = {
      {"", 64},
      {"fly", 64},
      {"boot --board-id 70000", 64},
      {"boot --oam-loopback=sometimes", 64},
      {"boot --max-time -1", 64},
      {"boot --bogus", 64},
      {"new", 64},
      {"--help", 0},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(RunBootsim(c.args).exitCode, c.exitCode) << c.args;
  }
  EXPECT_NE(RunBootsim("--help").out.find("bootsim boot [DIR]"), std::string::npos);
}

TEST_F(BootsimTest, BadSettingsFileIsReported) {
  std::filesystem::create_directories(Board());
  std::ofstream(Board() + "/board.txt") << "board_id = twelve\n";
  EXPECT_EQ(RunBootsim("boot " + Board()).exitCode, 70);
}

}  // namespace
