// The I/O system with scripted drivers: device lookup, path join,
// descriptors, ioctl, lseek, links and remove.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Support/BoardFixture.h"

#include <Library/IoSystemLib.h>
#include <Protocol/KvfsDriver.h>

namespace {

// A driver whose answers a test sets; it records every call with the
// device it came through and the name it was given.
struct ScriptedDriver {
  std::vector<std::string> calls;  // "open dev name", "delete dev name", ...
  INTN openAnswer = 7;
  std::string linkTarget;          // written into the name on IOS_FOLLOW_LINK
  int32_t size = 100;              // the one file's size
  int32_t position = 0;
  INT32 closeAnswer = 0;
};

ScriptedDriver *g_script = nullptr;

std::string Name(IOS_DEV_HDR *device) { return device->szName; }

INTN ScriptedOpen(IOS_DEV_HDR *device, CHAR8 *name, INT32 flags, INT32 mode) {
  g_script->calls.push_back("open " + Name(device) + " " + name);
  if (g_script->openAnswer == IOS_FOLLOW_LINK) std::strcpy(name, g_script->linkTarget.c_str());
  return g_script->openAnswer;
}
INTN ScriptedCreate(IOS_DEV_HDR *device, CHAR8 *name, INT32 flags) {
  g_script->calls.push_back("create " + Name(device) + " " + name);
  return g_script->openAnswer;
}
INT32 ScriptedDelete(IOS_DEV_HDR *device, CHAR8 *name) {
  g_script->calls.push_back("delete " + Name(device) + " " + name);
  return 0;
}
INT32 ScriptedClose(INTN value) {
  g_script->calls.push_back("close");
  return g_script->closeAnswer;
}
INT32 ScriptedIoctl(INTN value, INT32 function, INTN argument) {
  g_script->calls.push_back("ioctl " + std::to_string(function));
  switch (function) {
    case IOS_FIONREAD: *reinterpret_cast<INT32 *>(argument) = g_script->size - g_script->position; return 0;
    case IOS_FIOSEEK: g_script->position = INT32(argument); return 0;
    case IOS_FIOWHERE: return g_script->position;
    default: return -1;
  }
}

const IOS_DRIVER_FUNCS kFullDriver = {ScriptedCreate, ScriptedDelete, ScriptedOpen, ScriptedClose,
                                      nullptr,        nullptr,        ScriptedIoctl};
const IOS_DRIVER_FUNCS kBareDriver = {nullptr, nullptr, ScriptedOpen, nullptr, nullptr, nullptr, nullptr};

class IoSystemTest : public simtest::BoardTest {
 protected:
  void SetUp() override {
    BoardTest::SetUp();
    g_script = &script;
    IosInit();
    full = IosDrvInstall(&kFullDriver);
    bare = IosDrvInstall(&kBareDriver);
    ASSERT_GE(full, 0);
    ASSERT_GE(bare, 0);
  }
  void TearDown() override {
    g_script = nullptr;
    BoardTest::TearDown();
  }

