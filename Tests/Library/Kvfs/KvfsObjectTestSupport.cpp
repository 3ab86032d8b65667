#include "KvfsObjectTestSupport.h"

#include <Library/UefiBootServicesTableLib.h>

namespace kvfstest {

static KVFS_DEVICE *CardDevice() {
  KVFS_DEVICE *table = kvfs_GetDeviceTable();
  for (uint32_t i = 0; i < KVFS_MAX_DEVICES; i++) {
    if (table[i].ucInUse && std::string(table[i].szName) == "cfcard:") return &table[i];
  }
  return nullptr;
}

void KvfsObjectTest::SetUp() {
  kvfs_ForgetObjects();
  KvfsTest::SetUp();
  if (HasFatalFailure()) return;
  ASSERT_EQ(KvfsStartCfcard(), EFI_SUCCESS);
  ASSERT_EQ(gBS->LocateProtocol(&gKvfsDriverProtocolGuid, nullptr, (VOID **)&kvfs), EFI_SUCCESS);
  cardPool = board->core.PoolBytesInUse();
  devUseCount = dev->ulUseCount;
}

void KvfsObjectTest::TearDown() {
  if (dev != nullptr && dev->ucInUse) {
    ExpectNoLeaks();
    EXPECT_EQ(KvfsStopCfcard(), EFI_SUCCESS);
    EXPECT_EQ(board->core.PoolBytesInUse(), poolBaseline) << "pool bytes leaked";
  }
  kvfs_ForgetObjects();
  g_pfnKvfsNow = kvfs_Now;  // a test may have set its own clock
  KvfsTest::TearDown();
}

void KvfsObjectTest::RestartCard() {
  ASSERT_EQ(KvfsStopCfcard(), EFI_SUCCESS);
  EXPECT_EQ(board->core.PoolBytesInUse(), poolBaseline) << "pool bytes leaked by the unmount";
  // The test chip is smaller than the part NandCtl takes it for: mount it
  // over its real blocks, then let the start-up routine install the
  // protocol over the mounted card.
  Mount();
  ASSERT_EQ(KvfsStartCfcard(), EFI_SUCCESS);
  dev = CardDevice();
  ASSERT_NE(dev, nullptr);
  ASSERT_EQ(gBS->LocateProtocol(&gKvfsDriverProtocolGuid, nullptr, (VOID **)&kvfs), EFI_SUCCESS);
  cardPool = board->core.PoolBytesInUse();
  devUseCount = dev->ulUseCount;
}

void KvfsObjectTest::ExpectNoLeaks() {
  ASSERT_NE(dev, nullptr);
  EXPECT_EQ(kvfs_HandlesInUse(dev->usDevNum), 0u) << "a handle is still in use";
  EXPECT_EQ(kvfs_ObjectsInUse(dev->usDevNum), 0u) << "an object record is still in use";
  EXPECT_EQ(dev->ulUseCount, devUseCount) << "the device's use count drifted";
  EXPECT_EQ(kvfs_PageBufInUse(dev), 0u);
  EXPECT_EQ(kvfs_BlockInfoInUse(dev), 0u);
}

std::vector<uint8_t> KvfsObjectTest::Read(INT32 fd, uint32_t length, INT32 *result) {
  std::vector<uint8_t> out(length);
  INT32 n = kvfs->Read(kvfs, fd, out.data(), length);
  if (result != nullptr) *result = n;
  out.resize(n > 0 ? size_t(n) : 0);
  return out;
}

bool KvfsObjectTest::ReadFile(const std::string &path, std::vector<uint8_t> *content) {
  INT32 fd = Open(path);
  if (fd < 0) return false;
  INT32 size = Seek(fd, 0, FS_SEEK_END);
  Seek(fd, 0, FS_SEEK_SET);
  INT32 n = 0;
  *content = Read(fd, uint32_t(size > 0 ? size : 0) + 16, &n);
  INT32 closed = Close(fd);
  return n == size && closed == 0;
}

bool KvfsObjectTest::WriteFile(const std::string &path, const std::vector<uint8_t> &content) {
  INT32 fd = Create(path);
  if (fd < 0) return false;
  INT32 n = Write(fd, content);
  return Close(fd) == 0 && n == INT32(content.size());
}

std::vector<std::string> KvfsObjectTest::List(const std::string &path) {
  std::vector<std::string> names;
  INT32 fd = Open(path, FS_O_RDWR, FS_MODE_DIR);
  if (fd < 0) return names;
  CHAR8 name[100];
  FileInfoRecord info;
  for (INT32 r = kvfs->ReadDir(kvfs, fd, name, 0, &info); r == 0; r = kvfs->ReadDir(kvfs, fd, name, 1, &info)) {
    names.push_back(name);
  }
  Close(fd);
  return names;
}

}  // namespace kvfstest
