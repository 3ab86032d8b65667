// The boot log writer against an in-memory kvfs: entry format, the size
// limit, the mode switch and every failure path.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "BoardDevices/RtcRead.h"
#include "BootupCC/records/BootLog.h"
#include "RecordTestSupport.h"

namespace rectest {
namespace {

using Entry = simtest::MemoryKvfs::Entry;

const char *const kTimestamp = R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})";

class BiosLogTest : public RecordTest {
 protected:
  std::string &LogFile() { return kvfs->files[kBootLogPath]; }
  bool LogExists() { return kvfs->files.count(kBootLogPath) != 0; }
};

TEST_F(BiosLogTest, EntryIsTimestampLineAndMessage) {
  BiosLog(LOG_SOURCE_BIOS_FUNC, 2599, "Read boot file %a failed!\n", "cfcard:/mcbzb.cc", 0);
  BiosLog(LOG_SOURCE_SYS, 7, "no newline %x/%d", 0xBEEFu, 42);
  BiosLog(LOG_SOURCE_SYS, 8, "next\n", 0, 0);
  std::regex expected(std::string("^") + kTimestamp + "LINE:2599:Read boot file cfcard:/mcbzb.cc failed!\n" +
                      kTimestamp + "LINE:7:no newline beef/42" + kTimestamp + "LINE:8:next\n$");
  EXPECT_TRUE(std::regex_match(LogFile(), expected)) << LogFile();
  EXPECT_EQ(kvfs->OpenHandles(), 0u);
  // Only the first entry had to create the file.
  EXPECT_EQ(Console(), "Open the file cfcard:/bioslog.log Fail, Create the File!\n");
}

TEST_F(BiosLogTest, UnreadableClockStampsZeros) {
  BOARD_RTC_TIME time;
  if (!EFI_ERROR(RtcReadTime(&time))) GTEST_SKIP() << "the board's clock reads";
  EXPECT_EQ(time.ucYear, 0);
  BiosLog(LOG_SOURCE_BIOS_FUNC, 12, "x\n", 0, 0);
  EXPECT_EQ(LogFile(), "0000-00-00 00:00:00LINE:12:x\n");
}

TEST_F(BiosLogTest, LongEntriesAreCutTo1023Bytes) {
  std::string message(1100, 'm');
  BiosLog(LOG_SOURCE_BIOS_FUNC, 1, message.c_str(), 0, 0);
  BiosLog(LOG_SOURCE_BIOS_FUNC, 2, "%a", message.c_str(), 0);
  ASSERT_EQ(LogFile().size(), 2u * 1023u);
  EXPECT_TRUE(std::regex_match(LogFile().substr(0, 1023), std::regex(std::string(kTimestamp) + "LINE:1:m+")));
  EXPECT_TRUE(std::regex_match(LogFile().substr(1023), std::regex(std::string(kTimestamp) + "LINE:2:m+")));
}

struct SizeCase {
  uint32_t size;
  bool restarted;
};

TEST_F(BiosLogTest, AFileLargerThan4MiBStartsAgain) {
  const SizeCase cases[] = {{0x3FFFFF, false}, {0x400000, false}, {0x400001, true}};
  for (const SizeCase &c : cases) {
    SCOPED_TRACE(c.size);
    FreshBoard();
    LogFile() = std::string(c.size, 'o');
    BiosLog(LOG_SOURCE_BIOS_FUNC, 5, "entry\n", 0, 0);
    const std::string &file = LogFile();
    std::string added = c.restarted ? file : file.substr(c.size);
    EXPECT_TRUE(std::regex_match(added, std::regex(std::string(kTimestamp) + "LINE:5:entry\n"))) << added;
    if (!c.restarted) {
      EXPECT_EQ(file.compare(0, c.size, std::string(c.size, 'o')), 0);
    }
    EXPECT_EQ(Console(), c.restarted ? "The File size is 4M! \n" : "");
    EXPECT_EQ(kvfs->OpenHandles(), 0u);
  }
}

