// The "ofs1:" folder driver on its own: where files go, refused names,
// time stamps from the board clock, directory streams.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "Board/Board.h"
#include "Devices/Ofs1Folder.h"

#include <Protocol/TffsDriver.h>

namespace fs = std::filesystem;

namespace {

class Ofs1FolderTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "ofs1test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    scratch = pattern;
    folder = std::make_unique<sim::Ofs1Folder>((scratch / "ofs1").string(), [this] { return now; });
  }
  void TearDown() override {
    if (folder) { EXPECT_EQ(folder->OpenCount(), 0u); }
    folder.reset();
    fs::remove_all(scratch);
  }

  INTN Open(const char *name, INT32 flags, INT32 mode = 0) {
    std::string buffer(IOS_PATH_MAX, '\0');
    std::strncpy(buffer.data(), name, IOS_PATH_MAX - 1);
    return Funcs().pfnOpen(folder->Device(), buffer.data(), flags, mode);
  }
  INTN Create(const char *name) {
    std::string buffer(IOS_PATH_MAX, '\0');
    std::strncpy(buffer.data(), name, IOS_PATH_MAX - 1);
    return Funcs().pfnCreate(folder->Device(), buffer.data(), FS_O_RDWR);
  }
  INT32 Delete(const char *name) {
    std::string buffer(name);
    return Funcs().pfnDelete(folder->Device(), buffer.data());
  }
  static const IOS_DRIVER_FUNCS &Funcs() { return sim::Ofs1Folder::Funcs(); }
  void Write(const fs::path &path, const std::string &content) { std::ofstream(path, std::ios::binary) << content; }

  fs::path scratch;
  uint32_t now = 1700000000;
  std::unique_ptr<sim::Ofs1Folder> folder;
};

TEST_F(Ofs1FolderTest, FilesAreFilesOfTheFolder) {
  INTN file = Create("/pkg.cc");
  ASSERT_NE(file, -1);
  EXPECT_EQ(Funcs().pfnWrite(file, "package", 7), 7);
  EXPECT_EQ(Funcs().pfnClose(file), 0);
  std::ifstream in(scratch / "ofs1" / "pkg.cc", std::ios::binary);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "package");
  // And a file a user drops in is seen.
  Write(scratch / "ofs1" / "user.txt", "from the host");
  file = Open("/user.txt", FS_O_RDONLY);
  ASSERT_NE(file, -1);
  char buffer[32] = {};
  EXPECT_EQ(Funcs().pfnRead(file, buffer, sizeof(buffer)), 13);
  EXPECT_EQ(Funcs().pfnWrite(file, "x", 1), -1) << "opened read-only";
  EXPECT_EQ(Funcs().pfnClose(file), 0);
}

TEST_F(Ofs1FolderTest, MissingFilesOpenOnlyWithCreate) {
  EXPECT_EQ(Open("/none", FS_O_RDWR), -1);
  EXPECT_FALSE(fs::exists(scratch / "ofs1" / "none"));
  INTN file = Open("/none", FS_O_RDWR | FS_O_CREAT);
  ASSERT_NE(file, -1);
  EXPECT_EQ(Funcs().pfnClose(file), 0);
  EXPECT_TRUE(fs::exists(scratch / "ofs1" / "none"));
  EXPECT_EQ(Open("/sub/none", FS_O_RDWR | FS_O_CREAT), -1) << "no folder is made on the way";
}

TEST_F(Ofs1FolderTest, NamesThatLeaveTheFolderAreRefused) {
  Write(scratch / "secret", "outside");
  fs::create_directory(scratch / "ofs1" / "dir");
  fs::create_symlink(scratch / "secret", scratch / "ofs1" / "out-file");
  fs::create_symlink(scratch, scratch / "ofs1" / "out-dir");
  fs::create_symlink("dir", scratch / "ofs1" / "in-dir");
  const char *refused[] = {"/../secret", "../secret", "/dir/../../secret", "/out-file", "/out-dir/secret",
                           "/out-dir",   "/..",       "\\..\\secret",      "/dir\\x",
                           "/dir/../d"};  // ".." is refused even where it would stay inside
  for (const char *name : refused) {
    fs::path resolved;
    EXPECT_FALSE(folder->Resolve(name, &resolved)) << name;
    EXPECT_EQ(Open(name, FS_O_RDWR), -1) << name;
    EXPECT_EQ(Open(name, FS_O_RDWR | FS_O_CREAT), -1) << name;
    EXPECT_EQ(Create(name), -1) << name;
    EXPECT_EQ(Delete(name), -1) << name;
  }
  std::ifstream in(scratch / "secret");
  std::string content;
  in >> content;
  EXPECT_EQ(content, "outside");
  // Inside stays allowed: a doubled slash, a dot, a symlink to a folder inside.
  for (const char *name : {"//dir/a", "/./dir/b", "/in-dir/c"}) {
    INTN file = Open(name, FS_O_RDWR | FS_O_CREAT);
    EXPECT_NE(file, -1) << name;
    if (file != -1) { EXPECT_EQ(Funcs().pfnClose(file), 0); }
  }
  EXPECT_TRUE(fs::exists(scratch / "ofs1" / "dir" / "c"));
}

