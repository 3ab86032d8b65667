#include "FileCommands.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>


#include <Library/UefiBootServicesTableLib.h>

#include "FileAccess/FileApi.h"
#include "Kvfs/KvfsDriverProtocol.h"
#include "StorageBoard.h"

namespace bootsim {
namespace {

constexpr uint32_t kChunk = 64 * 1024;

struct Failure {
  int code;
  std::string message;
};

bool StartsWith(const std::string &text, const char *prefix) { return text.rfind(prefix, 0) == 0; }

// Only the two lasting devices; "mfs:" would be gone before the next run.
bool IsBoardPath(const std::string &path) {
  return (StartsWith(path, "cfcard:/") || StartsWith(path, "ofs1:/")) && path.size() < 260;
}

// Makes every directory above the file (DirEnsure, as the firmware does).
void EnsureParents(const std::string &path) {
  size_t root = path.find(":/") + 2;
  for (size_t slash = path.find('/', root); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    DirEnsure(path.substr(0, slash).c_str(), FS_O_RDWR, 0);
  }
}

bool Put(const std::string &local, const std::string &path, Failure *failure) {
  std::ifstream in(local, std::ios::binary);
  if (!in) {
    *failure = {kFileLocalError, "cannot read " + local + ": " + std::strerror(errno)};
    return false;
  }
  std::vector<char> content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (content.size() > 0x7FFFFFFFu) {
    *failure = {kFileLocalError, local + " is too large for the board"};
    return false;
  }
  EnsureParents(path);
  INT32 kind = 0;
  INT32 fd = FileRecreate(&kind, path.c_str());
  if (fd < 0) {
    *failure = {kFileBoardRefused, "cannot create " + path};
    return false;
  }
  bool ok = true;
  for (size_t done = 0; done < content.size() && ok;) {
    uint32_t length = uint32_t(std::min<size_t>(kChunk, content.size() - done));
    INT32 written = FileWrite(kind, fd, content.data() + done, length);
    ok = written == INT32(length);
    done += length;
  }
  if (FileClose(kind, fd) < 0) ok = false;
  if (!ok) *failure = {kFileBoardRefused, "writing " + path + " failed"};
  return ok;
}

bool Get(const std::string &path, const std::string &local, Failure *failure) {
  INT32 size = FileGetSize(path.c_str());
  if (size < 0) {
    *failure = {kFileBoardRefused, path + ": no such file"};
    return false;
  }
  std::vector<char> content(size_t(size) + 1);
  UINT32 read = 0;
  if (FileReadAll(path.c_str(), content.data(), UINT32(content.size()), &read) != 1 || read != UINT32(size)) {
    *failure = {kFileBoardRefused, "reading " + path + " failed"};
    return false;
  }
  std::ofstream out(local, std::ios::binary | std::ios::trunc);
  out.write(content.data(), read);
  out.close();
  if (!out) {
    *failure = {kFileLocalError, "cannot write " + local + ": " + std::strerror(errno)};
    return false;
  }
  return true;
}

std::string Join(const std::string &directory, const char *name) {
  return directory.back() == '/' ? directory + name : directory + "/" + name;
}

struct Entry {
  std::string name;
  bool isDirectory;
  uint32_t size;
  bool operator<(const Entry &other) const { return name < other.name; }
};

// Sorted by name, without "." and "..".
void PrintEntries(std::vector<Entry> entries) {
  std::sort(entries.begin(), entries.end());
  for (const Entry &entry : entries) {
    if (entry.name == "." || entry.name == "..") continue;
    if (entry.isDirectory) {
      std::printf("%10s  %s/\n", "dir", entry.name.c_str());
    } else {
      std::printf("%10u  %s\n", entry.size, entry.name.c_str());
    }
  }
}

bool ListKvfs(KVFS_DRIVER_PROTOCOL *kvfs, const std::string &path, Failure *failure) {
  INT32 fd = kvfs->Open(kvfs, path.c_str(), FS_O_RDWR, FS_MODE_DIR);
  StatRecord stat{};
  FileInfoRecord info{};
  if (fd < 0 || kvfs->Fstat(kvfs, fd, &info, &stat) < 0 || ((stat.ulMode >> 12) & 0xFF) != 4) {
    if (fd >= 0) kvfs->Close(kvfs, fd);
    *failure = {kFileBoardRefused, path + ": no such directory"};
    return false;
  }
  CHAR8 name[104] = {};
  std::vector<Entry> entries;
  for (INT32 r = kvfs->ReadDir(kvfs, fd, name, 0, &info); r == 0; r = kvfs->ReadDir(kvfs, fd, name, 1, &info)) {
    std::string child = Join(path, name);
    StatRecord childStat{};
    FileInfoRecord childInfo{};
    INT32 childFd = kvfs->Open(kvfs, child.c_str(), FS_O_RDONLY, 0);
    if (childFd >= 0) {
      kvfs->Fstat(kvfs, childFd, &childInfo, &childStat);
      kvfs->Close(kvfs, childFd);
    }
    entries.push_back({name, ((childStat.ulMode >> 12) & 0xFF) == 4, info.ulFileSize});
  }
  kvfs->Close(kvfs, fd);
  PrintEntries(entries);
  return true;
}

bool ListTffs(const std::string &path, Failure *failure) {
  DirStream *stream = nullptr;
  if (DirOpen(path.c_str(), &stream) != 0) {
    *failure = {kFileBoardRefused, path + ": no such directory"};
    return false;
  }
  CHAR8 name[DIR_STREAM_NAME_SIZE + 1] = {};
  std::vector<Entry> entries;
  while (DirRead(stream, name) == 0) {
    StatRecord stat{};
    FileStat(Join(path, name).c_str(), &stat);
    entries.push_back({name, ((stat.ulMode >> 12) & 0xFF) == 4, stat.ulSize});
  }
  DirClose(stream);
  PrintEntries(entries);
  return true;
}

bool Remove(const std::string &path, Failure *failure) {
  if (FileGetSize(path.c_str()) < 0) {
    *failure = {kFileBoardRefused, path + ": no such file"};
    return false;
  }
  if (FileDelete(path.c_str()) < 0) {
    *failure = {kFileBoardRefused, "cannot remove " + path};
    return false;
  }
  return true;
}

int Usage(const std::string &message) {
  std::fprintf(stderr, "bootsim: %s\n(see bootsim --help)\n", message.c_str());
  return kFileUsage;
}

}  // namespace

bool IsFileCommand(const std::string &command) {
  return command == "put" || command == "get" || command == "ls" || command == "rm";
}

int RunFileCommand(const std::string &command, const std::vector<std::string> &args) {
  size_t wanted = command == "put" || command == "get" ? 3 : 2;
  if (args.size() != wanted) {
    return Usage(command + (command == "put"   ? " needs DIR LOCAL DEVICE:/path"
                            : command == "get" ? " needs DIR DEVICE:/path LOCAL"
                                               : " needs DIR DEVICE:/path"));
  }
  const std::string &directory = args[0];
  const std::string &path = command == "put" ? args[2] : args[1];
  if (!IsBoardPath(path)) return Usage(path + " is not a path on cfcard:/ or ofs1:/");

  sim::BoardSettings settings;
  if (!OpenExistingBoard(directory, &settings)) return kFileBoardError;

  StorageBoard board(directory, settings);
  Failure failure{kFileOk, ""};
  bool ok = false;
  if (StartsWith(path, "cfcard:") && board.Kvfs() == nullptr) {
    failure = {kFileBoardRefused, "cfcard: is not available on this board"};
  } else if (command == "put") {
    ok = Put(args[1], path, &failure);
  } else if (command == "get") {
    ok = Get(path, args[2], &failure);
  } else if (command == "ls") {
    ok = StartsWith(path, "cfcard:") ? ListKvfs(board.Kvfs(), path, &failure) : ListTffs(path, &failure);
  } else {
    ok = Remove(path, &failure);
  }
  if (ok) return kFileOk;
  std::fprintf(stderr, "bootsim: %s\n", failure.message.c_str());
  if (failure.code == kFileBoardRefused) {
    std::fprintf(stderr, "bootsim: firmware console:\n%s", board.Console().c_str());
  }
  return failure.code;
}

}  // namespace bootsim
