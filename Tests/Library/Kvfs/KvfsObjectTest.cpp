// kvfs objects, handles and directories through the kvfs driver protocol:
// path resolution, sharing and exclusive opens, gaps and truncation, delete
// refusals, listings, stat, and the protocol's own rules.
#include <gtest/gtest.h>

#include <set>

#include "KvfsObjectTestSupport.h"

namespace kvfstest {
namespace {

std::vector<uint8_t> Bytes(const std::string &text) { return std::vector<uint8_t>(text.begin(), text.end()); }

using KvfsObjectPaths = KvfsObjectTest;

TEST_F(KvfsObjectPaths, PathsResolveAsWrittenOrRefuseWithTheirErrorNumber) {
  INT32 dir = Mkdir("cfcard:/a");
  ASSERT_GE(dir, 0);
  ASSERT_EQ(Close(dir), 0);
  ASSERT_TRUE(WriteFile("cfcard:/a/File.Txt", Bytes("in a")));
  ASSERT_TRUE(WriteFile("cfcard:/b", Bytes("top b")));
  std::string deep = "cfcard:";
  for (int i = 0; i < 32; i++) deep += "/x";  // 33 components: parses, the first directory is missing
  std::string tooDeep = deep + "/x";       // 34 components
  struct Case {
    std::string path;
    const char *content;  // nullptr: the open fails
    INT32 errNo;
  } cases[] = {
      {"cfcard:/a/file.txt", "in a", 0},
      {"cfcard:/A/FILE.TXT", "in a", 0},           // names match whatever their case
      {"cfcard:/./a/../b", "top b", 0},            // ".", a, "..", b resolves to b
      {"cfcard:/../../b", "top b", 0},             // ".." above the top stays there
      {"cfcard:/a\\file.txt", "in a", 0},          // backslashes separate too
      {"cfcard:/a/file.txt. .", "in a", 0},        // trailing dots and spaces are not part of a name
      {"cfcard:/  ", nullptr, int32_t(0x80008075)},  // a component of spaces only
      {"cfcard:/a/  /b", nullptr, int32_t(0x80008075)},
      {"cfcard:/missing/b", nullptr, int32_t(0x80008079)},
      {deep, nullptr, int32_t(0x80008079)},
      {tooDeep, nullptr, int32_t(0x80008075)},
      {"cfcard:/a*b", nullptr, 0},
      {"cfcard:/nothing", nullptr, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.path);
    g_iKvfsErrNo = 0;
    std::vector<uint8_t> content;
    if (c.content == nullptr) {
      EXPECT_EQ(Open(c.path), -1);
      if (c.errNo != 0) { EXPECT_EQ(g_iKvfsErrNo, c.errNo); }
    } else {
      ASSERT_TRUE(ReadFile(c.path, &content));
      EXPECT_EQ(content, Bytes(c.content));
    }
    ExpectNoLeaks();
  }
  // The stored name keeps its case.
  EXPECT_EQ(List("cfcard:/a"), (std::vector<std::string>{".", "..", "File.Txt"}));
}

TEST_F(KvfsObjectPaths, OpenPathLengthLimitIsBelow260Bytes) {
  std::string base = "cfcard:/";
  std::string at259 = base + std::string(259 - base.size(), 'n');
  std::string at260 = base + std::string(260 - base.size(), 'n');
  EXPECT_EQ(Open(at259), -1);  // it proceeds to kvfs, whose regulation refuses 255 bytes and more
  EXPECT_EQ(Console().find("NAME_TOO_LONG"), std::string::npos);
  EXPECT_EQ(Open(at260), -1);
  EXPECT_NE(Console().find("ERROR: [kvfsOpen] S_dosFsLib_NAME_TOO_LONG\n"), std::string::npos);
  EXPECT_EQ(g_iKvfsErrNo, int32_t(0x8000800B));
  EXPECT_EQ(Open("tffs:/x"), -1);
  EXPECT_NE(Console().find("ERROR: [kvfsOpen] kvfsDevicePathPrase failed!return:-1\n"), std::string::npos);
}

using KvfsObjectOpens = KvfsObjectTest;

TEST_F(KvfsObjectOpens, ExistingDirectoryOpensWithoutTheDirectoryFlag) {
  INT32 fd = Mkdir("cfcard:/d");
  ASSERT_GE(fd, 0);
  ASSERT_EQ(Close(fd), 0);
  fd = Open("cfcard:/d");
  ASSERT_GE(fd, 0);
  EXPECT_EQ(kvfs_GetHandle(fd)->pObject->ulType, uint32_t(KVFS_TYPE_DIR));
  EXPECT_EQ(Close(fd), 0);
}

TEST_F(KvfsObjectOpens, ExclusiveOpensAreDeniedBothWays) {
  ASSERT_TRUE(WriteFile("cfcard:/f", Bytes("x")));
  for (bool exclusiveFirst : {true, false}) {
    SCOPED_TRACE(exclusiveFirst);
    INT32 first = kvfs_open("cfcard//f", KVFS_O_RDWR | (exclusiveFirst ? KVFS_O_EXCL : 0), 0x600, dev->usDevNum);
    ASSERT_GE(first, 0);
    g_iKvfsErrNo = 0;
    EXPECT_EQ(kvfs_open("cfcard//f", KVFS_O_RDWR | (exclusiveFirst ? 0 : KVFS_O_EXCL), 0x600, dev->usDevNum), -1);
    EXPECT_EQ(g_iKvfsErrNo, int32_t(0x8000806C));
    EXPECT_NE(Console().find("[kvfs_open]:open file  cfcard//f denied\n"), std::string::npos);
    EXPECT_EQ(kvfs_ObjectsInUse(dev->usDevNum), 1u);
    EXPECT_EQ(kvfs_close(first), 0);
  }
}

TEST_F(KvfsObjectOpens, HandlesOnOneFileShareItsObject) {
  ASSERT_TRUE(WriteFile("cfcard:/f", Bytes("0123456789")));
  INT32 a = Open("cfcard:/f");
  INT32 b = Open("cfcard:/F");
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);
  EXPECT_EQ(kvfs_GetHandle(a)->pObject, kvfs_GetHandle(b)->pObject);
  EXPECT_EQ(kvfs_GetHandle(a)->pObject->useCount, 2u);
  EXPECT_EQ(Seek(a, 0, FS_SEEK_END), 10);
  EXPECT_EQ(Write(a, Bytes("ab")), 2);
  EXPECT_EQ(Read(b, 100), Bytes("0123456789ab"));  // b sees a's bytes, at its own position
  EXPECT_EQ(Close(a), 0);
  EXPECT_EQ(kvfs_ObjectsInUse(dev->usDevNum), 1u);
  EXPECT_EQ(Close(b), 0);
}

TEST_F(KvfsObjectOpens, AllThirtyTwoHandlesThenTheNextIsRefused) {
  ASSERT_TRUE(WriteFile("cfcard:/f", Bytes("x")));
  std::vector<INT32> fds;
  for (int i = 0; i < KVFS_HANDLES_PER_DEVICE; i++) {
    fds.push_back(Open("cfcard:/f"));
    ASSERT_GE(fds.back(), 0);
  }
  g_iKvfsErrNo = 0;
  EXPECT_EQ(Open("cfcard:/f"), -1);
  EXPECT_EQ(g_iKvfsErrNo, int32_t(0x8000806D));
  for (INT32 fd : fds) EXPECT_EQ(Close(fd), 0);
}

using KvfsObjectData = KvfsObjectTest;

TEST_F(KvfsObjectData, SeekPastTheEndAndWriteFillsTheGapWithZeros) {
  ASSERT_TRUE(WriteFile("cfcard:/g", Bytes("abc")));
  INT32 fd = Open("cfcard:/g");
  ASSERT_GE(fd, 0);
  EXPECT_EQ(Seek(fd, 10, FS_SEEK_END), 13);
  EXPECT_EQ(Write(fd, Bytes("z")), 1);
  EXPECT_EQ(Seek(fd, 0, FS_SEEK_END), 14);
  EXPECT_EQ(Seek(fd, -100, FS_SEEK_END), 0);  // below minus the size: the start
  std::vector<uint8_t> expected = Bytes("abc");
  expected.resize(13, 0);
  expected.push_back('z');
  EXPECT_EQ(Read(fd, 100), expected);
  EXPECT_EQ(Seek(fd, -1, FS_SEEK_SET), -1);
  EXPECT_EQ(Seek(fd, 0, 3), -1);
  EXPECT_EQ(Close(fd), 0);
}

TEST_F(KvfsObjectData, AGapOfManyBlocksIsFilledAPageAtATime) {
  // The gap spans several data blocks; the fill never asks the pool for it
  // in one piece.
  INT32 fd = Create("cfcard:/gap");
  ASSERT_GE(fd, 0);
  const INT32 gap = 700 * 1024;
  ASSERT_EQ(Seek(fd, gap, FS_SEEK_SET), gap);
  EXPECT_EQ(Write(fd, Bytes("end")), 3);
  EXPECT_EQ(Close(fd), 0);
  std::vector<uint8_t> content;
  ASSERT_TRUE(ReadFile("cfcard:/gap", &content));
  ASSERT_EQ(content.size(), size_t(gap) + 3);
  for (INT32 i = 0; i < gap; i += 997) ASSERT_EQ(content[size_t(i)], 0) << i;
  EXPECT_EQ(std::string(content.end() - 3, content.end()), "end");
}

TEST_F(KvfsObjectData, TruncatingIntoTheSecondDataBlockReleasesTheThird) {
  const uint32_t pds = dev->ulPageDataLen;
  const uint32_t first = (PagesPerBlock() - 4) * pds;
  const uint32_t perBlock = DataPages() * pds;
  const uint32_t size = first + 2 * perBlock + perBlock / 2;
  std::vector<uint8_t> content = Pattern(size, 7);
  ASSERT_TRUE(WriteFile("cfcard:/big", content));
  INT32 fd = Open("cfcard:/big");
  ASSERT_GE(fd, 0);
  KvfsObject *obj = kvfs_GetHandle(fd)->pObject;
  UINT32 id = obj->ulObjectID;
  ASSERT_NE(Node(KVFS_TYPE_DATA, id, 3), nullptr);
  uint32_t erasedBefore = dev->ulErasedCount;
  const uint32_t newSize = first + perBlock + perBlock / 3;
  ASSERT_EQ(kvfs_TruncateObject(obj, newSize), KVFS_OK);
  EXPECT_EQ(Node(KVFS_TYPE_DATA, id, 3), nullptr);
  EXPECT_NE(Node(KVFS_TYPE_DATA, id, 2), nullptr);
  EXPECT_EQ(dev->ulErasedCount, erasedBefore + 1);
  EXPECT_EQ(Seek(fd, 0, FS_SEEK_END), INT32(newSize));
  ASSERT_EQ(Seek(fd, INT32(newSize - 1), FS_SEEK_SET), INT32(newSize - 1));
  EXPECT_EQ(Read(fd, 10), std::vector<uint8_t>{content[newSize - 1]});
  EXPECT_EQ(kvfs_TruncateObject(obj, newSize + 1), int32_t(0x460E000B));
  EXPECT_EQ(Close(fd), 0);
  content.resize(newSize);
  RestartCard();
  std::vector<uint8_t> back;
  ASSERT_TRUE(ReadFile("cfcard:/big", &back));
  EXPECT_EQ(back, content);
}

TEST_F(KvfsObjectData, AccessModesOfHandles) {
  ASSERT_TRUE(WriteFile("cfcard:/m", Bytes("data")));
  INT32 ro = Open("cfcard:/m", FS_O_RDONLY);
  INT32 wo = Open("cfcard:/m", FS_O_WRONLY);
  ASSERT_GE(ro, 0);
  ASSERT_GE(wo, 0);
  g_iKvfsErrNo = 0;
  EXPECT_EQ(Write(ro, Bytes("x")), -1);
  EXPECT_EQ(g_iKvfsErrNo, int32_t(0x8000806C));
  INT32 r = 0;
  Read(wo, 4, &r);
  EXPECT_EQ(r, -1);
  EXPECT_EQ(Read(ro, 10), Bytes("data"));
  EXPECT_EQ(Close(ro), 0);
  EXPECT_EQ(Close(wo), 0);
  EXPECT_EQ(Close(wo), -1);  // closed already
  INT32 dir = Mkdir("cfcard:/dd");
  ASSERT_GE(dir, 0);
  EXPECT_EQ(Write(dir, Bytes("x")), -1);
  EXPECT_EQ(g_iKvfsErrNo, int32_t(0x8000807D));
  EXPECT_EQ(Close(dir), 0);
}

using KvfsObjectDelete = KvfsObjectTest;

TEST_F(KvfsObjectDelete, RefusalsLeaveTheObjectAndGiveEverythingBack) {
  INT32 fd = Mkdir("cfcard:/dir");
  ASSERT_GE(fd, 0);
  ASSERT_EQ(Close(fd), 0);
  ASSERT_TRUE(WriteFile("cfcard:/dir/f", Bytes("f")));
  struct Case {
    const char *path;
    bool keepOpen;
    INT32 errNo;
  } cases[] = {
      {"cfcard:/dir", false, int32_t(0x80008083)},   // not empty
      {"cfcard:/dir/f", true, int32_t(0x80008082)},  // open
      {"cfcard:/nothing", false, 0},
      {"cfcard:/dir/  ", false, int32_t(0x80008075)},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.path);
    INT32 held = c.keepOpen ? Open(c.path) : -1;
    g_iKvfsErrNo = 0;
    EXPECT_EQ(Delete(c.path), -1);
    if (c.errNo != 0) { EXPECT_EQ(g_iKvfsErrNo, c.errNo); }
    if (held >= 0) { EXPECT_EQ(Close(held), 0); }
    ExpectNoLeaks();
  }
  uint32_t erased = dev->ulErasedCount;
  EXPECT_EQ(Delete("cfcard:/dir/f"), 0);
  EXPECT_EQ(Delete("cfcard:/dir"), 0);
  EXPECT_EQ(dev->ulErasedCount, erased + 2);
  EXPECT_EQ(kvfs_DirNameSlotsInUse(dev), 0u);
  EXPECT_EQ(Open("cfcard:/dir"), -1);
}

