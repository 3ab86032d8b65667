// "ofs1:" of the simulated board: a file system whose files are the files
// of a folder on the host ("ofs1" in the board directory), so a user can
// look at them. It is a device driver of the firmware's I/O system: its
// operations plug into the driver table and its device record starts with
// the I/O system's device header. Names never leave the folder: "..",
// and symlinks that point outside are refused.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include <Library/IoSystemLib.h>
#include <Protocol/BoardFileDevice.h>

namespace sim {

class Ofs1Folder {
 public:
  // Board time stamps: seconds since 1970-01-01 00:00.
  using TimeSource = std::function<uint32_t()>;

  // Uses folder (created when missing); an empty name makes a temporary
  // folder that is removed with this object.
  Ofs1Folder(const std::string &folder, TimeSource now);
  ~Ofs1Folder();
  Ofs1Folder(const Ofs1Folder &) = delete;
  Ofs1Folder &operator=(const Ofs1Folder &) = delete;

  // What the I/O system is given: IosDrvInstall(&Ofs1Folder::Funcs()),
  // then IosDevAdd(Device(), "ofs1:", driver number).
  static const IOS_DRIVER_FUNCS &Funcs();
  IOS_DEV_HDR *Device() { return &device_.header; }
  // The same, as the board publishes it for the firmware's start-up.
  BOARD_FILE_DEVICE_PROTOCOL *Protocol() { return &protocol_; }

  const std::filesystem::path &Folder() const { return root_; }
  // Files and directories open through this device.
  unsigned OpenCount() const { return openCount_; }

  // The host path of a device-relative name ("/a.cc"); false when the name
  // would leave the folder.
  bool Resolve(const char *name, std::filesystem::path *out) const;

 private:
  struct DeviceRecord {
    IOS_DEV_HDR header;  // first: the I/O system hands this pointer back
    Ofs1Folder *owner;
  };
  struct OpenFile;

  static Ofs1Folder *From(IOS_DEV_HDR *device);
  static OpenFile *FileOf(INTN value);
  INTN OpenPath(const char *name, int32_t flags, int32_t mode, bool create);

  static INTN Create(IOS_DEV_HDR *device, CHAR8 *name, INT32 flags);
  static INT32 Delete(IOS_DEV_HDR *device, CHAR8 *name);
  static INTN Open(IOS_DEV_HDR *device, CHAR8 *name, INT32 flags, INT32 mode);
  static INT32 Close(INTN value);
  static INT32 Read(INTN value, VOID *buffer, UINT32 length);
  static INT32 Write(INTN value, CONST VOID *buffer, UINT32 length);
  static INT32 Ioctl(INTN value, INT32 function, INTN argument);

  DeviceRecord device_{};
  BOARD_FILE_DEVICE_PROTOCOL protocol_{};
  std::filesystem::path root_;
  bool temporary_ = false;
  TimeSource now_;
  unsigned openCount_ = 0;
};

// Seconds since 1970 of a "YYYY-MM-DD hh:mm:ss" board clock setting; 0 when
// it does not parse.
uint32_t BoardClockSeconds(const std::string &setting);

}  // namespace sim
