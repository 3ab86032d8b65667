#include "HealthCommand.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "Kvfs/KvfsLayout.h"
#include "StorageBoard.h"

namespace bootsim {
namespace {

struct BlockCounts {
  uint32_t total = 0, used = 0, erased = 0, bad = 0, other = 0;
  uint32_t minErase = 0, maxErase = 0;
};

const KVFS_DEVICE *MountedCard() {
  KVFS_DEVICE *table = kvfs_GetDeviceTable();
  for (uint32_t slot = 0; slot < KVFS_MAX_DEVICES; slot++) {
    if (table[slot].ucInUse && table[slot].ucMounted && std::strcmp(table[slot].szName, "cfcard:") == 0) {
      return &table[slot];
    }
  }
  return nullptr;
}

// Erase counts over the blocks still in service (bad blocks excluded).
BlockCounts CountBlocks(const KVFS_DEVICE &card) {
  BlockCounts counts;
  bool first = true;
  for (uint32_t i = 0; i < card.ulNodeCount; i++) {
    const KVFS_BLOCK_NODE &node = card.pNodes[i];
    counts.total++;
    switch (node.ucWhere) {
      case KVFS_NODE_USED: counts.used++; break;
      case KVFS_NODE_ERASED: counts.erased++; break;
      case KVFS_NODE_BAD: counts.bad++; break;
      default: counts.other++; break;
    }
    if (node.ucWhere == KVFS_NODE_BAD) continue;
    counts.minErase = first ? node.ulEraseCount : std::min(counts.minErase, node.ulEraseCount);
    counts.maxErase = first ? node.ulEraseCount : std::max(counts.maxErase, node.ulEraseCount);
    first = false;
  }
  return counts;
}

struct FileCheck {
  std::string path;
  uint32_t size;
  uint32_t readBack;  // bytes that came back
  bool ok;
};

bool IsDirectory(KVFS_DRIVER_PROTOCOL *kvfs, INT32 fd) {
  StatRecord stat{};
  FileInfoRecord info{};
  return kvfs->Fstat(kvfs, fd, &info, &stat) >= 0 && ((stat.ulMode >> 12) & 0xFF) == 4;
}

FileCheck ReadBack(KVFS_DRIVER_PROTOCOL *kvfs, const std::string &path, uint32_t size) {
  FileCheck check{path, size, 0, false};
  INT32 fd = kvfs->Open(kvfs, path.c_str(), FS_O_RDONLY, 0);
  if (fd < 0) return check;
  std::vector<char> chunk(64 * 1024);
  INT32 n = 0;
  while ((n = kvfs->Read(kvfs, fd, chunk.data(), UINT32(chunk.size()))) > 0) check.readBack += uint32_t(n);
  bool closed = kvfs->Close(kvfs, fd) == 0;
  check.ok = n == 0 && closed && check.readBack == size;
  return check;
}

// Depth first; directories are listed whole before their children are
// opened, so at most one listing handle is open at a time.
void Walk(KVFS_DRIVER_PROTOCOL *kvfs, const std::string &directory, std::vector<FileCheck> *files, bool *listFailed) {
  INT32 fd = kvfs->Open(kvfs, directory.c_str(), FS_O_RDWR, FS_MODE_DIR);
  if (fd < 0) {
    *listFailed = true;
    return;
  }
  struct Child {
    std::string path;
    uint32_t size;
  };
  std::vector<Child> children;
  CHAR8 name[104] = {};
  FileInfoRecord info{};
  for (INT32 r = kvfs->ReadDir(kvfs, fd, name, 0, &info); r == 0; r = kvfs->ReadDir(kvfs, fd, name, 1, &info)) {
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    children.push_back({directory + (directory.back() == '/' ? "" : "/") + name, info.ulFileSize});
  }
  kvfs->Close(kvfs, fd);
  std::sort(children.begin(), children.end(), [](const Child &a, const Child &b) { return a.path < b.path; });
  for (const Child &child : children) {
    INT32 childFd = kvfs->Open(kvfs, child.path.c_str(), FS_O_RDONLY, 0);
    bool isDirectory = childFd >= 0 && IsDirectory(kvfs, childFd);
    if (childFd >= 0) kvfs->Close(kvfs, childFd);
    if (isDirectory) {
      Walk(kvfs, child.path, files, listFailed);
    } else {
      files->push_back(ReadBack(kvfs, child.path, child.size));
    }
  }
}

}  // namespace

int RunHealthCommand(const std::string &directory) {
  sim::BoardSettings settings;
  if (!OpenExistingBoard(directory, &settings)) return 70;
  StorageBoard board(directory, settings);
  const KVFS_DEVICE *card = MountedCard();
  if (board.Kvfs() == nullptr || card == nullptr) {
    std::fprintf(stderr, "bootsim: cfcard: is not available on this board\nbootsim: firmware console:\n%s",
                 board.Console().c_str());
    return 1;
  }
  BlockCounts blocks = CountBlocks(*card);
  std::printf("cfcard: blocks %u: used %u, erased %u, bad %u, other %u\n", blocks.total, blocks.used, blocks.erased,
              blocks.bad, blocks.other);
  std::printf("erase counts: min %u, max %u, spread %u\n", blocks.minErase, blocks.maxErase,
              blocks.maxErase - blocks.minErase);

  std::vector<FileCheck> files;
  bool listFailed = false;
  Walk(board.Kvfs(), "cfcard:/", &files, &listFailed);
  uint64_t bytes = 0;
  uint32_t failed = 0;
  for (const FileCheck &file : files) {
    bytes += file.size;
    if (file.ok) {
      std::printf("%10u  %s  ok\n", file.size, file.path.c_str());
    } else {
      failed++;
      std::printf("%10u  %s  READ FAILED (%u bytes came back)\n", file.size, file.path.c_str(), file.readBack);
    }
  }
  bool healthy = failed == 0 && !listFailed;
  std::printf("bootsim: health=%s files=%zu bytes=%llu unreadable=%u%s\n", healthy ? "ok" : "bad", files.size(),
              (unsigned long long)bytes, failed, listFailed ? " listing-failed" : "");
  return healthy ? 0 : 1;
}

}  // namespace bootsim
