// The file API over the kvfs stand-in and the I/O system's "ofs1:" and
// "mfs:": routing by prefix, every failure message, and the operations
// built from several calls. Source lines in "[%dL]" are shown as "[nL]".
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "FileAccessTestSupport.h"
#include "Devices/Ofs1Folder.h"
#include "FileAccess/FileApi.h"

#include <Library/IoSystemLib.h>

namespace {

using simtest::MemoryKvfs;

std::string Lines(const std::string &text) { return std::regex_replace(text, std::regex(R"(\[\d+L\])"), "[nL]"); }

class FileApiTest : public simtest::FileAccessTest {
 protected:
  void SetUp() override {
    FileAccessTest::SetUp();
    InstallKvfs();
  }
  std::string Printed() { return Lines(NewConsole()); }
};

TEST_F(FileApiTest, ThePrefixChoosesTheFileSystem) {
  kvfs.files["cfcard:/k.cc"] = "kvfs";
  PutFile("ofs1:/o.cc", "ofs1");
  PutFile("mfs:/m.cc", "mfs");
  Printed();
  struct Case {
    const char *path;
    INT32 kind;
    const char *content;
  } cases[] = {{"cfcard:/k.cc", FS_KIND_KVFS, "kvfs"},
               {"ofs1:/o.cc", FS_KIND_TFFS, "ofs1"},
               {"mfs:/m.cc", FS_KIND_TFFS, "mfs"}};
  for (const Case &c : cases) {
    INT32 kind = -7;
    INT32 fd = FileOpen(&kind, c.path, FS_O_RDWR, 0);
    ASSERT_GE(fd, 0) << c.path;
    EXPECT_EQ(kind, c.kind) << c.path;
    char buffer[8] = {};
    EXPECT_GT(FileRead(kind, fd, buffer, sizeof(buffer) - 1), 0);
    EXPECT_STREQ(buffer, c.content);
    EXPECT_EQ(FileClose(kind, fd), 0);
  }
  EXPECT_EQ(Printed(), "");
}

TEST_F(FileApiTest, PathsWithoutAnExactPrefixAreRejected) {
  const char *paths[] = {"cfcard:k.cc", "CFCARD:/k.cc", "/k.cc",  "ofs1:o.cc", "OFS1:/o.cc",
                         "mfs:m.cc",    "Mfs:/m.cc",    "ofs:/o", "",          "cfcard"};
  for (const char *path : paths) {
    INT32 kind = -7;
    EXPECT_EQ(FileOpen(&kind, path, FS_O_RDWR, 0), -1) << path;
    EXPECT_EQ(kind, -7) << path;
    EXPECT_EQ(FileDelete(path), -1) << path;
    EXPECT_EQ(FileRemove(path), 0) << path;
    EXPECT_EQ(Printed(), "[nL]:input parameter ERROR!\n[nL]:input parameter ERROR!\n[nL]:input parameter ERROR!\n")
        << path;
  }
  EXPECT_EQ(FileSystemSelect("ofs1"), FILE_SELECT_BAD_PATH);
  EXPECT_EQ(FileSystemSelect(nullptr), FILE_SELECT_BAD_PATH);
  EXPECT_EQ(kvfs.Calls(MemoryKvfs::Entry::Open) + kvfs.Calls(MemoryKvfs::Entry::Delete), 0u);
}

// Only kind 1 means kvfs; every other value means tffs.
TEST_F(FileApiTest, AnyKindButOneUsesTffs) {
  for (INT32 kind : {0, 2, -1, 7}) {
    INT32 fd = FileCreate(kind, "mfs:/k.bin", FS_O_RDWR);
    ASSERT_GE(fd, IOS_FIRST_FD) << kind;
    EXPECT_EQ(FileWrite(kind, fd, "abcdef", 6), 6);
    EXPECT_EQ(FileSeek(kind, fd, 2, FS_SEEK_SET), 2);
    char buffer[4] = {};
    EXPECT_EQ(FileRead(kind, fd, buffer, 3), 3);
    EXPECT_STREQ(buffer, "cde");
    EXPECT_EQ(FileClose(kind, fd), 0);
  }
  EXPECT_EQ(kvfs.Calls(MemoryKvfs::Entry::Create), 0u);
  INT32 fd = FileCreate(FS_KIND_KVFS, "cfcard:/k.bin", FS_O_RDWR);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(FileClose(FS_KIND_KVFS, fd), 0);
  EXPECT_EQ(kvfs.Calls(MemoryKvfs::Entry::Create), 1u);
  EXPECT_EQ(Printed(), "");
}

struct FailureCase {
  const char *what;
  std::function<INT32()> call;
  INT32 result;
  const char *message;
};

TEST_F(FileApiTest, FailingEntriesPrintTheirMessages) {
  kvfs.files["cfcard:/exists"] = "";
  INT32 kind = 0;
  std::vector<FailureCase> cases = {
      {"open kvfs", [&] { return FileOpen(&kind, "cfcard:/none", FS_O_RDWR, 0); }, -1,
       "OpenKvfs \"cfcard:/none\" ERROR.\n"},
      {"open tffs", [&] { return FileOpen(&kind, "ofs1:/none", FS_O_RDWR, 0); }, -1,
       "OpenTffs \"ofs1:/none\" ERROR.\n"},
      {"create kvfs", [&] { return FileCreate(1, "cfcard:/exists", FS_O_RDWR); }, -1,
       "\n[nL]:Createkvfs:fail \"cfcard:/exists\".\n"},
      {"create tffs", [&] { return FileCreate(0, "mfs:/a/b", FS_O_RDWR); }, -1,
       "\n[nL]:Createtffs:fail \"mfs:/a/b\".\n"},
      {"read kvfs", [&] { return FileRead(1, 99, nullptr, 4); }, -1, "[nL]:read File failed!ret:ffffffff\n"},
      {"read tffs", [&] { return FileRead(0, 2, nullptr, 4); }, -1, "[nL]:read File failed!ret:ffffffff\n"},
      {"write kvfs", [&] { return FileWrite(1, 99, "x", 1); }, -1, "[nL]:Write File failed!ret:ffffffff\n"},
      {"write tffs", [&] { return FileWrite(0, 40, "x", 1); }, -1, "[nL]:Write File failed!ret:ffffffff\n"},
      {"seek kvfs", [&] { return FileSeek(1, 99, 0, 0); }, -1, "[nL]:SeekKvfs:fail \"fd 99\".\n"},
      {"seek tffs", [&] { return FileSeek(0, 2, 0, 0); }, -1, "[nL]:SeekTffs:fail \"fd 2\".\n"},
      {"close kvfs", [&] { return FileClose(1, 99); }, -1, "[nL]:close kvfs File failed!retVal:ffffffff\n"},
      {"close tffs", [&] { return FileClose(0, 2); }, -1, "[nL]:close tffs File failed!retVal:ffffffff\n"},
      {"delete kvfs", [&] { return FileDelete("cfcard:/none"); }, -1,
       "[nL]:Delete kvfs File failed!retVal:ffffffff\n"},
      {"delete tffs: the kvfs text", [&] { return FileDelete("ofs1:/none"); }, -1,
       "[nL]:Delete kvfs File failed!retVal:ffffffff\n"},
      {"remove kvfs", [&] { return FileRemove("cfcard:/none"); }, -1,
       "[nL]:Delete kvfs File failed!retVal:ffffffff\n"},
      {"remove tffs", [&] { return FileRemove("mfs:/none"); }, -1, "[nL]:Delete tffs File failed!retVal:ffffffff\n"},
  };
  Printed();
  for (const FailureCase &c : cases) {
    EXPECT_EQ(c.call(), c.result) << c.what;
    EXPECT_EQ(Printed(), c.message) << c.what;
  }
}

TEST_F(FileApiTest, GetSizeLeavesTheFileClosedAtTheStart) {
  kvfs.files["cfcard:/empty"] = "";
  kvfs.files["cfcard:/five"] = "12345";
  PutFile("ofs1:/empty", "");
  PutFile("ofs1:/five", "12345");
  PutFile("mfs:/five", "12345");
  Printed();
  struct Case {
    const char *path;
    INT32 size;
    const char *message;
  } cases[] = {
      {"cfcard:/empty", 0, ""},
      {"cfcard:/five", 5, ""},
      {"ofs1:/empty", 0, ""},
      {"ofs1:/five", 5, ""},
      {"mfs:/five", 5, ""},
      {"cfcard:/none", -1, "OpenKvfs \"cfcard:/none\" ERROR.\n"},
      {"mfs:/none", -1, "OpenTffs \"mfs:/none\" ERROR.\n"},
      {"none", -1, "[nL]:input parameter ERROR!\n"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(FileGetSize(c.path), c.size) << c.path;
    EXPECT_EQ(Printed(), c.message) << c.path;
  }
  // The fixture's tear-down checks that nothing stayed open.
}

TEST_F(FileApiTest, RecreateLeavesAnEmptyOpenFile) {
  const char *paths[] = {"cfcard:/r.txt", "ofs1:/r.txt", "mfs:/r.txt"};
  for (const char *path : paths) {
    for (bool exists : {true, false}) {
      if (exists) {
        if (FileSystemSelect(path) == FS_KIND_KVFS) kvfs.files[path] = "old content";
        else PutFile(path, "old content");
      }
      Printed();
      INT32 kind = -1;
      INT32 fd = FileRecreate(&kind, path);
      ASSERT_GE(fd, 0) << path;
      EXPECT_EQ(kind, FileSystemSelect(path));
      EXPECT_EQ(FileWrite(kind, fd, "new", 3), 3);
      EXPECT_EQ(FileClose(kind, fd), 0);
      std::string open = std::string(kind == FS_KIND_KVFS ? "OpenKvfs" : "OpenTffs") + " \"" + path + "\" ERROR.\n";
      std::string expected = exists ? "" : open + "open file " + path + " fail, start create it!\n";
      EXPECT_EQ(Printed(), expected + "create filesystem.................................done\n") << path;
      EXPECT_EQ(FileGetSize(path), 3) << path;
      EXPECT_EQ(FileDelete(path), 0);
    }
  }
}

TEST_F(FileApiTest, RecreateCreatesNothingForAnUnknownPrefix) {
  INT32 kind = FS_KIND_TFFS;
  EXPECT_EQ(FileRecreate(&kind, "/r.txt"), -1);
  EXPECT_EQ(Printed(),
            "[nL]:input parameter ERROR!\n"
            "open file /r.txt fail, start create it!\n"
            "create filesystem.................................failed\n");
  EXPECT_TRUE(std::filesystem::is_empty(board->ofs1->Folder())) << "not made on the default device";
}

// The old descriptor is closed already: a failing close or delete makes
// the answer -1, never that descriptor.
TEST_F(FileApiTest, RecreateFailsWhenTheOldFileStays) {
  kvfs.files["cfcard:/r.txt"] = "old";
  Printed();
  INT32 kind = -1;
  kvfs.Fail(MemoryKvfs::Entry::Delete);
  EXPECT_EQ(FileRecreate(&kind, "cfcard:/r.txt"), -1);
  EXPECT_EQ(Printed(),
            "[nL]:Delete kvfs File failed!retVal:ffffffff\n"
            "Delete File cfcard:/r.txt failed!\n"
            "create filesystem.................................failed\n");
  EXPECT_EQ(kvfs.files["cfcard:/r.txt"], "old");
  EXPECT_EQ(kvfs.Calls(MemoryKvfs::Entry::Create), 0u);

  kvfs.Fail(MemoryKvfs::Entry::Close);
  EXPECT_EQ(FileRecreate(&kind, "cfcard:/r.txt"), -1);
  EXPECT_EQ(Printed(),
            "[nL]:close kvfs File failed!retVal:ffffffff\n"
            "close kvfs0 File failed!retVal:ffffffff\n"
            "create filesystem.................................failed\n");
  EXPECT_EQ(kvfs.Calls(MemoryKvfs::Entry::Delete), 1u) << "no delete after a failed close";
  // The stand-in kept the handle whose close failed.
  ASSERT_EQ(kvfs.OpenHandles(), 1u);
  for (INT32 fd = 0; fd < 10 && kvfs.OpenHandles() != 0; ++fd) kvfs.Interface()->Close(kvfs.Interface(), fd);
}

// A kvfs that reads at most Chunk bytes per call and can claim a larger
// size than it holds.
struct ShortKvfs {
  KVFS_DRIVER_PROTOCOL protocol;
  static MemoryKvfs *inner;
  static UINT32 chunk;
  static INT32 extraSize;
  static INT32 EFIAPI Open(KVFS_DRIVER_PROTOCOL *, CONST CHAR8 *path, INT32 flags, INT32 mode) {
    return inner->Interface()->Open(inner->Interface(), path, flags, mode);
  }
  static INT32 EFIAPI Close(KVFS_DRIVER_PROTOCOL *, INT32 fd) {
    return inner->Interface()->Close(inner->Interface(), fd);
  }
  static INT32 EFIAPI Read(KVFS_DRIVER_PROTOCOL *, INT32 fd, VOID *buffer, UINT32 length) {
    return inner->Interface()->Read(inner->Interface(), fd, buffer, length < chunk ? length : chunk);
  }
  static INT32 EFIAPI Seek(KVFS_DRIVER_PROTOCOL *, INT32 fd, INT32 offset, INT32 whence) {
    INT32 result = inner->Interface()->Seek(inner->Interface(), fd, offset, whence);
    return whence == FS_SEEK_END && result >= 0 ? result + extraSize : result;
  }
};
MemoryKvfs *ShortKvfs::inner = nullptr;
UINT32 ShortKvfs::chunk = 0;
INT32 ShortKvfs::extraSize = 0;

class FileReadAllTest : public simtest::FileAccessTest {
 protected:
  void SetUp() override {
    simtest::FileAccessTest::SetUp();
    ShortKvfs::inner = &kvfs;
    ShortKvfs::chunk = 0xFFFFFFFF;
    ShortKvfs::extraSize = 0;
    // Only the entries read-all uses; the stand-in's own need its instance.
    wrapper.protocol = KVFS_DRIVER_PROTOCOL{};
    wrapper.protocol.Open = ShortKvfs::Open;
    wrapper.protocol.Close = ShortKvfs::Close;
    wrapper.protocol.Read = ShortKvfs::Read;
    wrapper.protocol.Seek = ShortKvfs::Seek;
    EFI_HANDLE handle = nullptr;
    ASSERT_EQ(board->core.BootServices()->InstallProtocolInterface(&handle, &gKvfsDriverProtocolGuid,
                                                                   EFI_NATIVE_INTERFACE, &wrapper.protocol),
              EFI_SUCCESS);
  }
  ShortKvfs wrapper;
};

TEST_F(FileReadAllTest, OnlyAWholeFileCounts) {
  kvfs.files["cfcard:/empty"] = "";
  kvfs.files["cfcard:/ten"] = "0123456789";
  struct Case {
    const char *what;
    const char *path;
    UINT32 capacity;
    UINT32 chunk;
    INT32 extra;
    INT32 result;
    UINT32 size;
  } cases[] = {
      {"whole", "cfcard:/ten", 10, 0xFFFFFFFF, 0, 1, 10},
      {"in pieces", "cfcard:/ten", 64, 3, 0, 1, 10},
      {"empty", "cfcard:/empty", 64, 0xFFFFFFFF, 0, 0, 0},
      {"larger than the buffer", "cfcard:/ten", 9, 0xFFFFFFFF, 0, 0, 0},
      {"missing", "cfcard:/none", 64, 0xFFFFFFFF, 0, 0, 0},
      {"ends before its size", "cfcard:/ten", 64, 4, 6, 0, 10},
  };
  for (const Case &c : cases) {
    ShortKvfs::chunk = c.chunk;
    ShortKvfs::extraSize = c.extra;
    char buffer[64];
    std::memset(buffer, '#', sizeof(buffer));
    UINT32 size = 1234;
    EXPECT_EQ(FileReadAll(c.path, buffer, c.capacity, &size), c.result) << c.what;
    EXPECT_EQ(size, c.size) << c.what;
    if (c.size > 0) { EXPECT_EQ(std::string(buffer, 10), "0123456789") << c.what; }
    if (c.size == 0) { EXPECT_EQ(buffer[0], '#') << c.what << ": nothing is read"; }
  }
}

TEST_F(FileReadAllTest, NullArgumentsReadNothing) {
  char buffer[4];
  UINT32 size = 9;
  EXPECT_EQ(FileReadAll(nullptr, buffer, 4, &size), 0);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(FileReadAll("cfcard:/x", nullptr, 4, &size), 0);
  EXPECT_EQ(FileReadAll("cfcard:/x", buffer, 4, nullptr), 0);
}

TEST_F(FileApiTest, DirEnsureCreatesOnlyWhatIsMissing) {
  kvfs.files["cfcard:/bios"] = "";
  Printed();
  EXPECT_GE(DirEnsure("cfcard:/bios", FS_O_RDWR, 0), 0);
  EXPECT_EQ(Printed(), "");
  EXPECT_EQ(kvfs.Calls(MemoryKvfs::Entry::Open), 1u);

  EXPECT_GE(DirEnsure("cfcard:/qbx", FS_O_RDWR, 0), 0);
  EXPECT_EQ(Printed(),
            "OpenKvfs \"cfcard:/qbx\" ERROR.\n"
            "[nL]:open filesystem fail!\n"
            "[nL]:start create filesystem Dir!\n"
            "[nL]:create filesystem Dir SUCCESS!\n");
  EXPECT_EQ(kvfs.files.count("cfcard:/qbx"), 1u);

  kvfs.Fail(MemoryKvfs::Entry::Open, 2);
  EXPECT_EQ(DirEnsure("cfcard:/fpga", FS_O_RDWR, 0), -1);
  EXPECT_EQ(Printed(),
            "OpenKvfs \"cfcard:/fpga\" ERROR.\n"
            "[nL]:open filesystem fail!\n"
            "[nL]:start create filesystem Dir!\n"
            "OpenKvfs \"cfcard:/fpga\" ERROR.\n"
            "[nL]:create filesystem Dir fail!\n");
  EXPECT_EQ(kvfs.Calls(MemoryKvfs::Entry::Close), 2u) << "nothing to close after two failed opens";

  kvfs.Fail(MemoryKvfs::Entry::Close);
  EXPECT_GE(DirEnsure("cfcard:/bios", FS_O_RDWR, 0), 0);
  EXPECT_EQ(Printed(), "[nL]:close kvfs File failed!retVal:ffffffff\n[nL]:close File failed!\n");
  for (INT32 fd = 0; fd < 10 && kvfs.OpenHandles() != 0; ++fd) kvfs.Interface()->Close(kvfs.Interface(), fd);
}

TEST_F(FileApiTest, DirEnsureMakesAFolderOnOfs1) {
  EXPECT_GE(DirEnsure("ofs1:/logs", FS_O_RDWR, 0), 0);
  EXPECT_TRUE(std::filesystem::is_directory(board->ofs1->Folder() / "logs"));
  Printed();
  EXPECT_GE(DirEnsure("ofs1:/logs", FS_O_RDWR, 0), 0);
  EXPECT_EQ(Printed(), "");
}

class FileApiDeviceTest : public simtest::FileAccessTest, public testing::WithParamInterface<const char *> {
 protected:
  std::string Path(const char *name) { return std::string(GetParam()) + name; }
};

TEST_P(FileApiDeviceTest, DirectoryStreamsListAndSurviveDeletes) {
  for (const char *name : {"a.cc", "b.cc", "c.cc", "d.cc"}) PutFile(Path(name), name);
  size_t poolBefore = board->core.PoolBlocksInUse();
  DirStream *stream = nullptr;
  ASSERT_EQ(DirOpen(Path("").c_str(), &stream), 0);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->lCookie, 0);
  std::vector<std::string> seen;
  char name[DIR_STREAM_NAME_SIZE];
  ASSERT_EQ(DirRead(stream, name), 0);
  seen.push_back(name);
  ASSERT_EQ(DirRead(stream, name), 0);
  seen.push_back(name);
  // Delete the entry just read and one not read yet.
  EXPECT_EQ(FileDelete(Path(seen.back().c_str()).c_str()), 0);
  std::string unread;
  for (const char *other : {"a.cc", "b.cc", "c.cc", "d.cc"}) {
    if (seen[0] != other && seen[1] != other) {
      unread = other;
      break;
    }
  }
  EXPECT_EQ(FileDelete(Path(unread.c_str()).c_str()), 0);
  while (DirRead(stream, name) == 0) seen.push_back(name);
  EXPECT_EQ(seen.size(), 3u) << "every entry but the deleted unread one, none twice";
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end());
  EXPECT_EQ(std::count(seen.begin(), seen.end(), unread), 0);
  EXPECT_EQ(DirRead(stream, name), -1) << "the end stays the end";
  EXPECT_EQ(DirClose(stream), 0);
  // Two files' data went with the deletes on "mfs:".
  size_t freedData = std::string(GetParam()) == "mfs:/" ? 2 : 0;
  EXPECT_EQ(board->core.PoolBlocksInUse(), poolBefore - freedData) << "the stream and name copy are freed";
}