TEST_F(Ofs1FolderTest, StatCarriesTheBoardClockAtOffset44) {
  INTN file = Create("/t.bin");
  now = 1800000000;
  EXPECT_EQ(Funcs().pfnWrite(file, "abc", 3), 3);
  StatRecord stat;
  ASSERT_EQ(Funcs().pfnIoctl(file, TFFS_IOCTL_STAT, INTN(&stat)), 0);
  UINT32 atOffset44;
  std::memcpy(&atOffset44, reinterpret_cast<const char *>(&stat) + TFFS_STAT_MTIME_OFFSET, 4);
  EXPECT_EQ(atOffset44, 1800000000u);
  EXPECT_EQ(stat.ulSize, 3u);
  EXPECT_EQ(stat.ulMode, UINT32(FS_MODE_REG | 0x1FF));
  EXPECT_EQ(Funcs().pfnClose(file), 0);
}

TEST_F(Ofs1FolderTest, PositionIoctls) {
  INTN file = Create("/p.bin");
  EXPECT_EQ(Funcs().pfnWrite(file, "0123456789", 10), 10);
  INT32 available = -1;
  EXPECT_EQ(Funcs().pfnIoctl(file, IOS_FIOWHERE, 0), 10);
  EXPECT_EQ(Funcs().pfnIoctl(file, IOS_FIOSEEK, 4), 0);
  EXPECT_EQ(Funcs().pfnIoctl(file, IOS_FIONREAD, INTN(&available)), 0);
  EXPECT_EQ(available, 6);
  EXPECT_EQ(Funcs().pfnIoctl(file, IOS_FIOSEEK, -1), -1);
  EXPECT_EQ(Funcs().pfnIoctl(file, 99, 0), -1);
  // Writing past the end leaves zeros in the gap.
  EXPECT_EQ(Funcs().pfnIoctl(file, IOS_FIOSEEK, 12), 0);
  EXPECT_EQ(Funcs().pfnWrite(file, "x", 1), 1);
  EXPECT_EQ(fs::file_size(scratch / "ofs1" / "p.bin"), 13u);
  EXPECT_EQ(Funcs().pfnClose(file), 0);
  EXPECT_EQ(Funcs().pfnClose(file), -1) << "a value is closed once";
}

TEST_F(Ofs1FolderTest, DirectoryCookiesSurviveDeletes) {
  for (const char *name : {"a", "b", "c", "d", "e"}) Write(scratch / "ofs1" / name, name);
  INTN dir = Open("/", FS_O_RDWR);
  ASSERT_NE(dir, -1);
  DirStream stream{};
  std::string seen;
  ASSERT_EQ(Funcs().pfnIoctl(dir, TFFS_IOCTL_READ_DIR, INTN(&stream)), 0);
  seen += stream.szName;
  ASSERT_EQ(Funcs().pfnIoctl(dir, TFFS_IOCTL_READ_DIR, INTN(&stream)), 0);
  seen += stream.szName;
  EXPECT_EQ(seen, "ab");
  EXPECT_EQ(Delete("/a"), 0);
  EXPECT_EQ(Delete("/b"), 0);
  EXPECT_EQ(Delete("/d"), 0);
  while (Funcs().pfnIoctl(dir, TFFS_IOCTL_READ_DIR, INTN(&stream)) == 0) seen += stream.szName;
  EXPECT_EQ(seen, "abce");
  EXPECT_EQ(Funcs().pfnRead(dir, &stream, 4), -1) << "a directory has no bytes";
  EXPECT_EQ(Funcs().pfnClose(dir), 0);
}

TEST_F(Ofs1FolderTest, FoldersAreMadeWithTheDirectoryMode) {
  INTN dir = Open("/logs", FS_O_RDWR | FS_O_CREAT, FS_MODE_DIR);
  ASSERT_NE(dir, -1);
  EXPECT_TRUE(fs::is_directory(scratch / "ofs1" / "logs"));
  EXPECT_EQ(Funcs().pfnClose(dir), 0);
  EXPECT_EQ(Create("/logs"), -1) << "a folder is not a file";
  EXPECT_EQ(Delete("/"), -1) << "the folder itself stays";
  EXPECT_EQ(Delete("/logs"), 0);
}

TEST(Ofs1BoardTest, TheBoardKeepsOfs1InItsDirectory) {
  std::string pattern = (fs::temp_directory_path() / "ofs1board-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  fs::path temporary;
  {
    sim::BoardSettings settings;
    settings.clock = "2026-01-01 00:00:10";
    sim::Board board(pattern, settings);
    EXPECT_EQ(board.ofs1->Folder(), fs::canonical(fs::path(pattern) / sim::kOfs1Folder));
    board.clock.Advance(5'000'000'000ull);
    char name[IOS_PATH_MAX] = "/clock.txt";
    INTN file = sim::Ofs1Folder::Funcs().pfnCreate(board.ofs1->Device(), name, FS_O_RDWR);
    StatRecord stat;
    ASSERT_EQ(sim::Ofs1Folder::Funcs().pfnIoctl(file, TFFS_IOCTL_STAT, INTN(&stat)), 0);
    EXPECT_EQ(stat.ulAccessTime, 1767225600u + 10 + 5) << "the board clock: setting plus run time";
    EXPECT_EQ(sim::Ofs1Folder::Funcs().pfnClose(file), 0);
  }
  {
    sim::Board memoryBoard;
    temporary = memoryBoard.ofs1->Folder();
    EXPECT_TRUE(fs::is_directory(temporary));
  }
  EXPECT_FALSE(fs::exists(temporary)) << "an in-memory board's folder goes with it";
  EXPECT_TRUE(fs::exists(fs::path(pattern) / sim::kOfs1Folder / "clock.txt"));
  fs::remove_all(pattern);
}

}  // namespace
