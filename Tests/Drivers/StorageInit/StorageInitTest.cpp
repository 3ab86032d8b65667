// StorageInit on the board's own NAND chip: after NandCtl and StorageInit
// both file system protocols are there, and the boot log lands on the real
// kvfs card.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../NandCtl/NandCtlTestSupport.h"
#include "BootupCC/boot/StartupConfig.h"
#include "BootupCC/records/BootLog.h"
#include "Kvfs/KvfsDriverProtocol.h"
#include "Kvfs/KvfsMount.h"
#include "Kvfs/KvfsObject.h"
#include "StorageInit.h"
#include "Support/BoardFixture.h"

#include <Protocol/TffsDriver.h>

namespace {

const char kLogPath[] = "cfcard:/bioslog.log";

class StorageInitTest : public simtest::BoardTest {
 protected:
  void SetUp() override {
    BoardTest::SetUp();
    kvfs_ForgetObjects();
    kvfs_ForgetDevices();
    ASSERT_EQ(simtest::LoadNandCtl(*board), EFI_SUCCESS);
  }
  void TearDown() override {
    KvfsStopCfcard();
    kvfs_ForgetObjects();
    kvfs_ForgetDevices();
    simtest::ResetNandCtlGlobals();
    gBiosLogMode = savedMode_;
    BoardTest::TearDown();
  }

  EFI_STATUS LoadStorageInit() {
    EFI_HANDLE handle = board->core.CreateImageHandle("StorageInit");
    return StorageInitEntryPoint(handle, board->core.SystemTable());
  }
  template <typename T>
  T *Locate(EFI_GUID *guid) {
    T *found = nullptr;
    return EFI_ERROR(gBS->LocateProtocol(guid, nullptr, (VOID **)&found)) ? nullptr : found;
  }
  KVFS_DRIVER_PROTOCOL *Kvfs() { return Locate<KVFS_DRIVER_PROTOCOL>(&gKvfsDriverProtocolGuid); }

  // The whole file through the protocol, as any other reader sees it.
  std::string ReadBack(const char *path) {
    KVFS_DRIVER_PROTOCOL *kvfs = Kvfs();
    INT32 fd = kvfs->Open(kvfs, path, FS_O_RDONLY, 0);
    if (fd < 0) return "<missing>";
    std::string content;
    std::vector<char> chunk(64 * 1024);
    for (;;) {
      INT32 n = kvfs->Read(kvfs, fd, chunk.data(), UINT32(chunk.size()));
      if (n <= 0) break;
      content.append(chunk.data(), size_t(n));
    }
    EXPECT_EQ(kvfs->Close(kvfs, fd), 0);
    return content;
  }
  void WriteFile(const char *path, size_t size) {
    KVFS_DRIVER_PROTOCOL *kvfs = Kvfs();
    INT32 fd = kvfs->Create(kvfs, path, FS_O_RDWR, 0);
    ASSERT_GE(fd, 0);
    std::vector<char> data(size, 'x');
    ASSERT_EQ(kvfs->Write(kvfs, fd, data.data(), UINT32(size)), INT32(size));
    ASSERT_EQ(kvfs->Close(kvfs, fd), 0);
  }