TEST_P(FileApiDeviceTest, DirOpenRefusesAFile) {
  PutFile(Path("f.txt"), "x");
  NewConsole();
  DirStream *stream = nullptr;
  EXPECT_EQ(DirOpen(Path("f.txt").c_str(), &stream), -1);
  EXPECT_EQ(DirOpen(Path("none").c_str(), &stream), -1);
  EXPECT_EQ(stream, nullptr);
  EXPECT_EQ(NewConsole(), "dirName " + Path("f.txt") + "\ndirName " + Path("none") + "\n");
  DirStream unopened{};
  EXPECT_EQ(DirRead(&unopened, nullptr), -1);
  EXPECT_EQ(NewConsole(), "input parameter!\n");
}

TEST_P(FileApiDeviceTest, MissingFilesOpenOnlyWithCreate) {
  INT32 kind = -1;
  EXPECT_EQ(FileOpen(&kind, Path("new.txt").c_str(), FS_O_RDWR, 0), -1);
  INT32 fd = FileOpen(&kind, Path("new.txt").c_str(), FS_O_RDWR | FS_O_CREAT, 0);
  ASSERT_GE(fd, IOS_FIRST_FD);
  EXPECT_EQ(FileWrite(kind, fd, "hello", 5), 5);
  EXPECT_EQ(FileClose(kind, fd), 0);
  fd = FileOpen(&kind, Path("new.txt").c_str(), FS_O_RDWR | FS_O_TRUNC, 0);
  EXPECT_EQ(FileClose(kind, fd), 0);
  EXPECT_EQ(FileGetSize(Path("new.txt").c_str()), 0) << "truncate empties the file";
}