TEST_F(KvfsObjectDelete, DeletingAFileWithDataBlocksFreesThemAll) {
  const uint32_t size = (PagesPerBlock() - 4 + 2 * DataPages()) * dev->ulPageDataLen + 5;
  uint32_t erased = dev->ulErasedCount;
  ASSERT_TRUE(WriteFile("cfcard:/big", Pattern(size, 3)));
  EXPECT_EQ(dev->ulErasedCount, erased - 4);
  EXPECT_EQ(Delete("cfcard:/big"), 0);
  EXPECT_EQ(dev->ulErasedCount, erased);
}

TEST_F(KvfsObjectDelete, AReadOnlyObjectOpensOnlyForReadingAndStays) {
  ASSERT_TRUE(WriteFile("cfcard:/ro", Bytes("fixed")));
  // Set the read-only attribute bit in the stored header.
  INT32 fd = Open("cfcard:/ro", FS_O_RDONLY);
  ASSERT_GE(fd, 0);
  KvfsObject *obj = kvfs_GetHandle(fd)->pObject;
  std::vector<uint8_t> header(KVFS_OBJECT_HEADER_BYTES);
  ASSERT_EQ(kvfs_pageRead(dev, header.data(), KVFS_OBJECT_HEADER_BYTES, 0, KVFS_TYPE_FILE, 0, obj->pNode),
            KVFS_OBJECT_HEADER_BYTES);
  header[16] |= KVFS_ATTR_RDONLY;
  ASSERT_EQ(kvfs_pageWrite(dev, obj, header.data(), KVFS_OBJECT_HEADER_BYTES, 0, 0, KVFS_TYPE_FILE, obj->ulFatherID,
                           obj->ulObjectID, 1, 0),
            KVFS_OBJECT_HEADER_BYTES);
  ASSERT_EQ(Close(fd), 0);
  for (INT32 flags : {FS_O_WRONLY, FS_O_RDWR, FS_O_RDWR | FS_O_TRUNC}) {
    g_iKvfsErrNo = 0;
    EXPECT_EQ(Open("cfcard:/ro", flags), -1) << flags;
    EXPECT_EQ(g_iKvfsErrNo, int32_t(0x8000806C));
  }
  g_iKvfsErrNo = 0;
  EXPECT_EQ(Delete("cfcard:/ro"), -1);
  EXPECT_EQ(g_iKvfsErrNo, int32_t(0x8000806C));
  fd = Open("cfcard:/ro", FS_O_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(Read(fd, 100), Bytes("fixed"));
  FileInfoRecord info;
  StatRecord stat{};
  EXPECT_EQ(kvfs->Fstat(kvfs, fd, &info, &stat), 0);
  EXPECT_EQ(stat.ulAttributes, UINT32(KVFS_ATTR_RDONLY));
  EXPECT_EQ(Close(fd), 0);
}

using KvfsObjectListing = KvfsObjectTest;

TEST_F(KvfsObjectListing, DotsThenDirectoriesThenFiles) {
  for (const char *d : {"cfcard:/top", "cfcard:/top/sub1", "cfcard:/top/sub2"}) {
    INT32 fd = Mkdir(d);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(Close(fd), 0);
  }
  ASSERT_TRUE(WriteFile("cfcard:/top/file", Bytes("12345")));
  std::vector<std::string> names = List("cfcard:/top");
  ASSERT_EQ(names.size(), 5u);
  EXPECT_EQ(names[0], ".");
  EXPECT_EQ(names[1], "..");
  EXPECT_EQ(std::set<std::string>(names.begin() + 2, names.begin() + 4), (std::set<std::string>{"sub1", "sub2"}));
  EXPECT_EQ(names[4], "file");
  EXPECT_EQ(List("cfcard:/"), (std::vector<std::string>{"top"}));  // the root has no dots

  // ReadDirAll: n + 2 pool records, the caller frees them.
  INT32 fd = Open("cfcard:/top", FS_O_RDWR, FS_MODE_DIR);
  ASSERT_GE(fd, 0);
  FileInfoRecord *entries[8] = {};
  UINT32 count = 99;
  CHAR8 name[100];
  EXPECT_EQ(kvfs->ReadDirAll(kvfs, fd, name, 0, entries, &count), -1);
  ASSERT_EQ(count, 5u);
  EXPECT_EQ(KvfsGet32(entries[0]->aucObjectHeader + 188), 2u);
  EXPECT_EQ(std::string((char *)entries[0]->aucObjectHeader + 192), ".");
  EXPECT_EQ(KvfsGet32(entries[1]->aucObjectHeader + 188), 3u);
  EXPECT_EQ(std::string((char *)entries[1]->aucObjectHeader + 192), "..");
  EXPECT_EQ(KvfsGet32(entries[1]->aucObjectHeader), 0x01000001u);
  EXPECT_EQ(entries[4]->ulFileSize, 5u);
  EXPECT_EQ(KvfsGet32(entries[4]->aucObjectHeader), 1u);
  EXPECT_EQ(std::string((char *)entries[4]->aucObjectHeader + 192), "file");
  for (UINT32 i = 0; i < count; i++) gBS->FreePool(entries[i]);
  count = 0;
  EXPECT_EQ(kvfs->ReadDirAll(kvfs, fd, name, 0, nullptr, &count), -1);  // a null array only counts
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(Close(fd), 0);
}

TEST_F(KvfsObjectListing, DeletingTheEntryJustReturnedKeepsTheListingGoing) {
  std::set<std::string> created;
  for (int i = 0; i < 6; i++) {
    std::string name = "f" + std::to_string(i);
    ASSERT_TRUE(WriteFile("cfcard:/" + name, Bytes(name)));
    created.insert(name);
  }
  INT32 fd = Open("cfcard:/", FS_O_RDWR, FS_MODE_DIR);
  ASSERT_GE(fd, 0);
  CHAR8 name[100];
  FileInfoRecord info;
  std::set<std::string> seen;
  for (INT32 r = kvfs->ReadDir(kvfs, fd, name, 0, &info); r == 0; r = kvfs->ReadDir(kvfs, fd, name, 1, &info)) {
    seen.insert(name);
    EXPECT_EQ(Delete(std::string("cfcard:/") + name), 0);
  }
  EXPECT_EQ(seen, created);
  EXPECT_EQ(Close(fd), 0);
  EXPECT_TRUE(List("cfcard:/").empty());
}

using KvfsObjectStat = KvfsObjectTest;

TEST_F(KvfsObjectStat, FileDirectoryAndRoot) {
  ASSERT_TRUE(WriteFile("cfcard:/s", Pattern(5000, 1)));
  INT32 dirFd = Mkdir("cfcard:/sd");
  ASSERT_GE(dirFd, 0);
  struct Case {
    std::string path;
    INT32 mode;
    UINT32 statMode, size, blocks, attributes;
    bool recordFilled;
  } cases[] = {
      {"cfcard:/s", 0, 0x81FF, 5000, 3, 0, true},
      {"cfcard:/sd", FS_MODE_DIR, 0x41FF, 0, 0, 0x10, true},
      {"cfcard:/", FS_MODE_DIR, 0x4000, 0, 0, 0x10, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.path);
    INT32 fd = Open(c.path, FS_O_RDWR, c.mode);
    ASSERT_GE(fd, 0);
    FileInfoRecord info;
    memset(&info, 0xAB, sizeof(info));
    StatRecord stat{};
    EXPECT_EQ(kvfs->Fstat(kvfs, fd, &info, &stat), 0);
    EXPECT_EQ(stat.ulMode, c.statMode);
    EXPECT_EQ(stat.ulSize, c.size);
    EXPECT_EQ(stat.ulBlockCount, c.blocks);
    EXPECT_EQ(stat.ulBlockSize, dev->ulPageDataLen);
    EXPECT_EQ(stat.ulAttributes, c.attributes);
    EXPECT_EQ(stat.ulLinkCount, 1u);
    if (c.recordFilled) {
      EXPECT_EQ(info.ulFileSize, c.size);
      EXPECT_EQ(info.ulObjectId, kvfs_GetHandle(fd)->pObject->ulObjectID);
    } else {
      EXPECT_EQ(info.ulFileSize, 0xABABABABu);
    }
    EXPECT_EQ(Close(fd), 0);
  }
  EXPECT_EQ(Close(dirFd), 0);
  FileInfoRecord info;
  StatRecord stat{};
  EXPECT_EQ(kvfs->Fstat(kvfs, 7, &info, &stat), int32_t(0x46000006));
}

UINT32 g_testNow = 0;
UINT32 TestNow() { return g_testNow; }

TEST_F(KvfsObjectStat, ModificationTimeReachesTheHeaderAtClose) {
  g_pfnKvfsNow = TestNow;
  g_testNow = 100;
  ASSERT_TRUE(WriteFile("cfcard:/t", Bytes("a")));
  auto times = [&](UINT32 *modify, UINT32 *change) {
    INT32 fd = Open("cfcard:/t", FS_O_RDONLY);
    ASSERT_GE(fd, 0);
    FileInfoRecord info;
    StatRecord stat{};
    ASSERT_EQ(kvfs->Fstat(kvfs, fd, &info, &stat), 0);
    *modify = stat.ulModifyTime;
    *change = stat.ulChangeTime;
    EXPECT_EQ(Close(fd), 0);
  };
  UINT32 modify = 0, change = 0;
  times(&modify, &change);
  EXPECT_EQ(modify, 100u);
  EXPECT_EQ(change, 100u);
  g_testNow = 200;
  INT32 fd = Open("cfcard:/t");
  ASSERT_GE(fd, 0);
  EXPECT_EQ(Write(fd, Bytes("b")), 1);
  g_testNow = 250;
  EXPECT_EQ(Close(fd), 0);
  times(&modify, &change);
  EXPECT_EQ(modify, 200u);  // the time of the write, stored by the close
  EXPECT_EQ(change, 100u);
  g_testNow = 300;  // a read-only open and close changes nothing
  times(&modify, &change);
  EXPECT_EQ(modify, 200u);
  RestartCard();
  times(&modify, &change);
  EXPECT_EQ(modify, 200u);
}

using KvfsDriverEntries = KvfsObjectTest;

TEST_F(KvfsDriverEntries, CreateAndMkdirRefuseWhatExists) {
  ASSERT_TRUE(WriteFile("cfcard:/c", Bytes("keep")));
  EXPECT_EQ(Create("cfcard:/c"), -1);
  EXPECT_NE(Console().find("The file cfcard:/c already exists in the KVFS, Create file \"cfcard:/c\" failed!\n"),
            std::string::npos);
  EXPECT_NE(Console().find("(US_CREATONLY|DFTDIRMODE) = 0x100041e8!\n"), std::string::npos);
  std::vector<uint8_t> content;
  ASSERT_TRUE(ReadFile("cfcard:/c", &content));
  EXPECT_EQ(content, Bytes("keep"));
  g_iKvfsErrNo = 0;
  EXPECT_EQ(Create("cfcard:/new", 3), -1);
  EXPECT_EQ(g_iKvfsErrNo, int32_t(0x80008068));
  EXPECT_EQ(Mkdir("cfcard:/c"), -1);  // a file of that name
  INT32 fd = Mkdir("cfcard:/dir");
  ASSERT_GE(fd, 0);
  EXPECT_EQ(Close(fd), 0);
  EXPECT_EQ(Mkdir("cfcard:/dir"), -1);
  EXPECT_EQ(Create("cfcard:/dir"), -1);  // a directory of that name
  // Opening with create and truncate empties an existing file.
  fd = Open("cfcard:/c", FS_O_RDWR | FS_O_CREAT | FS_O_TRUNC);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(Seek(fd, 0, FS_SEEK_END), 0);
  EXPECT_EQ(Close(fd), 0);
}

TEST_F(KvfsDriverEntries, AfterShutdownClosePathAndHandleEntriesFail) {
  ASSERT_TRUE(WriteFile("cfcard:/x", Bytes("x")));
  INT32 fd = Open("cfcard:/x");
  ASSERT_GE(fd, 0);
  g_ulKvfsSafeClose = 1;
  EXPECT_EQ(Open("cfcard:/x"), -1);
  EXPECT_EQ(Create("cfcard:/y"), -1);
  EXPECT_EQ(Mkdir("cfcard:/z"), -1);
  EXPECT_EQ(Write(fd, Bytes("1")), -1);
  EXPECT_EQ(Read(fd, 1).size(), 0u);
  EXPECT_EQ(Seek(fd, 0, 0), -1);
  EXPECT_EQ(Close(fd), -1);
  EXPECT_EQ(Delete("cfcard:/x"), -1);
  g_ulKvfsSafeClose = 0;
  EXPECT_EQ(Close(fd), 0);
}

TEST_F(KvfsDriverEntries, FilesAndDirectoriesSurviveARestart) {
  INT32 fd = Mkdir("cfcard:/keep");
  ASSERT_GE(fd, 0);
  ASSERT_EQ(Close(fd), 0);
  std::vector<uint8_t> content = Pattern(150000, 9);
  ASSERT_TRUE(WriteFile("cfcard:/keep/Data.bin", content));
  RestartCard();
  std::vector<uint8_t> back;
  ASSERT_TRUE(ReadFile("cfcard:/KEEP/data.BIN", &back));
  EXPECT_EQ(back, content);
  EXPECT_EQ(List("cfcard:/keep"), (std::vector<std::string>{".", "..", "Data.bin"}));
}

TEST_F(KvfsDriverEntries, StartCfcardMountsTheCardAndInstallsTheProtocolOnce) {
  ASSERT_TRUE(WriteFile("cfcard:/k", Bytes("kept")));
  ASSERT_EQ(KvfsStopCfcard(), EFI_SUCCESS);
  VOID *found = nullptr;
  EXPECT_EQ(gBS->LocateProtocol(&gKvfsDriverProtocolGuid, nullptr, &found), EFI_NOT_FOUND);
  ASSERT_EQ(KvfsStartCfcard(), EFI_SUCCESS);
  EXPECT_EQ(KvfsStartCfcard(), EFI_ALREADY_STARTED);
  ASSERT_EQ(gBS->LocateProtocol(&gKvfsDriverProtocolGuid, nullptr, (VOID **)&kvfs), EFI_SUCCESS);
  std::vector<uint8_t> content;
  ASSERT_TRUE(ReadFile("cfcard:/k", &content));
  EXPECT_EQ(content, Bytes("kept"));
  ASSERT_EQ(KvfsStopCfcard(), EFI_SUCCESS);
  EXPECT_EQ(board->core.PoolBytesInUse(), poolBaseline);
  Mount();  // back to the fixture's card for the teardown
  ASSERT_EQ(KvfsStartCfcard(), EFI_SUCCESS);
}

}  // namespace
}  // namespace kvfstest