TEST_F(BiosLogTest, ModesZeroAndOneWriteNothing) {
  for (UINT32 mode : {0u, 1u}) {
    SCOPED_TRACE(mode);
    for (bool installed : {true, false}) {
      board.reset();
      BoardTest::SetUp();
      kvfs = std::make_unique<simtest::MemoryKvfs>();
      if (installed) kvfs->Install(*board);
      gBiosLogMode = mode;
      BiosLog(LOG_SOURCE_BIOS_FUNC, 3, "quiet %a\n", "please", 0);
      EXPECT_EQ(board->core.LocateCount(gKvfsDriverProtocolGuid), 0u);
      EXPECT_FALSE(LogExists());
      EXPECT_EQ(Console(), "");
    }
  }
}

TEST_F(BiosLogTest, WithoutTheProtocolTheLocateFailureIsPrinted) {
  board.reset();
  BoardTest::SetUp();
  BiosLog(LOG_SOURCE_BIOS_FUNC, 3, "lost\n", 0, 0);
  EXPECT_EQ(Console(), "LocateProtocol:gKvfsDriverProtocolGuid fail!\n");
}

// A failing entry of the file system: the console messages printed, and
// whether the entry still reaches the (new) file.
struct FailureCase {
  const char *name;
  uint32_t initialSize;  // ~0u: no file yet
  std::vector<std::pair<Entry, unsigned>> failures;
  std::string console;
  bool entryWritten;
  bool handleLeft;  // the failing Close leaves the stand-in's handle open
};

TEST_F(BiosLogTest, EveryFailureIsPrintedAndTheCallerGoesOn) {
  const std::string open = "Open the file cfcard:/bioslog.log Fail, Create the File!\n";
  const std::string createFail = "\nCreatekvfs:fail \"cfcard:/bioslog.log\".\n";
  const std::string full = "The File size is 4M! \n";
  const FailureCase cases[] = {
      {"open and create fail", 10, {{Entry::Open, 1}}, open + createFail, false, false},
      {"create of a missing file fails", ~0u, {{Entry::Create, 1}}, open + createFail, false, false},
      {"seek fails", 10, {{Entry::Seek, 1}}, "\nSeekKvfs:fail\n", false, false},
      {"seek and close fail", 10, {{Entry::Seek, 1}, {Entry::Close, 1}},
       "\nSeekKvfs:fail\nclose kvfs File failed!\n", false, true},
      {"close of a full file fails", 0x400001, {{Entry::Close, 1}},
       full + "[WriteFiletoKVFS:]close kvfs File failed!ret:ffffffff\n", true, true},
      {"delete of a full file fails", 0x400001, {{Entry::Delete, 1}},
       full + "Delete kvfs File failed!ret:ffffffff\n" + createFail, false, false},
      {"create after delete fails", 0x400001, {{Entry::Create, 1}}, full + createFail, false, false},
      {"write fails", 10, {{Entry::Write, 1}}, "\n write file failed!\n", false, false},
      {"final close fails", 10, {{Entry::Close, 1}}, "close kvfs File failed!\n", true, true},
  };
  for (const FailureCase &c : cases) {
    SCOPED_TRACE(c.name);
    FreshBoard();
    if (c.initialSize != ~0u) LogFile() = std::string(c.initialSize, 'o');
    for (const auto &failure : c.failures) kvfs->Fail(failure.first, failure.second);
    BiosLog(LOG_SOURCE_BIOS_FUNC, 77, "entry\n", 0, 0);
    EXPECT_EQ(Console(), c.console);
    bool written = LogExists() && LogFile().find("LINE:77:entry\n") != std::string::npos;
    EXPECT_EQ(written, c.entryWritten);
    EXPECT_EQ(kvfs->OpenHandles(), c.handleLeft ? 1u : 0u);
  }
}

// The logging convention: the mask bit gates both channels.
TEST_F(BiosLogTest, BootLogMacroTestsItsMaskBit) {
  gBootDebugMask = BOOT_DEBUG_ERRORS;
  BOOT_LOG(BOOT_DEBUG_PROGRESS, LOG_SOURCE_BIOS_FUNC, "hidden %d\n", 1, 0);
  EXPECT_EQ(Console(), "");
  EXPECT_FALSE(LogExists());
  BOOT_LOG(BOOT_DEBUG_ERRORS, LOG_SOURCE_BIOS_FUNC, "shown %a %d\n", "now", 2);
  int line = __LINE__ - 1;
  EXPECT_NE(Console().find("shown now 2\n"), std::string::npos);
  EXPECT_NE(LogFile().find("LINE:" + std::to_string(line) + ":shown now 2\n"), std::string::npos);
}

}  // namespace
}  // namespace rectest
