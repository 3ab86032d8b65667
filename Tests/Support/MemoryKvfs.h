// An in-memory stand-in for the kvfs driver protocol: files are byte
// strings by path. It serves the path and handle entries a writer needs
// (Create, Open, Write, Read, Seek, Close, Delete); the directory and stat
// entries answer -1. Any entry can be made to fail, and calls are counted.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include <Protocol/KvfsDriver.h>

namespace sim {
class Board;
}

namespace simtest {

class MemoryKvfs {
 public:
  enum class Entry { Mkdir, Create, Open, Write, Read, ReadDirAll, ReadDir, Fstat, Seek, Close, Delete, Count };

  MemoryKvfs();
  MemoryKvfs(const MemoryKvfs &) = delete;
  MemoryKvfs &operator=(const MemoryKvfs &) = delete;

  KVFS_DRIVER_PROTOCOL *Interface() { return &instance_.protocol; }
  // Installs the interface under gKvfsDriverProtocolGuid on a new handle of
  // the board's core.
  void Install(sim::Board &board);

  // File content by full path ("cfcard:/bioslog.log").
  std::map<std::string, std::string> files;

  // The next `times` calls of the entry fail with -1 and change nothing.
  void Fail(Entry entry, unsigned times = 1) { failures_[int(entry)] = times; }
  unsigned Calls(Entry entry) const { return calls_[int(entry)]; }
  size_t OpenHandles() const { return handles_.size(); }

 private:
  struct Instance {
    KVFS_DRIVER_PROTOCOL protocol;
    MemoryKvfs *owner;
  };
  struct Handle {
    std::string path;
    uint32_t position = 0;
  };

  static MemoryKvfs *From(KVFS_DRIVER_PROTOCOL *This);
  // Counts the call; true when it is to fail.
  bool Enter(Entry entry);
  Handle *Find(INT32 descriptor);
  INT32 NewHandle(const std::string &path);

  static INT32 EFIAPI Mkdir(KVFS_DRIVER_PROTOCOL *This, CONST CHAR8 *Path, INT32 Flags, INT32 Mode);
  static INT32 EFIAPI Create(KVFS_DRIVER_PROTOCOL *This, CONST CHAR8 *Path, INT32 Flags, INT32 Mode);
  static INT32 EFIAPI Open(KVFS_DRIVER_PROTOCOL *This, CONST CHAR8 *Path, INT32 Flags, INT32 Mode);
  static INT32 EFIAPI Write(KVFS_DRIVER_PROTOCOL *This, INT32 Descriptor, CONST VOID *Buffer, UINT32 Length);
  static INT32 EFIAPI Read(KVFS_DRIVER_PROTOCOL *This, INT32 Descriptor, VOID *Buffer, UINT32 Length);
  static INT32 EFIAPI ReadDirAll(KVFS_DRIVER_PROTOCOL *This, INT32 Descriptor, CHAR8 *NameBuffer, INT32 Continue,
                                 FileInfoRecord **Entries, UINT32 *Count);
  static INT32 EFIAPI ReadDir(KVFS_DRIVER_PROTOCOL *This, INT32 Descriptor, CHAR8 *NameBuffer, INT32 Continue,
                              FileInfoRecord *Info);
  static INT32 EFIAPI Fstat(KVFS_DRIVER_PROTOCOL *This, INT32 Descriptor, FileInfoRecord *Info, StatRecord *Stat);
  static INT32 EFIAPI Seek(KVFS_DRIVER_PROTOCOL *This, INT32 Descriptor, INT32 Offset, INT32 Whence);
  static INT32 EFIAPI Close(KVFS_DRIVER_PROTOCOL *This, INT32 Descriptor);
  static INT32 EFIAPI Delete(KVFS_DRIVER_PROTOCOL *This, CONST CHAR8 *Path);

  Instance instance_;
  std::map<INT32, Handle> handles_;
  INT32 nextDescriptor_ = 0;
  unsigned failures_[int(Entry::Count)] = {};
  unsigned calls_[int(Entry::Count)] = {};
};

}  // namespace simtest
