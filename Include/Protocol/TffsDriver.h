// The tffs driver protocol: the I/O-system calls behind "ofs1:/" and "mfs:/"
// as a table of eight entries in a fixed slot order. Every entry takes the
// interface pointer first. Open flags and seek origins are those of the
// kvfs driver protocol (Protocol/KvfsDriver.h).
#ifndef PROTOCOL_TFFS_DRIVER_H_
#define PROTOCOL_TFFS_DRIVER_H_

#include <Protocol/KvfsDriver.h>
#include <Uefi/UefiBaseType.h>

#define TFFS_DRIVER_PROTOCOL_GUID \
  { 0x25BCD787, 0xD9F4, 0x48EF, { 0xA6, 0x81, 0x2B, 0xD9, 0x7E, 0x4C, 0xA9, 0x2F } }

extern EFI_GUID gTffsDriverProtocolGuid;

// Ioctl function codes the file API uses.
#define TFFS_IOCTL_READ_DIR 37  // argument: DirStream *
#define TFFS_IOCTL_STAT 38      // argument: StatRecord *

// Byte offset of the modification time in the stat record tffs fills.
#define TFFS_STAT_MTIME_OFFSET 44

// Directory stream of Ioctl 37: the driver keeps its place in Cookie
// (0 before the first entry) and writes the next entry's name.
#define DIR_STREAM_NAME_SIZE 100
typedef struct {
  INT32 lDescriptor;
  INT32 lCookie;
  CHAR8 szName[DIR_STREAM_NAME_SIZE];
} DirStream;

static_assert(sizeof(DirStream) == 108, "DirStream is 108 bytes");

typedef struct TFFS_DRIVER_PROTOCOL TFFS_DRIVER_PROTOCOL;

// Descriptor (3 or more), -1 on failure. Creat makes the file empty.
typedef INT32(EFIAPI *TFFS_DRIVER_CREAT)(TFFS_DRIVER_PROTOCOL *This, CONST CHAR8 *Path, INT32 Flags);
typedef INT32(EFIAPI *TFFS_DRIVER_OPEN)(TFFS_DRIVER_PROTOCOL *This, CONST CHAR8 *Path, INT32 Flags, INT32 Mode);
// Bytes written or read, -1 on failure.
typedef INT32(EFIAPI *TFFS_DRIVER_WRITE)(TFFS_DRIVER_PROTOCOL *This, INT32 Descriptor, CONST VOID *Buffer,
                                         UINT32 Length);
typedef INT32(EFIAPI *TFFS_DRIVER_READ)(TFFS_DRIVER_PROTOCOL *This, INT32 Descriptor, VOID *Buffer, UINT32 Length);
// New position, -1 on failure.
typedef INT32(EFIAPI *TFFS_DRIVER_LSEEK)(TFFS_DRIVER_PROTOCOL *This, INT32 Descriptor, INT32 Offset, INT32 Whence);
// The device driver's result, -1 on failure.
typedef INT32(EFIAPI *TFFS_DRIVER_CLOSE)(TFFS_DRIVER_PROTOCOL *This, INT32 Descriptor);
typedef INT32(EFIAPI *TFFS_DRIVER_REMOVE)(TFFS_DRIVER_PROTOCOL *This, CONST CHAR8 *Path);
// Argument is a number or a pointer, as the function code says.
typedef INT32(EFIAPI *TFFS_DRIVER_IOCTL)(TFFS_DRIVER_PROTOCOL *This, INT32 Descriptor, INT32 Function,
                                         INTN Argument);

struct TFFS_DRIVER_PROTOCOL {
  TFFS_DRIVER_CREAT Creat;
  TFFS_DRIVER_OPEN Open;
  TFFS_DRIVER_WRITE Write;
  TFFS_DRIVER_READ Read;
  TFFS_DRIVER_LSEEK Lseek;
  TFFS_DRIVER_CLOSE Close;
  TFFS_DRIVER_REMOVE Remove;
  TFFS_DRIVER_IOCTL Ioctl;
};

#endif  // PROTOCOL_TFFS_DRIVER_H_
