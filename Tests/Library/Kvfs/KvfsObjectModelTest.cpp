// A seeded random run through the kvfs driver protocol: mkdir, create,
// writes at random offsets (gaps included), truncation, reads, deletes and
// restarts of the card, with corrected bit flips and failing programs
// injected into the chip, checked against an in-memory model of the tree.
// After every step no handle or object record is left in use and the pool
// holds exactly the mounted card's memory.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <random>

#include "KvfsObjectTestSupport.h"

namespace kvfstest {
namespace {

struct ModelEntry {
  bool dir = false;
  std::vector<uint8_t> data;
};

class KvfsObjectModelTest : public KvfsObjectTest, public testing::WithParamInterface<uint32_t> {
 public:
  // Paths in lower case, relative to the root ("d1/f2").
  std::map<std::string, ModelEntry> model;
  std::mt19937 random;
  uint32_t writeFailures = 0;

  uint32_t Pick(uint32_t n) { return uint32_t(random() % n); }

  // The path as the firmware sees it, in a random mix of cases.
  std::string Card(const std::string &path) {
    std::string out = "cfcard:/" + path;
    for (size_t i = 8; i < out.size(); i++) {
      if (Pick(4) == 0) out[i] = char(toupper(out[i]));
    }
    return out;
  }

  std::vector<std::string> Dirs() {
    std::vector<std::string> dirs{""};
    for (auto &e : model) {
      if (e.second.dir) dirs.push_back(e.first);
    }
    return dirs;
  }
  std::vector<std::string> Files() {
    std::vector<std::string> files;
    for (auto &e : model) {
      if (!e.second.dir) files.push_back(e.first);
    }
    return files;
  }
  std::string Under(const std::string &dir, const std::string &name) { return dir.empty() ? name : dir + "/" + name; }
  bool HasChildren(const std::string &dir) {
    for (auto &e : model) {
      if (e.first.size() > dir.size() && e.first.compare(0, dir.size() + 1, dir + "/") == 0) return true;
    }
    return false;
  }

  size_t IdlePool() { return cardPool + kvfs_DirNameSlabBytes(dev) - slabsAtStart; }
  size_t slabsAtStart = 0;

  void CheckFile(const std::string &path) {
    std::vector<uint8_t> content;
    ASSERT_TRUE(ReadFile(Card(path), &content)) << path;
    ASSERT_EQ(content, model[path].data) << path;
  }

  void CheckTree() {
    for (const std::string &dir : Dirs()) {
      std::vector<std::string> names = List("cfcard:/" + dir);
      std::vector<std::string> expected;
      if (!dir.empty()) expected = {".", ".."};
      std::vector<std::string> dirs, files;
      for (auto &e : model) {
        size_t slash = e.first.rfind('/');
        std::string parent = slash == std::string::npos ? "" : e.first.substr(0, slash);
        if (parent != dir) continue;
        (e.second.dir ? dirs : files).push_back(e.first.substr(slash == std::string::npos ? 0 : slash + 1));
      }
      std::vector<std::string> gotDirs, gotFiles;
      for (size_t i = expected.size(); i < names.size(); i++) {
        std::string lower = names[i];
        for (char &c : lower) c = char(tolower(c));
        (model.count(Under(dir, lower)) && model[Under(dir, lower)].dir ? gotDirs : gotFiles).push_back(lower);
      }
      ASSERT_GE(names.size(), expected.size()) << dir;
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(), names.begin())) << dir;
      std::sort(gotDirs.begin(), gotDirs.end());
      std::sort(gotFiles.begin(), gotFiles.end());
      EXPECT_EQ(gotDirs, dirs) << "directories of /" << dir;
      EXPECT_EQ(gotFiles, files) << "files of /" << dir;
      // Directories are listed before files.
      for (size_t i = expected.size(); i + 1 < names.size(); i++) {
        std::string a = names[i], b = names[i + 1];
        for (char &c : a) c = char(tolower(c));
        for (char &c : b) c = char(tolower(c));
        EXPECT_FALSE(!model[Under(dir, a)].dir && model[Under(dir, b)].dir) << "file before directory in /" << dir;
      }
    }
    for (const std::string &file : Files()) CheckFile(file);
  }

