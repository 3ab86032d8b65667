// Failure paths of the objects layer: what a failing open, create or delete
// took is given back; a close whose flush fails says so; an unreadable page
// inside the file is an error, not its end; a failing write is negative.
#include <gtest/gtest.h>

#include "KvfsObjectTestSupport.h"

namespace kvfstest {
namespace {

using KvfsObjectFaults = KvfsObjectTest;

TEST_F(KvfsObjectFaults, FailingOpensCreatesAndDeletesKeepEveryObjectRecord) {
  INT32 fd = Mkdir("cfcard:/full");
  ASSERT_GE(fd, 0);
  ASSERT_EQ(Close(fd), 0);
  ASSERT_TRUE(WriteFile("cfcard:/full/f", {1}));
  for (int i = 0; i < 300; i++) {
    ASSERT_EQ(Open("cfcard:/missing" + std::to_string(i % 7)), -1);  // every kvfs Create starts with this
    ASSERT_EQ(Open("cfcard:/nodir/x"), -1);
    ASSERT_EQ(Create("cfcard:/full/f"), -1);                        // exists
    ASSERT_EQ(Delete("cfcard:/missing"), -1);
    ASSERT_EQ(Delete("cfcard:/full"), -1);                          // not empty
    ASSERT_EQ(kvfs_ObjectsInUse(dev->usDevNum), 0u) << "round " << i;
  }
  ExpectNoLeaks();
  // All 32 caller records are still there to be used at once.
  std::vector<INT32> fds;
  for (int i = 0; i < 32; i++) {
    fds.push_back(Create("cfcard:/n" + std::to_string(i)));
    ASSERT_GE(fds.back(), 0) << i;
  }
  for (INT32 f : fds) EXPECT_EQ(Close(f), 0);
}

TEST_F(KvfsObjectFaults, CloseReportsAFlushThatFailed) {
  INT32 fd = Create("cfcard:/c");
  ASSERT_GE(fd, 0);
  ASSERT_EQ(Write(fd, Pattern(3000, 2)), 3000);  // still in the page cache
  for (uint32_t b = 0; b < Blocks(); b++) Chip().Faults().FailProgram(sim::NandUnit::Block(b));
  EXPECT_EQ(Close(fd), -1);
  Chip().Faults().Clear();
  ExpectNoLeaks();
}

TEST_F(KvfsObjectFaults, AnUnreadablePageInsideTheFileIsAnErrorNotItsEnd) {
  const uint32_t pds = dev->ulPageDataLen;
  ASSERT_TRUE(WriteFile("cfcard:/u", Pattern(3 * pds, 4)));
  RestartCard();  // nothing cached
  KVFS_BLOCK_NODE *node = nullptr;
  for (uint32_t b = 0; b < KVFS_FILE_HASH_BUCKETS && node == nullptr; b++) node = dev->astFileHash[b].pHead;
  ASSERT_NE(node, nullptr);
  // Header at data page 0, page IDs 1..3 behind it: page ID 2 is chip page index 3.
  Chip().Faults().MakeUncorrectable(sim::NandUnit::Page(ChipPage(node->ulBlockNum, 3)));
  INT32 fd = Open("cfcard:/u");
  ASSERT_GE(fd, 0);
  INT32 result = 0;
  Read(fd, 3 * pds, &result);
  EXPECT_EQ(result, -1);
  Close(fd);
  Chip().Faults().Clear();
  ExpectNoLeaks();
}

TEST_F(KvfsObjectFaults, AWriteThatCannotGoOnIsNegative) {
  INT32 fd = Create("cfcard:/fill");
  ASSERT_GE(fd, 0);
  std::vector<uint8_t> chunk = Pattern(64 * 1024, 5);
  INT32 result = 0;
  for (int i = 0; i < 200; i++) {
    result = Write(fd, chunk);
    if (result != INT32(chunk.size())) break;
  }
  EXPECT_EQ(result, -1) << "a full card ends the writes with -1, not a short count";
  EXPECT_EQ(Create("cfcard:/more"), -1);
  EXPECT_NE(Console().find("Insufficient space, please check!\n"), std::string::npos);
  INT32 size = Seek(fd, 0, FS_SEEK_END);
  EXPECT_GT(size, 0);
  Close(fd);
  EXPECT_EQ(Delete("cfcard:/fill"), 0);
  ExpectNoLeaks();
  ASSERT_TRUE(WriteFile("cfcard:/after", Pattern(10000, 6)));  // the space came back
}

TEST_F(KvfsObjectFaults, AFileThatRecoveryDroppedIsCorruptUntilClosed) {
  const uint32_t first = (PagesPerBlock() - 4) * dev->ulPageDataLen;
  ASSERT_TRUE(WriteFile("cfcard:/lost", Pattern(first + 1000, 8)));
  RestartCard();
  INT32 fd = Open("cfcard:/lost");
  ASSERT_GE(fd, 0);
  UINT32 id = kvfs_GetHandle(fd)->pObject->ulObjectID;
  KVFS_BLOCK_NODE *data = Node(KVFS_TYPE_DATA, id, 1);
  ASSERT_NE(data, nullptr);
  Chip().Faults().MakeUncorrectable(sim::NandUnit::Block(data->ulBlockNum));
  ASSERT_EQ(Seek(fd, INT32(first), FS_SEEK_SET), INT32(first));
  INT32 result = 0;
  Read(fd, 1000, &result);
  EXPECT_EQ(result, -1);
  Chip().Faults().Clear();
  g_iKvfsErrNo = 0;
  EXPECT_EQ(Write(fd, {1, 2, 3}), -1);
  EXPECT_EQ(g_iKvfsErrNo, int32_t(0x80008070));
  FileInfoRecord info;
  StatRecord stat{};
  EXPECT_EQ(kvfs->Fstat(kvfs, fd, &info, &stat), -1);
  EXPECT_EQ(Close(fd), 0);
  ExpectNoLeaks();
  EXPECT_EQ(Open("cfcard:/lost"), -1);
}

}  // namespace
}  // namespace kvfstest
