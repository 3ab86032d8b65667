// A test board with "cfcard:" mounted and the kvfs driver protocol
// installed, driven through the protocol the way BootAgent's file API
// drives it. Every test ends with no handle, object record, page buffer or
// pool byte left over.
#pragma once

#include <string>
#include <vector>

#include "KvfsTestSupport.h"

#include "Kvfs/KvfsDriverProtocol.h"
#include "Kvfs/KvfsObject.h"

namespace kvfstest {

class KvfsObjectTest : public KvfsTest {
 public:
  explicit KvfsObjectTest(uint32_t blocks = 64, uint32_t pagesPerBlock = 32) : KvfsTest(blocks, pagesPerBlock) {}

  void SetUp() override;
  void TearDown() override;

  // Stops and starts the card through the protocol's own routines.
  void RestartCard();
  // No handle or object record in use, the device's use count as mounted,
  // nothing held in the caches.
  void ExpectNoLeaks();

  INT32 Open(const std::string &path, INT32 flags = FS_O_RDWR, INT32 mode = 0) {
    return kvfs->Open(kvfs, path.c_str(), flags, mode);
  }
  INT32 Create(const std::string &path, INT32 flags = FS_O_RDWR) {
    return kvfs->Create(kvfs, path.c_str(), flags, 0);
  }
  INT32 Mkdir(const std::string &path) { return kvfs->Mkdir(kvfs, path.c_str(), FS_O_RDWR, 0); }
  INT32 Write(INT32 fd, const std::vector<uint8_t> &data) {
    return kvfs->Write(kvfs, fd, data.data(), UINT32(data.size()));
  }
  std::vector<uint8_t> Read(INT32 fd, uint32_t length, INT32 *result = nullptr);
  INT32 Seek(INT32 fd, INT32 offset, INT32 whence) { return kvfs->Seek(kvfs, fd, offset, whence); }
  INT32 Close(INT32 fd) { return kvfs->Close(kvfs, fd); }
  INT32 Delete(const std::string &path) { return kvfs->Delete(kvfs, path.c_str()); }
  // Whole file by path (open, read, close); empty optional-like flag.
  bool ReadFile(const std::string &path, std::vector<uint8_t> *content);
  bool WriteFile(const std::string &path, const std::vector<uint8_t> &content);
  // Entry names of a directory through ReadDir.
  std::vector<std::string> List(const std::string &path);

  KVFS_DRIVER_PROTOCOL *kvfs = nullptr;
  size_t cardPool = 0;      // pool bytes with the card mounted and idle
  uint32_t devUseCount = 0;  // the device's use count when idle
};

}  // namespace kvfstest