  UINT32 savedMode_ = gBiosLogMode;
};

TEST_F(StorageInitTest, InstallsBothProtocolsAndTheBootLogGrowsOnTheCard) {
  ASSERT_EQ(LoadStorageInit(), EFI_SUCCESS);
  ASSERT_NE(Locate<TFFS_DRIVER_PROTOCOL>(&gTffsDriverProtocolGuid), nullptr);
  ASSERT_NE(Kvfs(), nullptr);

  gBiosLogMode = 2;
  BiosLog(LOG_SOURCE_BIOS_FUNC, 10, "first %a\n", "entry", 0);
  BiosLog(LOG_SOURCE_BIOS_FUNC, 11, "second %d\n", 2, 0);
  std::string log = ReadBack(kLogPath);
  EXPECT_NE(log.find("LINE:10:first entry\n"), std::string::npos) << log;
  EXPECT_LT(log.find("LINE:10:"), log.find("LINE:11:second 2\n")) << log;

  // The card survives a restart with the entries on it.
  ASSERT_EQ(KvfsStopCfcard(), EFI_SUCCESS);
  kvfs_ForgetObjects();
  kvfs_ForgetDevices();
  ASSERT_EQ(KvfsStartCfcard(), EFI_SUCCESS);
  EXPECT_EQ(ReadBack(kLogPath), log);
}

TEST_F(StorageInitTest, BootLogRestartsOnlyPast4MiB) {
  ASSERT_EQ(LoadStorageInit(), EFI_SUCCESS);
  gBiosLogMode = 2;
  struct Case {
    size_t size;
    bool restarted;
  } const cases[] = {{0x400000, false}, {0x400001, true}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.size);
    WriteFile(kLogPath, c.size);
    BiosLog(LOG_SOURCE_BIOS_FUNC, 77, "after the big write\n", 0, 0);
    std::string log = ReadBack(kLogPath);
    size_t entryAt = log.find("LINE:77:after the big write\n");
    ASSERT_NE(entryAt, std::string::npos);
    if (c.restarted) {
      EXPECT_EQ(log.size(), entryAt + 28);
      EXPECT_LT(entryAt, 32u);  // only the timestamp before it
      EXPECT_EQ(log.find('x'), std::string::npos);
    } else {
      EXPECT_EQ(log.substr(0, c.size), std::string(c.size, 'x'));
      EXPECT_GT(log.size(), c.size);
    }
    EXPECT_EQ(Kvfs()->Delete(Kvfs(), kLogPath), 0);
  }
  EXPECT_NE(Console().find("The File size is 4M! \n"), std::string::npos);
}

TEST_F(StorageInitTest, ALongMessageIsCutToOneFullEntryOnTheCard) {
  ASSERT_EQ(LoadStorageInit(), EFI_SUCCESS);
  gBiosLogMode = 2;
  std::string message(1100, 'm');
  BiosLog(LOG_SOURCE_BIOS_FUNC, 5, "%a", message.c_str(), 0);
  std::string log = ReadBack(kLogPath);
  EXPECT_EQ(log.size(), 1023u);
  size_t text = log.find("LINE:5:");
  ASSERT_NE(text, std::string::npos);
  EXPECT_EQ(log.substr(text + 7), std::string(1023 - text - 7, 'm'));
  gBiosLogMode = 2;
}

TEST_F(StorageInitTest, ModesZeroAndOneLeaveTheCardAlone) {
  ASSERT_EQ(LoadStorageInit(), EFI_SUCCESS);
  for (UINT32 mode : {0u, 1u}) {
    SCOPED_TRACE(mode);
    size_t consoleBefore = Console().size();
    gBiosLogMode = mode;
    BiosLog(LOG_SOURCE_BIOS_FUNC, 3, "quiet %a\n", "please", 0);
    gBiosLogMode = 2;
    if (mode == 0) {
      EXPECT_EQ(Console().substr(consoleBefore), "");
    }
    EXPECT_EQ(ReadBack(kLogPath), "<missing>");
  }
}

TEST_F(StorageInitTest, ABoardWithoutNandKeepsTheTffsSide) {
  // NandCtl failed or is missing: the card cannot be mounted, ofs1:/mfs:
  // still serve and the driver stays loaded.
  VOID *pageDevice = nullptr;
  EFI_HANDLE *handles = nullptr;
  UINTN count = 0;
  ASSERT_EQ(gBS->LocateHandleBuffer(ByProtocol, &gNandPageDeviceProtocolGuid, nullptr, &count, &handles), EFI_SUCCESS);
  ASSERT_EQ(gBS->HandleProtocol(handles[0], &gNandPageDeviceProtocolGuid, &pageDevice), EFI_SUCCESS);
  ASSERT_EQ(gBS->UninstallProtocolInterface(handles[0], &gNandPageDeviceProtocolGuid, pageDevice), EFI_SUCCESS);
  gBS->FreePool(handles);

  EXPECT_EQ(LoadStorageInit(), EFI_SUCCESS);
  EXPECT_NE(Locate<TFFS_DRIVER_PROTOCOL>(&gTffsDriverProtocolGuid), nullptr);
  EXPECT_EQ(Kvfs(), nullptr);
  EXPECT_NE(Console().find("[StorageInit]:cfcard: is not available, Status="), std::string::npos) << Console();
}

}  // namespace
