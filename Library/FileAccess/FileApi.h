// The file API: a thin dispatcher that picks the file system from the path
// prefix ("cfcard:/" kvfs, "ofs1:/" and "mfs:/" tffs), locates its driver
// protocol at every call, calls one entry and prints a message on failure.
// Callers keep the kind beside the descriptor and pass both back.
#ifndef FILEACCESS_FILE_API_H_
#define FILEACCESS_FILE_API_H_

#include <Protocol/KvfsDriver.h>
#include <Protocol/TffsDriver.h>

#define FS_KIND_TFFS 0
#define FS_KIND_KVFS 1

// The selection's own answer for a path with no known prefix.
#define FILE_SELECT_BAD_PATH ((INT32)0x80000002)

// 1 for kvfs, 0 for tffs, FILE_SELECT_BAD_PATH for anything else.
INT32 FileSystemSelect(CONST CHAR8 *Path);

INT32 FileOpen(INT32 *Kind, CONST CHAR8 *Path, INT32 Flags, INT32 Mode);
INT32 FileCreate(INT32 Kind, CONST CHAR8 *Path, INT32 Flags);
INT32 FileRead(INT32 Kind, INT32 Descriptor, VOID *Buffer, UINT32 Length);
INT32 FileWrite(INT32 Kind, INT32 Descriptor, CONST VOID *Buffer, UINT32 Length);
INT32 FileSeek(INT32 Kind, INT32 Descriptor, INT32 Offset, INT32 Whence);
INT32 FileClose(INT32 Kind, INT32 Descriptor);
INT32 FileDelete(CONST CHAR8 *Path);
INT32 FileRemove(CONST CHAR8 *Path);

// Size of the file, or -1; the file is closed again.
INT32 FileGetSize(CONST CHAR8 *Path);
// Replaces the file by an empty one: descriptor of the new file, or -1.
INT32 FileRecreate(INT32 *Kind, CONST CHAR8 *Path);
// Reads the whole file into Buffer: 1 when all of it was read, else 0.
INT32 FileReadAll(CONST CHAR8 *Path, VOID *Buffer, UINT32 Capacity, UINT32 *Size);
// Opens the directory, creating it when it does not open; the descriptor
// (already closed) or -1.
INT32 DirEnsure(CONST CHAR8 *Path, INT32 Flags, INT32 Mode);

// Directory streams and stat, always through the tffs protocol.
INT32 DirOpen(CONST CHAR8 *Path, DirStream **Stream);
INT32 DirRead(DirStream *Stream, CHAR8 *Name);
INT32 DirClose(DirStream *Stream);
INT32 FileStat(CONST CHAR8 *Path, StatRecord *Stat);
INT32 FileStatFd(INT32 Descriptor, StatRecord *Stat);

#endif  // FILEACCESS_FILE_API_H_