  ScriptedDriver script;
  INT32 full = -1, bare = -1;
  IOS_DEV_HDR ofs1{}, ofs1x{}, mfs{};
};

TEST_F(IoSystemTest, LongestDeviceNameWinsAndTheDefaultPathCatchesTheRest) {
  ASSERT_EQ(IosDevAdd(&ofs1, "ofs1:", full), 0);
  ASSERT_EQ(IosDevAdd(&ofs1x, "ofs1:x", full), 0);
  ASSERT_EQ(IosDevAdd(&mfs, "mfs:", full), 0);
  struct Case {
    const char *path;
    IOS_DEV_HDR *device;
    const char *remainder;
  } cases[] = {
      {"ofs1:x/a.cc", &ofs1x, "/a.cc"},
      {"ofs1:/a.cc", &ofs1, "/a.cc"},
      {"ofs1:y", &ofs1, "y"},
      {"mfs:/m.cc", &mfs, "/m.cc"},
      {"/a.cc", &ofs1, "/a.cc"},      // no device: the default "ofs1:"
      {"cfcard:/a", &ofs1, "cfcard:/a"},
  };
  for (const Case &c : cases) {
    const CHAR8 *remainder = nullptr;
    EXPECT_EQ(IosDevFind(c.path, &remainder), c.device) << c.path;
    EXPECT_STREQ(remainder, c.remainder) << c.path;
  }
  EXPECT_EQ(IosDevAdd(&ofs1x, "ofs1:x", full), -1) << "a device is added once";
  EXPECT_EQ(IosDevAdd(&ofs1x, "", full), -1);
  EXPECT_EQ(IosDevAdd(&ofs1x, "name", IOS_MAX_DRIVERS), -1);
}

TEST_F(IoSystemTest, NoDeviceAtAllIsReported) {
  const CHAR8 *remainder = nullptr;
  EXPECT_EQ(IosDevFind("ofs1:/a", &remainder), nullptr);
  EXPECT_EQ(Console(), "S_iosLib_DEVICE_NOT_FOUND\n");
  EXPECT_EQ(IosOpen("ofs1:/a", FS_O_RDWR, 0), -1);
  EXPECT_TRUE(script.calls.empty());
}

TEST_F(IoSystemTest, PathJoinCompletesPathsWithTheDefault) {
  ASSERT_EQ(IosDevAdd(&ofs1, "ofs1:", full), 0);
  ASSERT_EQ(IosDevAdd(&mfs, "mfs:", full), 0);
  struct Case {
    const char *defaultPath;
    const char *path;
    const char *joined;
  } cases[] = {
      {"ofs1:", "", "ofs1:"},
      {"ofs1:", nullptr, "ofs1:"},
      {"ofs1:/dir", "mfs:/a", "mfs:/a"},     // names a device: unchanged
      {"ofs1:", "a.cc", "ofs1:a.cc"},
      {"ofs1:/dir", "a.cc", "ofs1:/dir/a.cc"},
      {"ofs1:/dir/", "a.cc", "ofs1:/dir/a.cc"},
      {"ofs1:/dir", "/a.cc", "/a.cc"},       // rooted: no device, no directory
      {"ofs1:/dir", "~a", "ofs1:~a"},
      {"ofs1:/dir", "$a", "ofs1:$a"},
      {"ofs1:/dir", "\\a", "ofs1:\\a"},
  };
  for (const Case &c : cases) {
    CHAR8 joined[IOS_PATH_MAX];
    ASSERT_EQ(IosPathJoin(c.defaultPath, c.path, joined), 0);
    EXPECT_STREQ(joined, c.joined) << c.defaultPath << " + " << (c.path ? c.path : "(null)");
  }
  // Every append stops at 255 characters.
  std::string longName(400, 'n');
  CHAR8 joined[IOS_PATH_MAX];
  ASSERT_EQ(IosPathJoin("ofs1:/dir", longName.c_str(), joined), 0);
  EXPECT_EQ(std::string(joined), "ofs1:/dir/" + std::string(255 - 10, 'n'));
}

TEST_F(IoSystemTest, DescriptorsStartAtThreeAndLowOnesAreRejected) {
  ASSERT_EQ(IosDevAdd(&ofs1, "ofs1:", full), 0);
  EXPECT_EQ(IosOpen("ofs1:/a", FS_O_RDWR, 0), 3);
  EXPECT_EQ(IosOpen("ofs1:/b", FS_O_RDWR, 0), 4);
  for (INT32 fd : {-1, 0, 1, 2, 5, IOS_FIRST_FD + IOS_MAX_FILES}) {
    char buffer[4];
    EXPECT_EQ(IosClose(fd), -1) << fd;
    EXPECT_EQ(IosErrno(), IOS_ERR_INVALID_FD) << fd;
    EXPECT_EQ(IosRead(fd, buffer, 4), -1) << fd;
    EXPECT_EQ(IosIoctl(fd, IOS_FIOWHERE, 0), -1) << fd;
  }
  EXPECT_EQ(IosClose(3), 0);
  EXPECT_EQ(IosClose(3), -1) << "closed once";
  EXPECT_EQ(IosOpen("ofs1:/c", FS_O_RDWR, 0), 3) << "the freed entry is taken again";
  EXPECT_EQ(IosClose(3), 0);
  EXPECT_EQ(IosClose(4), 0);
}

TEST_F(IoSystemTest, TheTableFillsUpWithAMessage) {
  ASSERT_EQ(IosDevAdd(&ofs1, "ofs1:", full), 0);
  for (int i = 0; i < IOS_MAX_FILES; ++i) ASSERT_EQ(IosOpen("ofs1:/a", FS_O_RDWR, 0), IOS_FIRST_FD + i);
  EXPECT_EQ(IosOpen("ofs1:/a", FS_O_RDWR, 0), -1);
  EXPECT_EQ(Console(), "S_iosLib_TOO_MANY_OPEN_FILES\n");
  for (int i = 0; i < IOS_MAX_FILES; ++i) EXPECT_EQ(IosClose(IOS_FIRST_FD + i), 0);
  EXPECT_EQ(board->core.PoolBlocksInUse(), 0u) << "name copies are freed with their descriptors";
}

TEST_F(IoSystemTest, OpenWithoutANameFails) {
  ASSERT_EQ(IosDevAdd(&ofs1, "ofs1:", full), 0);
  EXPECT_EQ(IosOpen("", FS_O_RDWR, 0), -1);
  EXPECT_EQ(IosOpen(nullptr, FS_O_RDWR, 0), -1);
  EXPECT_EQ(Console(), "s_ioLib: no filename!\ns_ioLib: no filename!\n");
  EXPECT_TRUE(script.calls.empty());
  // "." is the default path itself.
  INT32 fd = IosOpen(".", FS_O_RDWR, 0);
  ASSERT_EQ(fd, 3);
  EXPECT_EQ(script.calls.back(), "open ofs1: ");
  CHAR8 name[IOS_PATH_MAX];
  EXPECT_EQ(IosIoctl(fd, IOS_FIOGETNAME, INTN(name)), 0);
  EXPECT_STREQ(name, "ofs1:");
  EXPECT_EQ(IosClose(fd), 0);
}

TEST_F(IoSystemTest, FailedOpenFreesTheDescriptor) {
  ASSERT_EQ(IosDevAdd(&ofs1, "ofs1:", full), 0);
  script.openAnswer = -1;
  EXPECT_EQ(IosOpen("ofs1:/a", FS_O_RDWR, 0), -1);
  EXPECT_EQ(IosCreat("ofs1:/a", FS_O_RDWR), -1);
  script.openAnswer = 7;
  EXPECT_EQ(IosOpen("ofs1:/a", FS_O_RDWR, 0), 3);
  EXPECT_EQ(IosClose(3), 0);
}

TEST_F(IoSystemTest, GetNameIsAnsweredWithoutTheDriver) {
  ASSERT_EQ(IosDevAdd(&ofs1, "ofs1:", full), 0);
  INT32 fd = IosOpen("ofs1:/dir/a.cc", FS_O_RDWR, 0);
  ASSERT_EQ(fd, 3);
  script.calls.clear();
  CHAR8 name[IOS_PATH_MAX];
  EXPECT_EQ(IosIoctl(fd, IOS_FIOGETNAME, INTN(name)), 0);
  EXPECT_STREQ(name, "ofs1:/dir/a.cc");
  EXPECT_TRUE(script.calls.empty());
  EXPECT_EQ(IosClose(fd), 0);
}

TEST_F(IoSystemTest, LseekIsBuiltOnIoctl) {
  ASSERT_EQ(IosDevAdd(&ofs1, "ofs1:", full), 0);
  INT32 fd = IosOpen("ofs1:/a", FS_O_RDWR, 0);
  struct Case {
    int32_t start, offset, whence, result;
  } cases[] = {
      {10, -5, FS_SEEK_END, 95},  // 10 + 90 available - 5
      {10, 0, FS_SEEK_END, 100},
      {10, 5, FS_SEEK_CUR, 15},
      {10, 42, FS_SEEK_SET, 42},
      {10, -11, FS_SEEK_CUR, -1},  // before the start
      {10, 0, 3, -1},
      {10, 0x7FFFFFFF, FS_SEEK_END, -1},  // past what a position can hold
  };
  for (const Case &c : cases) {
    script.position = c.start;
    EXPECT_EQ(IosLseek(fd, c.offset, c.whence), c.result) << c.offset << " from " << c.whence;
    if (c.result >= 0) { EXPECT_EQ(script.position, c.result); }
  }
  EXPECT_EQ(IosClose(fd), 0);
}

TEST_F(IoSystemTest, ADriverWithoutOperationsAnswersByDefault) {
  ASSERT_EQ(IosDevAdd(&mfs, "mfs:", bare), 0);
  INT32 fd = IosOpen("mfs:/a", FS_O_RDWR, 0);
  ASSERT_EQ(fd, 3);
  char buffer[4];
  EXPECT_EQ(IosRead(fd, buffer, 4), -1);
  EXPECT_EQ(IosDriverErrno(), IOS_DRV_ERR_NOT_SUPPORTED);
  EXPECT_EQ(IosWrite(fd, buffer, 4), -1);
  INT32 available = 99;
  EXPECT_EQ(IosIoctl(fd, IOS_FIONREAD, INTN(&available)), 0);
  EXPECT_EQ(available, 0);
  EXPECT_EQ(IosIoctl(fd, IOS_FIOSEEK, 0), -1);
  EXPECT_EQ(Console(), "S_ioLib_UNKNOWN_REQUEST\n");
  // A missing create counts as success; a missing close answers 0.
  EXPECT_EQ(IosCreat("mfs:/b", FS_O_RDWR), 4);
  EXPECT_EQ(IosClose(fd), 0);
  EXPECT_EQ(IosClose(4), 0);
}

TEST_F(IoSystemTest, LinksAreFollowedTwentyTimesAtMost) {
  ASSERT_EQ(IosDevAdd(&ofs1, "ofs1:", full), 0);
  ASSERT_EQ(IosDevAdd(&mfs, "mfs:", full), 0);
  script.openAnswer = IOS_FOLLOW_LINK;
  script.linkTarget = "mfs:/target";
  EXPECT_EQ(IosOpen("ofs1:/link", FS_O_RDWR, 0), -1);
  EXPECT_EQ(Console(), "Too many levels of symbolic links\n");
  ASSERT_EQ(script.calls.size(), 21u) << "the first open and twenty links";
  EXPECT_EQ(script.calls[0], "open ofs1: /link");
  EXPECT_EQ(script.calls[1], "open mfs: /target");
  script.openAnswer = 7;
  EXPECT_EQ(IosOpen("ofs1:/x", FS_O_RDONLY, 0), 3) << "the descriptor went back";
  EXPECT_EQ(IosClose(3), 0);
}

// The driver resolves a link on the second call; a target without a device
// stays on the device it came from.
INTN LinkOnceOpen(IOS_DEV_HDR *device, CHAR8 *name, INT32 flags, INT32 mode) {
  g_script->calls.push_back("open " + Name(device) + " " + name);
  if (g_script->calls.size() > 1) return 9;
  std::strcpy(name, g_script->linkTarget.c_str());
  return IOS_FOLLOW_LINK;
}

TEST_F(IoSystemTest, ALinkTargetWithoutDeviceStaysOnTheDevice) {
  const IOS_DRIVER_FUNCS linking = {nullptr, nullptr, LinkOnceOpen, nullptr, nullptr, nullptr, nullptr};
  INT32 driver = IosDrvInstall(&linking);
  ASSERT_EQ(IosDevAdd(&ofs1, "ofs1:", full), 0);
  ASSERT_EQ(IosDevAdd(&mfs, "mfs:", driver), 0);
  script.linkTarget = "/real";
  INT32 fd = IosOpen("mfs:/link", FS_O_RDWR, 0);
  ASSERT_EQ(fd, 3);
  EXPECT_EQ(script.calls, (std::vector<std::string>{"open mfs: /link", "open mfs: /real"}));
  CHAR8 name[IOS_PATH_MAX];
  EXPECT_EQ(IosIoctl(fd, IOS_FIOGETNAME, INTN(name)), 0);
  EXPECT_STREQ(name, "mfs:/real");
  EXPECT_EQ(IosClose(fd), 0);
}

TEST_F(IoSystemTest, RemoveOfNothingCallsNoDriver) {
  ASSERT_EQ(IosDevAdd(&ofs1, "ofs1:", full), 0);
  EXPECT_EQ(IosRemove(""), -1);
  EXPECT_EQ(IosErrno(), IOS_ERR_NO_FILENAME);
  EXPECT_EQ(IosRemove(nullptr), -1);
  EXPECT_TRUE(script.calls.empty());
  EXPECT_EQ(IosRemove("ofs1:/a"), 0);
  EXPECT_EQ(script.calls, (std::vector<std::string>{"delete ofs1: /a"}));
}

TEST_F(IoSystemTest, RemoveOnADriverWithoutDeleteFails) {
  ASSERT_EQ(IosDevAdd(&mfs, "mfs:", bare), 0);
  EXPECT_EQ(IosRemove("mfs:/a"), -1);
  EXPECT_EQ(IosDriverErrno(), IOS_DRV_ERR_NOT_SUPPORTED);
}

// The name copy cannot be allocated: what the driver took is given back,
// and a file that was only opened is not deleted.
TEST_F(IoSystemTest, NoMemoryForTheNameGivesTheFileBack) {
  ASSERT_EQ(IosDevAdd(&ofs1, "ofs1:", full), 0);
  board->core.FailAllAllocations(true);
  EXPECT_EQ(IosOpen("ofs1:/kept", FS_O_RDWR, 0), -1);
  EXPECT_EQ(script.calls, (std::vector<std::string>{"open ofs1: /kept", "close"}));
  script.calls.clear();
  EXPECT_EQ(IosCreat("ofs1:/new", FS_O_RDWR), -1);
  EXPECT_EQ(script.calls, (std::vector<std::string>{"create ofs1: /new", "close", "delete ofs1: /new"}));
  board->core.FailAllAllocations(false);
  EXPECT_EQ(IosOpen("ofs1:/a", FS_O_RDWR, 0), 3) << "both descriptors went back";
  EXPECT_EQ(IosClose(3), 0);
}

std::vector<INT32> g_hookCalls;
void OpenHook(INT32 fd) { g_hookCalls.push_back(fd); }
void FreeHook(INT32 fd) { g_hookCalls.push_back(-fd); }

TEST_F(IoSystemTest, HooksSeeOpenAndFree) {
  ASSERT_EQ(IosDevAdd(&ofs1, "ofs1:", full), 0);
  g_hookCalls.clear();
  IosHooksSet(OpenHook, FreeHook);
  INT32 fd = IosOpen("ofs1:/a", FS_O_RDWR, 0);
  script.closeAnswer = 5;
  EXPECT_EQ(IosClose(fd), 5) << "the driver's close result";
  EXPECT_EQ(g_hookCalls, (std::vector<INT32>{3, -3}));
}

}  // namespace
