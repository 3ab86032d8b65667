// File API operations built from several protocol calls: size, recreate,
// read-all and directory ensure.
#include <Library/DebugLib.h>

#include "FileAccess/FileApi.h"

INT32 FileGetSize(CONST CHAR8 *Path) {
  INT32 Kind = FS_KIND_TFFS;
  INT32 Descriptor = FileOpen(&Kind, Path, FS_O_RDWR, 0);
  if (Descriptor == -1) return -1;
  INT32 Size = FileSeek(Kind, Descriptor, 0, FS_SEEK_END);
  if (Size < 0) Size = -1;
  INT32 Result = FileSeek(Kind, Descriptor, 0, FS_SEEK_SET);
  if (Result < 0) DebugPrint(DEBUG_ERROR, "[%dL]:Seek File failed!retVal:%x\n", __LINE__, Result);
  Result = FileClose(Kind, Descriptor);
  if (Result < 0) DebugPrint(DEBUG_ERROR, "[%dL]:close File failed!retVal:%x\n", __LINE__, Result);
  return Size;
}

// When the old file cannot be closed or deleted no new file is made, and
// the answer is -1: the old descriptor is closed and must not be used.
INT32 FileRecreate(INT32 *Kind, CONST CHAR8 *Path) {
  INT32 Descriptor = FileOpen(Kind, Path, FS_O_RDWR, 0);
  if (Descriptor == -1) {
    DebugPrint(DEBUG_ERROR, "open file %a fail, start create it!\n", Path);
    // A path without a known prefix left the kind unset, and tffs would
    // create it on the default device: nothing is created then.
    BOOLEAN Known = Kind != NULL && FileSystemSelect(Path) != FILE_SELECT_BAD_PATH;
    Descriptor = Known ? FileCreate(*Kind, Path, FS_O_RDWR) : -1;
  } else {
    INT32 Result = FileClose(*Kind, Descriptor);
    if (Result < 0) {
      DebugPrint(DEBUG_ERROR, "close kvfs0 File failed!retVal:%x\n", Result);
      Descriptor = -1;
    } else if (FileDelete(Path) < 0) {
      DebugPrint(DEBUG_ERROR, "Delete File %a failed!\n", Path);
      Descriptor = -1;
    } else {
      Descriptor = FileCreate(*Kind, Path, FS_O_RDWR);
    }
  }
  if (Descriptor == -1) {
    DebugPrint(DEBUG_ERROR, "create filesystem.................................failed\n");
  } else {
    DebugPrint(DEBUG_ERROR, "create filesystem.................................done\n");
  }
  return Descriptor;
}

// The file counts as read whole only when all its bytes arrived; a short
// read is continued until the size is reached or the file system stops.
INT32 FileReadAll(CONST CHAR8 *Path, VOID *Buffer, UINT32 Capacity, UINT32 *Size) {
  if (Size == NULL) return 0;
  *Size = 0;
  if (Path == NULL || Buffer == NULL) return 0;
  INT32 FileSize = FileGetSize(Path);
  if (FileSize == 0 || FileSize == -1 || (UINT32)FileSize > Capacity) return 0;
  *Size = (UINT32)FileSize;
  INT32 Kind = FS_KIND_TFFS;
  INT32 Descriptor = FileOpen(&Kind, Path, FS_O_RDWR, 0);
  if (Descriptor == -1) {
    DebugPrint(DEBUG_ERROR, "Open \"%a\" ERROR.\n", Path);
    return 0;
  }
  UINT32 Done = 0;
  BOOLEAN ReadFailed = FALSE;
  while (Done < (UINT32)FileSize) {
    INT32 Count = FileRead(Kind, Descriptor, (UINT8 *)Buffer + Done, (UINT32)FileSize - Done);
    if (Count <= 0) {
      ReadFailed = Count < 0;
      break;
    }
    Done += (UINT32)Count;
  }
  INT32 Result = FileClose(Kind, Descriptor);
  if (ReadFailed) return 0;
  if (Done < (UINT32)FileSize) {
    *Size = Done;
    return 0;
  }
  if (Result == -1) {
    DebugPrint(DEBUG_ERROR, "close file %a failed!\n", Path);
    return 0;
  }
  return 1;
}

INT32 DirEnsure(CONST CHAR8 *Path, INT32 Flags, INT32 Mode) {
  INT32 Kind = FS_KIND_TFFS;
  Mode |= FS_MODE_DIR;
  INT32 Descriptor = FileOpen(&Kind, Path, Flags, Mode);
  if (Descriptor == -1) {
    DebugPrint(DEBUG_ERROR, "[%dL]:open filesystem fail!\n", __LINE__);
    DebugPrint(DEBUG_ERROR, "[%dL]:start create filesystem Dir!\n", __LINE__);
    Descriptor = FileOpen(&Kind, Path, Flags | FS_O_CREAT, Mode);
    if (Descriptor == -1) {
      DebugPrint(DEBUG_ERROR, "[%dL]:create filesystem Dir fail!\n", __LINE__);
      // Nothing is open: there is nothing to close.
      return -1;
    }
    DebugPrint(DEBUG_ERROR, "[%dL]:create filesystem Dir SUCCESS!\n", __LINE__);
  }
  if (FileClose(Kind, Descriptor) < 0) DebugPrint(DEBUG_ERROR, "[%dL]:close File failed!\n", __LINE__);
  return Descriptor;
}
