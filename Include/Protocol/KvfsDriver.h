// The kvfs driver protocol: the path and handle operations of the NAND flash
// file system behind "cfcard:/", as a table of eleven entries in a fixed
// slot order. Every entry takes the interface pointer first. The driver that
// owns the kvfs devices installs it; BootAgent locates it at every use.
#ifndef PROTOCOL_KVFS_DRIVER_H_
#define PROTOCOL_KVFS_DRIVER_H_

#include <Uefi/UefiBaseType.h>

#define KVFS_DRIVER_PROTOCOL_GUID \
  { 0xF355BCA3, 0x232D, 0x4DBE, { 0xAD, 0x05, 0x94, 0xBB, 0x29, 0xC8, 0x4D, 0x46 } }

extern EFI_GUID gKvfsDriverProtocolGuid;

// Open flags, the same for the kvfs and tffs protocols.
#define FS_O_RDONLY 0
#define FS_O_WRONLY 1
#define FS_O_RDWR 2
#define FS_O_CREAT 0x200
#define FS_O_TRUNC 0x400

// Seek origins.
#define FS_SEEK_SET 0
#define FS_SEEK_CUR 1
#define FS_SEEK_END 2

// Mode: type bits 12..19 (directory 4, regular file 8), permissions below.
#define FS_MODE_DIR 0x4000
#define FS_MODE_REG 0x8000
#define US_CREATONLY 0x10000000
#define DFTDIRMODE 0x41E8                              // directory, 0750
#define FS_DIR_CREATE_MODE (US_CREATONLY | DFTDIRMODE)  // 0x100041E8
#define FS_FILE_CREATE_MODE 0x100081A0                  // regular file, 0640, create only

// Result of the descriptor-returning entries on failure.
#define FS_BAD_DESCRIPTOR (-1)

// Size of the on-flash object header that leads a FileInfoRecord.
#define KVFS_OBJECT_HEADER_SIZE 448

// Status of an open object: fourteen 32-bit fields in this order.
typedef struct {
  UINT32 ulDevice;
  UINT32 ulInode;
  UINT32 ulMode;
  UINT32 ulLinkCount;
  UINT32 ulUser;
  UINT32 ulGroup;
  UINT32 ulSpecialDevice;
  UINT32 ulSize;
  UINT32 ulBlockSize;
  UINT32 ulBlockCount;
  UINT32 ulAttributes;
  UINT32 ulAccessTime;
  UINT32 ulModifyTime;
  UINT32 ulChangeTime;
} StatRecord;

// One kvfs object as listed: its object header exactly as stored on flash,
// then the file size (0 for a directory) and the object ID.
typedef struct {
  UINT8 aucObjectHeader[KVFS_OBJECT_HEADER_SIZE];
  UINT32 ulFileSize;
  UINT32 ulObjectId;
} FileInfoRecord;

static_assert(sizeof(StatRecord) == 56, "StatRecord is fourteen words");
static_assert(sizeof(FileInfoRecord) == 456, "FileInfoRecord is 456 bytes");

typedef struct KVFS_DRIVER_PROTOCOL KVFS_DRIVER_PROTOCOL;

// Path entries: a descriptor (or 0 for Delete), -1 on failure.
typedef INT32(EFIAPI *KVFS_DRIVER_MKDIR)(KVFS_DRIVER_PROTOCOL *This, CONST CHAR8 *Path, INT32 Flags, INT32 Mode);
typedef INT32(EFIAPI *KVFS_DRIVER_CREATE)(KVFS_DRIVER_PROTOCOL *This, CONST CHAR8 *Path, INT32 Flags, INT32 Mode);
typedef INT32(EFIAPI *KVFS_DRIVER_OPEN)(KVFS_DRIVER_PROTOCOL *This, CONST CHAR8 *Path, INT32 Flags, INT32 Mode);
// Bytes written or read (0 at the end of the file), -1 on failure.
typedef INT32(EFIAPI *KVFS_DRIVER_WRITE)(KVFS_DRIVER_PROTOCOL *This, INT32 Descriptor, CONST VOID *Buffer,
                                         UINT32 Length);
typedef INT32(EFIAPI *KVFS_DRIVER_READ)(KVFS_DRIVER_PROTOCOL *This, INT32 Descriptor, VOID *Buffer, UINT32 Length);
// Lists the directory: one pool block per entry stored in Entries (the
// caller frees them; a null array only counts). 0, -1 or a kvfs status.
typedef INT32(EFIAPI *KVFS_DRIVER_READ_DIR_ALL)(KVFS_DRIVER_PROTOCOL *This, INT32 Descriptor, CHAR8 *NameBuffer,
                                                INT32 Continue, FileInfoRecord **Entries, UINT32 *Count);
// The next directory entry: name (at least 100 bytes) and record.
typedef INT32(EFIAPI *KVFS_DRIVER_READ_DIR)(KVFS_DRIVER_PROTOCOL *This, INT32 Descriptor, CHAR8 *NameBuffer,
                                            INT32 Continue, FileInfoRecord *Info);
// Fills both records of the open object; the caller passes a zeroed Stat.
typedef INT32(EFIAPI *KVFS_DRIVER_FSTAT)(KVFS_DRIVER_PROTOCOL *This, INT32 Descriptor, FileInfoRecord *Info,
                                         StatRecord *Stat);
// New position, -1 on failure.
typedef INT32(EFIAPI *KVFS_DRIVER_SEEK)(KVFS_DRIVER_PROTOCOL *This, INT32 Descriptor, INT32 Offset, INT32 Whence);
typedef INT32(EFIAPI *KVFS_DRIVER_CLOSE)(KVFS_DRIVER_PROTOCOL *This, INT32 Descriptor);
typedef INT32(EFIAPI *KVFS_DRIVER_DELETE)(KVFS_DRIVER_PROTOCOL *This, CONST CHAR8 *Path);

struct KVFS_DRIVER_PROTOCOL {
  KVFS_DRIVER_MKDIR Mkdir;
  KVFS_DRIVER_CREATE Create;
  KVFS_DRIVER_OPEN Open;
  KVFS_DRIVER_WRITE Write;
  KVFS_DRIVER_READ Read;
  KVFS_DRIVER_READ_DIR_ALL ReadDirAll;
  KVFS_DRIVER_READ_DIR ReadDir;
  KVFS_DRIVER_FSTAT Fstat;
  KVFS_DRIVER_SEEK Seek;
  KVFS_DRIVER_CLOSE Close;
  KVFS_DRIVER_DELETE Delete;
};

#endif  // PROTOCOL_KVFS_DRIVER_H_
