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
// The same with standard error in out.
RunResult RunBootsimWithErrors(const std::string &args) {
  return simtest::RunProgram("/bin/sh", std::string("-c '") + BOOTSIM_PATH + " " + args + " 2>&1'");
}

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

std::string ReadLocal(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteLocal(const std::string &path, const std::string &content) {
  std::ofstream(path, std::ios::binary) << content;
}

// put, ls, get and rm each run in their own bootsim process: the file lives
// on the simulated card (or in the ofs1 folder) between them.
TEST_F(BootsimTest, FilesGoOnAndOffTheBoard) {
  ASSERT_EQ(RunBootsim("new " + Board()).exitCode, 0);
  std::string content(1 << 20, '\0');
  uint32_t x = 12345;
  for (char &c : content) c = char((x = x * 1103515245u + 12345u) >> 24);
  WriteLocal(dir + "/in.bin", content);

  for (const char *device : {"cfcard:", "ofs1:"}) {
    SCOPED_TRACE(device);
    std::string path = std::string(device) + "/pkg/in.bin";
    RunResult r = RunBootsim("put " + Board() + " " + dir + "/in.bin " + path);
    ASSERT_EQ(r.exitCode, 0);
    r = RunBootsim("ls " + Board() + " " + device + "/pkg");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "   1048576  in.bin\n");
    EXPECT_EQ(RunBootsim("ls " + Board() + " " + device + "/").out, "       dir  pkg/\n");
    r = RunBootsim("get " + Board() + " " + path + " " + dir + "/out.bin");
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_TRUE(ReadLocal(dir + "/out.bin") == content) << "the file came back changed";
    EXPECT_EQ(RunBootsim("rm " + Board() + " " + path).exitCode, 0);
    EXPECT_EQ(RunBootsim("ls " + Board() + " " + device + "/pkg").out, "");
    r = RunBootsimWithErrors("get " + Board() + " " + path + " " + dir + "/gone.bin");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("bootsim: " + path + ": no such file\n"), std::string::npos) << r.out;
    EXPECT_EQ(RunBootsim("rm " + Board() + " " + path).exitCode, 1);
  }
  EXPECT_TRUE(std::filesystem::exists(Board() + "/nand.img"));

  // A file kept on the card is still there when the board boots.
  ASSERT_EQ(RunBootsim("put " + Board() + " " + dir + "/in.bin cfcard:/kept.bin").exitCode, 0);
  RunBootsim("boot " + Board());
  EXPECT_EQ(RunBootsim("ls " + Board() + " cfcard:/").out, "   1048576  kept.bin\n       dir  pkg/\n");
}

TEST_F(BootsimTest, FileCommandErrors) {
  WriteLocal(dir + "/in.bin", "x");
  EXPECT_EQ(RunBootsim("put " + Board() + " " + dir + "/in.bin cfcard:/a").exitCode, 70) << "no board yet";
  ASSERT_EQ(RunBootsim("new " + Board()).exitCode, 0);
  struct {
    std::string args;
    int exitCode;
  } const cases[] = {
      {"put " + Board() + " " + dir + "/missing.bin cfcard:/a", 74},
      {"put " + Board() + " " + dir + "/in.bin mfs:/a", 64},
      {"put " + Board() + " " + dir + "/in.bin /a", 64},
      {"put " + Board() + " " + dir + "/in.bin", 64},
      {"get " + Board() + " cfcard:/nothing " + dir + "/out", 1},
      {"ls " + Board() + " cfcard:/nothing", 1},
      {"ls " + Board() + " ofs1:/nothing", 1},
      {"ls " + Board() + " cfcard:/ --bogus", 64},
      {"put " + Board() + " " + dir + "/in.bin cfcard:/a", 0},
      {"get " + Board() + " cfcard:/a " + dir + "/no/such/dir/out", 74},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(RunBootsim(c.args).exitCode, c.exitCode) << c.args;
  }
  EXPECT_NE(RunBootsim("--help").out.find("bootsim put DIR LOCAL DEVICE:/path"), std::string::npos);
}

TEST_F(BootsimTest, HealthReportsBlocksAndReadsEveryFileBack) {
  EXPECT_EQ(RunBootsim("health " + Board()).exitCode, 70) << "no board yet";
  ASSERT_EQ(RunBootsim("new " + Board()).exitCode, 0);
  RunResult r = RunBootsim("health " + Board());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out.rfind("cfcard: blocks 3584: used ", 0), 0u) << r.out;
  EXPECT_NE(r.out.find(", bad 0, other 0\nerase counts: min "), std::string::npos) << r.out;
  EXPECT_EQ(LastLine(r.out), "bootsim: health=ok files=0 bytes=0 unreadable=0");

  WriteLocal(dir + "/a.bin", std::string(300000, 'a'));
  WriteLocal(dir + "/b.bin", "b");
  ASSERT_EQ(RunBootsim("put " + Board() + " " + dir + "/a.bin cfcard:/x/y/a.bin").exitCode, 0);
  ASSERT_EQ(RunBootsim("put " + Board() + " " + dir + "/b.bin cfcard:/b.bin").exitCode, 0);
  r = RunBootsim("health " + Board());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("         1  cfcard:/b.bin  ok\n    300000  cfcard:/x/y/a.bin  ok\n"), std::string::npos)
      << r.out;
  EXPECT_EQ(LastLine(r.out), "bootsim: health=ok files=2 bytes=300001 unreadable=0");
  EXPECT_EQ(RunBootsim("health").exitCode, 64);
}

}  // namespace
