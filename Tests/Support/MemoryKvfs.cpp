#include "Support/MemoryKvfs.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "Board/Board.h"

namespace simtest {

MemoryKvfs::MemoryKvfs() {
  instance_.protocol.Mkdir = Mkdir;
  instance_.protocol.Create = Create;
  instance_.protocol.Open = Open;
  instance_.protocol.Write = Write;
  instance_.protocol.Read = Read;
  instance_.protocol.ReadDirAll = ReadDirAll;
  instance_.protocol.ReadDir = ReadDir;
  instance_.protocol.Fstat = Fstat;
  instance_.protocol.Seek = Seek;
  instance_.protocol.Close = Close;
  instance_.protocol.Delete = Delete;
  instance_.owner = this;
}

void MemoryKvfs::Install(sim::Board &board) {
  EFI_HANDLE handle = nullptr;
  EFI_STATUS status = board.core.BootServices()->InstallProtocolInterface(&handle, &gKvfsDriverProtocolGuid,
                                                                          EFI_NATIVE_INTERFACE, Interface());
  if (EFI_ERROR(status)) throw std::runtime_error("cannot install the kvfs stand-in");
}

MemoryKvfs *MemoryKvfs::From(KVFS_DRIVER_PROTOCOL *This) {
  static_assert(offsetof(Instance, protocol) == 0, "the protocol record must lead the instance");
  return reinterpret_cast<Instance *>(This)->owner;
}

bool MemoryKvfs::Enter(Entry entry) {
  ++calls_[int(entry)];
  unsigned &failures = failures_[int(entry)];
  if (failures == 0) return false;
  --failures;
  return true;
}

MemoryKvfs::Handle *MemoryKvfs::Find(INT32 descriptor) {
  auto it = handles_.find(descriptor);
  return it == handles_.end() ? nullptr : &it->second;
}

INT32 MemoryKvfs::NewHandle(const std::string &path) {
  INT32 descriptor = nextDescriptor_++;
  handles_[descriptor] = Handle{path, 0};
  return descriptor;
}

INT32 EFIAPI MemoryKvfs::Mkdir(KVFS_DRIVER_PROTOCOL *This, CONST CHAR8 *Path, INT32 Flags, INT32 Mode) {
  From(This)->Enter(Entry::Mkdir);
  return -1;
}

// Like kvfs: an existing object is not created again.
INT32 EFIAPI MemoryKvfs::Create(KVFS_DRIVER_PROTOCOL *This, CONST CHAR8 *Path, INT32 Flags, INT32 Mode) {
  MemoryKvfs *self = From(This);
  if (self->Enter(Entry::Create) || Path == nullptr || self->files.count(Path) != 0) return -1;
  self->files[Path] = std::string();
  return self->NewHandle(Path);
}

INT32 EFIAPI MemoryKvfs::Open(KVFS_DRIVER_PROTOCOL *This, CONST CHAR8 *Path, INT32 Flags, INT32 Mode) {
  MemoryKvfs *self = From(This);
  if (self->Enter(Entry::Open) || Path == nullptr) return -1;
  if (self->files.count(Path) == 0) {
    if ((Flags & FS_O_CREAT) == 0) return -1;
    self->files[Path] = std::string();
  }
  if ((Flags & FS_O_TRUNC) != 0) self->files[Path].clear();
  return self->NewHandle(Path);
}

INT32 EFIAPI MemoryKvfs::Write(KVFS_DRIVER_PROTOCOL *This, INT32 Descriptor, CONST VOID *Buffer, UINT32 Length) {
  MemoryKvfs *self = From(This);
  Handle *handle = self->Find(Descriptor);
  if (self->Enter(Entry::Write) || handle == nullptr || Buffer == nullptr) return -1;
  std::string &content = self->files[handle->path];
  if (content.size() < handle->position) content.resize(handle->position, '\0');
  content.replace(handle->position, Length, static_cast<const char *>(Buffer), Length);
  handle->position += Length;
  return INT32(Length);
}

INT32 EFIAPI MemoryKvfs::Read(KVFS_DRIVER_PROTOCOL *This, INT32 Descriptor, VOID *Buffer, UINT32 Length) {
  MemoryKvfs *self = From(This);
  Handle *handle = self->Find(Descriptor);
  if (self->Enter(Entry::Read) || handle == nullptr || Buffer == nullptr) return -1;
  const std::string &content = self->files[handle->path];
  if (handle->position >= content.size()) return 0;
  size_t count = std::min<size_t>(Length, content.size() - handle->position);
  std::memcpy(Buffer, content.data() + handle->position, count);
  handle->position += uint32_t(count);
  return INT32(count);
}

INT32 EFIAPI MemoryKvfs::ReadDirAll(KVFS_DRIVER_PROTOCOL *This, INT32 Descriptor, CHAR8 *NameBuffer,
                                    INT32 Continue, FileInfoRecord **Entries, UINT32 *Count) {
  From(This)->Enter(Entry::ReadDirAll);
  return -1;
}

INT32 EFIAPI MemoryKvfs::ReadDir(KVFS_DRIVER_PROTOCOL *This, INT32 Descriptor, CHAR8 *NameBuffer, INT32 Continue,
                                 FileInfoRecord *Info) {
  From(This)->Enter(Entry::ReadDir);
  return -1;
}

INT32 EFIAPI MemoryKvfs::Fstat(KVFS_DRIVER_PROTOCOL *This, INT32 Descriptor, FileInfoRecord *Info,
                               StatRecord *Stat) {
  From(This)->Enter(Entry::Fstat);
  return -1;
}

INT32 EFIAPI MemoryKvfs::Seek(KVFS_DRIVER_PROTOCOL *This, INT32 Descriptor, INT32 Offset, INT32 Whence) {
  MemoryKvfs *self = From(This);
  Handle *handle = self->Find(Descriptor);
  if (self->Enter(Entry::Seek) || handle == nullptr) return -1;
  int64_t origin = 0;
  if (Whence == FS_SEEK_CUR) origin = handle->position;
  if (Whence == FS_SEEK_END) origin = int64_t(self->files[handle->path].size());
  int64_t position = origin + Offset;
  if (position < 0 || position > INT32_MAX) return -1;
  handle->position = uint32_t(position);
  return INT32(position);
}

INT32 EFIAPI MemoryKvfs::Close(KVFS_DRIVER_PROTOCOL *This, INT32 Descriptor) {
  MemoryKvfs *self = From(This);
  if (self->Enter(Entry::Close) || self->handles_.erase(Descriptor) == 0) return -1;
  return 0;
}

INT32 EFIAPI MemoryKvfs::Delete(KVFS_DRIVER_PROTOCOL *This, CONST CHAR8 *Path) {
  MemoryKvfs *self = From(This);
  if (self->Enter(Entry::Delete) || Path == nullptr || self->files.erase(Path) == 0) return -1;
  return 0;
}

}  // namespace simtest
