#include "FileAccessTestSupport.h"

#include "Devices/Ofs1Folder.h"

#include "FileAccess/FileAccessStart.h"

#include <Library/IoSystemLib.h>

namespace simtest {

void FileAccessTest::SetUp() {
  BoardTest::SetUp();
  // As at power-up: the board has published "ofs1:".
  EFI_HANDLE handle = nullptr;
  ASSERT_EQ(FileAccessStart(&handle), EFI_SUCCESS);
}

void FileAccessTest::TearDown() {
  EXPECT_EQ(board->ofs1->OpenCount(), 0u) << "a file was left open on ofs1:";
  EXPECT_EQ(kvfs.OpenHandles(), 0u) << "a kvfs handle was left open";
  BoardTest::TearDown();
}

std::string FileAccessTest::NewConsole() {
  std::string text = Console().substr(consoleMark_);
  consoleMark_ = Console().size();
  return text;
}

void FileAccessTest::PutFile(const std::string &path, const std::string &content) {
  INT32 fd = IosCreat(path.c_str(), FS_O_RDWR);
  ASSERT_GE(fd, IOS_FIRST_FD) << path;
  ASSERT_EQ(IosWrite(fd, content.data(), UINT32(content.size())), INT32(content.size()));
  ASSERT_EQ(IosClose(fd), 0);
}

std::string FileAccessTest::GetFile(const std::string &path) {
  INT32 fd = IosOpen(path.c_str(), FS_O_RDONLY, 0);
  if (fd < 0) return "<missing>";
  std::string content;
  char buffer[300];
  INT32 count;
  while ((count = IosRead(fd, buffer, sizeof(buffer))) > 0) content.append(buffer, size_t(count));
  IosClose(fd);
  return content;
}

}  // namespace simtest
