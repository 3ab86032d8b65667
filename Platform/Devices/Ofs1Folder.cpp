#include "Devices/Ofs1Folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>
#include <stdexcept>
#include <system_error>
#include <vector>

#include <Protocol/KvfsDriver.h>
#include <Protocol/TffsDriver.h>

namespace fs = std::filesystem;

namespace sim {

namespace {

constexpr uint32_t kBlockSize = 512;
constexpr uint32_t kAllPermissions = 0x1FF;
constexpr int64_t kMaxFileSize = 0x7FFFFFFF;

}  // namespace

struct Ofs1Folder::OpenFile {
  Ofs1Folder *owner = nullptr;
  fs::path path;
  int fd = -1;                       // -1 for a directory
  int32_t access = FS_O_RDWR;
  int64_t position = 0;
  std::vector<std::string> entries;  // a directory's names when it was opened
};

// Every file open through any ofs1 device: values from the I/O system are
// checked here before use.
static std::set<void *> &OpenFiles() {
  static std::set<void *> files;
  return files;
}

uint32_t BoardClockSeconds(const std::string &setting) {
  std::tm time{};
  int year, month, day, hour, minute, second;
  if (std::sscanf(setting.c_str(), "%d-%d-%d %d:%d:%d", &year, &month, &day, &hour, &minute, &second) != 6) return 0;
  time.tm_year = year - 1900;
  time.tm_mon = month - 1;
  time.tm_mday = day;
  time.tm_hour = hour;
  time.tm_min = minute;
  time.tm_sec = second;
  time_t seconds = timegm(&time);
  return seconds < 0 ? 0 : uint32_t(seconds);
}

Ofs1Folder::Ofs1Folder(const std::string &folder, TimeSource now) : now_(std::move(now)) {
  device_.owner = this;
  protocol_ = BOARD_FILE_DEVICE_PROTOCOL{"ofs1:", &Funcs(), &device_.header};
  if (folder.empty()) {
    std::string pattern = (fs::temp_directory_path() / "ofs1-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temporary ofs1 folder");
    root_ = pattern;
    temporary_ = true;
  } else {
    std::error_code error;
    fs::create_directories(folder, error);
    if (!fs::is_directory(folder)) throw std::runtime_error("cannot make the ofs1 folder " + folder);
  }
  if (!temporary_) root_ = fs::canonical(folder);
  else root_ = fs::canonical(root_);
}

Ofs1Folder::~Ofs1Folder() {
  // Files the firmware left open die with the board.
  for (auto it = OpenFiles().begin(); it != OpenFiles().end();) {
    auto *file = static_cast<OpenFile *>(*it);
    if (file->owner != this) {
      ++it;
      continue;
    }
    if (file->fd >= 0) ::close(file->fd);
    delete file;
    it = OpenFiles().erase(it);
  }
  if (temporary_) {
    std::error_code error;
    fs::remove_all(root_, error);
  }
}

const IOS_DRIVER_FUNCS &Ofs1Folder::Funcs() {
  static const IOS_DRIVER_FUNCS funcs = {Create, Delete, Open, Close, Read, Write, Ioctl};
  return funcs;
}

Ofs1Folder *Ofs1Folder::From(IOS_DEV_HDR *device) {
  static_assert(offsetof(DeviceRecord, header) == 0, "the device header must lead the record");
  return device == nullptr ? nullptr : reinterpret_cast<DeviceRecord *>(device)->owner;
}

Ofs1Folder::OpenFile *Ofs1Folder::FileOf(INTN value) {
  void *pointer = reinterpret_cast<void *>(value);
  return OpenFiles().count(pointer) == 0 ? nullptr : static_cast<OpenFile *>(pointer);
}

bool Ofs1Folder::Resolve(const char *name, fs::path *out) const {
  if (name == nullptr) return false;
  std::string text(name);
  if (text.find('\\') != std::string::npos) return false;
  size_t start = text.find_first_not_of('/');
  fs::path relative = start == std::string::npos ? fs::path() : fs::path(text.substr(start));
  for (const fs::path &part : relative) {
    if (part == "..") return false;
  }
  fs::path candidate = relative.empty() ? root_ : root_ / relative;
  // Symlinks are followed; the place they lead to must be inside.
  std::error_code error;
  fs::path real = fs::weakly_canonical(candidate, error);
  if (error) return false;
  auto mismatch = std::mismatch(root_.begin(), root_.end(), real.begin(), real.end());
  if (mismatch.first != root_.end()) return false;
  *out = real;
  return true;
}

INTN Ofs1Folder::OpenPath(const char *name, int32_t flags, int32_t mode, bool create) {
  fs::path path;
  if (!Resolve(name, &path)) return -1;
  std::error_code error;
  bool wantDirectory = (mode & FS_MODE_DIR) != 0;
  if (create && wantDirectory && !fs::exists(path, error)) {
    if (!fs::create_directory(path, error)) return -1;
  }
  auto file = std::make_unique<OpenFile>();
  file->owner = this;
  file->path = path;
  file->access = flags & 3;
  if (fs::is_directory(path, error)) {
    if (create && !wantDirectory) return -1;
    for (const auto &entry : fs::directory_iterator(path, error)) {
      std::string entryName = entry.path().filename().string();
      if (entryName.size() < DIR_STREAM_NAME_SIZE) file->entries.push_back(entryName);
    }
    std::sort(file->entries.begin(), file->entries.end());
  } else {
    if (wantDirectory) return -1;
    int hostFlags = file->access == FS_O_WRONLY ? O_WRONLY : file->access == FS_O_RDONLY ? O_RDONLY : O_RDWR;
    if (create) hostFlags |= O_CREAT;
    if ((flags & FS_O_TRUNC) != 0) hostFlags |= O_TRUNC;
    // Only regular files: a device node or a socket in the folder is not a file of this system.
    if (fs::exists(path, error) && !fs::is_regular_file(path, error)) return -1;
    file->fd = ::open(path.c_str(), hostFlags | O_CLOEXEC, 0644);
    if (file->fd < 0) return -1;
    if ((hostFlags & (O_CREAT | O_TRUNC)) != 0) {
      struct timespec times[2] = {{time_t(now_()), 0}, {time_t(now_()), 0}};
      futimens(file->fd, times);
    }
  }
  OpenFile *raw = file.release();
  OpenFiles().insert(raw);
  ++openCount_;
  return reinterpret_cast<INTN>(raw);
}

INTN Ofs1Folder::Create(IOS_DEV_HDR *device, CHAR8 *name, INT32 flags) {
  Ofs1Folder *self = From(device);
  return self == nullptr ? -1 : self->OpenPath(name, flags | FS_O_TRUNC, 0, true);
}

INTN Ofs1Folder::Open(IOS_DEV_HDR *device, CHAR8 *name, INT32 flags, INT32 mode) {
  Ofs1Folder *self = From(device);
  return self == nullptr ? -1 : self->OpenPath(name, flags, mode, (flags & FS_O_CREAT) != 0);
}

INT32 Ofs1Folder::Delete(IOS_DEV_HDR *device, CHAR8 *name) {
  Ofs1Folder *self = From(device);
  fs::path path;
  if (self == nullptr || !self->Resolve(name, &path) || path == self->root_) return -1;
  std::error_code error;
  // An empty directory goes too; a full one stays.
  return fs::remove(path, error) && !error ? 0 : -1;
}

INT32 Ofs1Folder::Close(INTN value) {
  OpenFile *file = FileOf(value);
  if (file == nullptr) return -1;
  int result = file->fd >= 0 ? ::close(file->fd) : 0;
  --file->owner->openCount_;
  OpenFiles().erase(file);
  delete file;
  return result == 0 ? 0 : -1;
}

INT32 Ofs1Folder::Read(INTN value, VOID *buffer, UINT32 length) {
  OpenFile *file = FileOf(value);
  if (file == nullptr || file->fd < 0 || buffer == nullptr || file->access == FS_O_WRONLY) return -1;
  if (length > kMaxFileSize) length = kMaxFileSize;
  ssize_t count = ::pread(file->fd, buffer, length, file->position);
  if (count < 0) return -1;
  file->position += count;
  return INT32(count);
}

INT32 Ofs1Folder::Write(INTN value, CONST VOID *buffer, UINT32 length) {
  OpenFile *file = FileOf(value);
  if (file == nullptr || file->fd < 0 || buffer == nullptr || file->access == FS_O_RDONLY) return -1;
  if (int64_t(length) > kMaxFileSize - file->position) return -1;
  ssize_t count = ::pwrite(file->fd, buffer, length, file->position);
  if (count < 0) return -1;
  file->position += count;
  struct timespec times[2] = {{time_t(file->owner->now_()), 0}, {time_t(file->owner->now_()), 0}};
  futimens(file->fd, times);
  return INT32(count);
}

INT32 Ofs1Folder::Ioctl(INTN value, INT32 function, INTN argument) {
  OpenFile *file = FileOf(value);
  if (file == nullptr) return -1;
  struct stat info {};
  bool isFile = file->fd >= 0;
  if (isFile && ::fstat(file->fd, &info) != 0) return -1;
  switch (function) {
    case IOS_FIONREAD:
      if (!isFile || argument == 0) return -1;
      *reinterpret_cast<INT32 *>(argument) = INT32(std::max<int64_t>(0, std::min<int64_t>(info.st_size, kMaxFileSize) - file->position));
      return 0;
    case IOS_FIOSEEK:
      if (!isFile || argument < 0 || int64_t(argument) > kMaxFileSize) return -1;
      file->position = argument;
      return 0;
    case IOS_FIOWHERE:
      return isFile ? INT32(file->position) : -1;
    case IOS_FIOREADDIR: {
      auto *stream = reinterpret_cast<DirStream *>(argument);
      if (isFile || stream == nullptr || stream->lCookie < 0) return -1;
      // The cookie indexes the names taken at open; names deleted since
      // are skipped, so deleting while listing loses nothing else.
      std::error_code error;
      for (size_t index = size_t(stream->lCookie); index < file->entries.size(); ++index) {
        if (!fs::exists(fs::symlink_status(file->path / file->entries[index], error))) continue;
        std::memcpy(stream->szName, file->entries[index].c_str(), file->entries[index].size() + 1);
        stream->lCookie = INT32(index + 1);
        return 0;
      }
      stream->lCookie = INT32(file->entries.size());
      return -1;
    }
    case IOS_FIOFSTATGET: {
      auto *stat = reinterpret_cast<StatRecord *>(argument);
      if (stat == nullptr) return -1;
      if (!isFile && ::stat(file->path.c_str(), &info) != 0) return -1;
      std::memset(stat, 0, sizeof(*stat));
      stat->ulLinkCount = 1;
      stat->ulBlockSize = kBlockSize;
      stat->ulMode = (isFile ? FS_MODE_REG : FS_MODE_DIR) | kAllPermissions;
      if (isFile) {
        stat->ulSize = uint32_t(std::min<int64_t>(info.st_size, kMaxFileSize));
        stat->ulBlockCount = (stat->ulSize + kBlockSize - 1) / kBlockSize;
      }
      // The tffs stat record has the modification time at offset 44; the
      // later time fields repeat it.
      uint32_t modified = uint32_t(info.st_mtime);
      stat->ulAccessTime = modified;
      stat->ulModifyTime = modified;
      stat->ulChangeTime = modified;
      return 0;
    }
    default:
      return -1;
  }
}

}  // namespace sim