  void Step() {
    uint32_t what = Pick(100);
    std::vector<std::string> files = Files();
    if (what < 8 && Dirs().size() < 4) {
      std::vector<std::string> dirs = Dirs();
      std::string path = Under(dirs[Pick(uint32_t(dirs.size()))], "d" + std::to_string(Pick(3)));
      INT32 fd = Mkdir(Card(path));
      if (model.count(path)) {
        EXPECT_EQ(fd, -1) << path;
      } else if (HasFileOrDirOnTheWay(path)) {
        return;
      } else {
        ASSERT_GE(fd, 0) << "mkdir " << path;
        EXPECT_EQ(Close(fd), 0);
        model[path].dir = true;
      }
    } else if (what < 20 && files.size() < 8) {
      std::vector<std::string> dirs = Dirs();
      std::string path = Under(dirs[Pick(uint32_t(dirs.size()))], "f" + std::to_string(Pick(6)));
      INT32 fd = Create(Card(path));
      if (model.count(path)) {
        EXPECT_EQ(fd, -1) << path;
      } else {
        ASSERT_GE(fd, 0) << "create " << path;
        EXPECT_EQ(Close(fd), 0);
        model[path] = ModelEntry{};
      }
    } else if (what < 50 && !files.empty()) {
      std::string path = files[Pick(uint32_t(files.size()))];
      std::vector<uint8_t> &data = model[path].data;
      if (data.size() > 150000) return;
      uint32_t offset = Pick(uint32_t(data.size()) + 5000);
      std::vector<uint8_t> bytes = Pattern(1 + Pick(9000), random());
      INT32 fd = Open(Card(path));
      ASSERT_GE(fd, 0) << path;
      ASSERT_EQ(Seek(fd, INT32(offset), FS_SEEK_SET), INT32(offset));
      INT32 n = Write(fd, bytes);
      INT32 closed = Close(fd);
      if (n == INT32(bytes.size()) && closed == 0) {
        if (data.size() < offset + bytes.size()) data.resize(offset + bytes.size(), 0);
        std::copy(bytes.begin(), bytes.end(), data.begin() + offset);
      } else {
        // Only a failing program may stop a write, and it must say so.
        EXPECT_TRUE(n == -1 || closed == -1) << "n " << n;
        writeFailures++;
        std::vector<uint8_t> now;
        ASSERT_TRUE(ReadFile(Card(path), &now));
        data = now;
      }
    } else if (what < 60 && !files.empty()) {
      std::string path = files[Pick(uint32_t(files.size()))];
      std::vector<uint8_t> &data = model[path].data;
      if (Pick(3) == 0) {
        INT32 fd = Open(Card(path), FS_O_RDWR | FS_O_TRUNC);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(Close(fd), 0);
        data.clear();
      } else {
        uint32_t size = Pick(uint32_t(data.size()) + 1);
        INT32 fd = Open(Card(path));
        ASSERT_GE(fd, 0);
        ASSERT_EQ(kvfs_TruncateObject(kvfs_GetHandle(fd)->pObject, size), KVFS_OK) << path;
        EXPECT_EQ(Close(fd), 0);
        data.resize(size);
      }
    } else if (what < 80 && !files.empty()) {
      std::string path = files[Pick(uint32_t(files.size()))];
      const std::vector<uint8_t> &data = model[path].data;
      uint32_t offset = Pick(uint32_t(data.size()) + 100);
      uint32_t length = Pick(20000);
      INT32 fd = Open(Card(path), FS_O_RDONLY);
      ASSERT_GE(fd, 0);
      ASSERT_EQ(Seek(fd, INT32(offset), FS_SEEK_SET), INT32(offset));
      INT32 n = 0;
      std::vector<uint8_t> got = Read(fd, length, &n);
      std::vector<uint8_t> expected;
      if (offset < data.size()) {
        expected.assign(data.begin() + offset, data.begin() + std::min<size_t>(data.size(), offset + length));
      }
      EXPECT_EQ(n, INT32(expected.size())) << path << " at " << offset;
      EXPECT_EQ(got, expected) << path << " at " << offset;
      EXPECT_EQ(Close(fd), 0);
    } else if (what < 90 && !model.empty()) {
      auto it = model.begin();
      std::advance(it, Pick(uint32_t(model.size())));
      std::string path = it->first;
      INT32 result = Delete(Card(path));
      if (it->second.dir && HasChildren(path)) {
        EXPECT_EQ(result, -1) << path;
        EXPECT_EQ(g_iKvfsErrNo, int32_t(0x80008083));
      } else {
        EXPECT_EQ(result, 0) << path;
        model.erase(path);
      }
    } else if (what < 93) {
      RestartCard();
      slabsAtStart = kvfs_DirNameSlabBytes(dev);
      CheckTree();
    } else if (what < 97) {
      // A read disturb the ECC corrects, on a page of some used block.
      uint32_t block = Pick(Blocks());
      Chip().Faults().FlipBitsOnRead(sim::NandUnit::Page(ChipPage(block, 1 + Pick(DataPages()))), 1 + Pick(4),
                                     sim::NandArea::Data, 1);
    } else {
      // The next program of some page fails.
      Chip().Faults().FailProgram(sim::NandUnit::Page(Pick(Blocks() * PagesPerBlock())),
                                  sim::kNandStatusReady | sim::kNandStatusFail, 1);
    }
  }

  // A mkdir whose name is taken by a file is refused: the model skips it.
  bool HasFileOrDirOnTheWay(const std::string &path) { return model.count(path) != 0; }
};

TEST_P(KvfsObjectModelTest, RandomTreeMatchesTheModel) {
  random.seed(GetParam());
  Chip().Faults().Seed(GetParam());
  slabsAtStart = kvfs_DirNameSlabBytes(dev);
  for (int step = 0; step < 1000; step++) {
    SCOPED_TRACE("step " + std::to_string(step));
    Step();
    if (HasFatalFailure()) return;
    ExpectNoLeaks();
    ASSERT_EQ(board->core.PoolBytesInUse(), IdlePool()) << "pool bytes";
    ExpectConsistent();
    if (HasFailure()) return;
    if (step % 50 == 49) CheckTree();
  }
  Chip().Faults().Clear();
  RestartCard();
  CheckTree();
  RecordProperty("write_failures", int(writeFailures));
  RecordProperty("bad_blocks", int(dev->ulBadCount));
}

INSTANTIATE_TEST_SUITE_P(Seeds, KvfsObjectModelTest, testing::Values(1u, 2u, 3u, 4u, 5u, 6u));

}  // namespace
}  // namespace kvfstest