TEST_P(FileApiDeviceTest, StatGivesSizeModeAndTime) {
  PutFile(Path("s.bin"), std::string(1000, 's'));
  StatRecord stat;
  std::memset(&stat, 0xEE, sizeof(stat));
  EXPECT_EQ(FileStat(Path("s.bin").c_str(), &stat), 0);
  EXPECT_EQ(stat.ulMode >> 12, 8u);
  EXPECT_EQ(stat.ulSize, 1000u);
  EXPECT_EQ(stat.ulBlockCount, 2u);
  UINT32 mtime;
  std::memcpy(&mtime, reinterpret_cast<const char *>(&stat) + TFFS_STAT_MTIME_OFFSET, 4);
  EXPECT_EQ(mtime, stat.ulModifyTime);
  EXPECT_EQ(FileStat(Path("").c_str(), &stat), 0);
  EXPECT_EQ((stat.ulMode >> 12) & 0xFF, 4u);
  NewConsole();
  EXPECT_EQ(FileStat(Path("none").c_str(), &stat), -1);
  EXPECT_EQ(Lines(NewConsole()), "[nL]:open tffs fail!\n");
}

// Names that would leave the device's folder (or, on the flat "mfs:",
// name a sub-directory) are refused by open, create and delete alike.
TEST_P(FileApiDeviceTest, EscapingNamesAreRefused) {
  for (const char *name : {"../x", "a/../../x", "..", "../", "dir\\..\\x"}) {
    std::string path = Path(name);
    EXPECT_EQ(IosCreat(path.c_str(), FS_O_RDWR), -1) << path;
    EXPECT_EQ(IosOpen(path.c_str(), FS_O_RDWR | FS_O_CREAT, 0), -1) << path;
    EXPECT_EQ(IosRemove(path.c_str()), -1) << path;
  }
}

