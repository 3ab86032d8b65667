// Start-up of the tffs side: the board's "ofs1:" and the firmware's "mfs:"
// behind the installed tffs driver protocol.
#include <gtest/gtest.h>

#include <filesystem>

#include "Devices/Ofs1Folder.h"
#include "FileAccess/FileAccessStart.h"
#include "FileAccess/FileApi.h"
#include "Support/BoardFixture.h"

#include <Library/IoSystemLib.h>
#include <Protocol/BoardFileDevice.h>

namespace {

class FileAccessStartTest : public simtest::BoardTest {};

TEST_F(FileAccessStartTest, BothDevicesServeTheFileApi) {
  EFI_HANDLE handle = nullptr;
  ASSERT_EQ(FileAccessStart(&handle), EFI_SUCCESS);
  VOID *tffs = nullptr;
  EXPECT_EQ(gBS->LocateProtocol(&gTffsDriverProtocolGuid, nullptr, &tffs), EFI_SUCCESS);
  for (const char *path : {"ofs1:/s.txt", "mfs:/s.txt"}) {
    INT32 fd = FileCreate(FS_KIND_TFFS, path, FS_O_RDWR);
    ASSERT_GE(fd, IOS_FIRST_FD) << path;
    EXPECT_EQ(FileClose(FS_KIND_TFFS, fd), 0);
  }
  EXPECT_TRUE(std::filesystem::exists(board->ofs1->Folder() / "s.txt"));
  // A path without a device lands on the default device, "ofs1:".
  INT32 fd = IosOpen("s.txt", FS_O_RDONLY, 0);
  EXPECT_GE(fd, IOS_FIRST_FD);
  EXPECT_EQ(IosClose(fd), 0);
}

TEST_F(FileAccessStartTest, ABoardWithoutFileDevicesStillHasMfs) {
  UINTN count = 0;
  EFI_HANDLE *handles = nullptr;
  ASSERT_EQ(gBS->LocateHandleBuffer(ByProtocol, &gBoardFileDeviceProtocolGuid, nullptr, &count, &handles),
            EFI_SUCCESS);
  ASSERT_EQ(count, 1u);
  ASSERT_EQ(gBS->UninstallProtocolInterface(handles[0], &gBoardFileDeviceProtocolGuid, board->ofs1->Protocol()),
            EFI_SUCCESS);
  gBS->FreePool(handles);
  EFI_HANDLE handle = nullptr;
  ASSERT_EQ(FileAccessStart(&handle), EFI_SUCCESS);
  INT32 kind = -1;
  EXPECT_EQ(FileOpen(&kind, "ofs1:/x", FS_O_RDWR | FS_O_CREAT, 0), -1);
  INT32 fd = FileOpen(&kind, "mfs:/x", FS_O_RDWR | FS_O_CREAT, 0);
  EXPECT_GE(fd, IOS_FIRST_FD);
  EXPECT_EQ(FileClose(kind, fd), 0);
}

}  // namespace