INSTANTIATE_TEST_SUITE_P(Devices, FileApiDeviceTest, testing::Values("ofs1:/", "mfs:/"),
                         [](const testing::TestParamInfo<const char *> &info) {
                           return std::string(info.param).substr(0, std::string(info.param).size() - 2);
                         });

// Without the protocols nothing can be done; each operation says so.
class FileApiNoProtocolTest : public simtest::BoardTest {};

TEST_F(FileApiNoProtocolTest, EveryOperationReportsTheMissingProtocol) {
  const std::string plain = "LocateProtocol:gKvfsDriverProtocolGuid fail!\n";
  const std::string lined = "[nL]:LocateProtocol:gKvfsDriverProtocolGuid fail!\n";
  StatRecord stat;
  DirStream stream{};
  DirStream *opened = nullptr;
  char name[DIR_STREAM_NAME_SIZE];
  INT32 kind = 0;
  struct Case {
    const char *what;
    std::function<INT32()> call;
    INT32 result;
    std::string message;
  } cases[] = {
      {"open kvfs", [&] { return FileOpen(&kind, "cfcard:/a", 2, 0); }, -1, plain},
      {"open tffs", [&] { return FileOpen(&kind, "ofs1:/a", 2, 0); }, -1, plain},
      {"create", [&] { return FileCreate(1, "cfcard:/a", 2); }, -1, lined},
      {"create tffs", [&] { return FileCreate(0, "mfs:/a", 2); }, -1, lined},
      {"write", [&] { return FileWrite(1, 3, "x", 1); }, -1, lined},
      {"read", [&] { return FileRead(0, 3, name, 1); }, 0, lined},
      {"seek", [&] { return FileSeek(1, 3, 0, 0); }, 0, "[nL]:LocateProtocol:gKvfsDriverProtocolGuid failed\n"},
      {"close", [&] { return FileClose(0, 3); }, 0, lined},
      {"delete", [&] { return FileDelete("cfcard:/a"); }, -1, lined},
      {"remove", [&] { return FileRemove("mfs:/a"); }, 0, lined},
      {"stat", [&] { return FileStat("ofs1:/a", &stat); }, -1, lined},
      {"stat fd", [&] { return FileStatFd(3, &stat); }, -1, lined},
      {"dir open", [&] { return DirOpen("ofs1:/", &opened); }, -1, "dirName ofs1:/\n" + plain},
      {"dir read", [&] { return DirRead(&stream, name); }, -1, plain},
      {"dir close", [&] { return DirClose(&stream); }, -1, lined},
  };
  size_t mark = 0;
  for (const Case &c : cases) {
    EXPECT_EQ(c.call(), c.result) << c.what;
    EXPECT_EQ(Lines(Console().substr(mark)), c.message) << c.what;
    mark = Console().size();
  }
}

}  // namespace
