// The file API's single-entry operations: open, create, read, write, seek,
// close, delete and remove.
#include "FileAccess/FileApi.h"

#include <Library/BaseLib.h>
#include <Library/DebugLib.h>
#include <Library/PrintLib.h>

#include "FileAccess/FileProtocols.h"

#define FILE_PREFIX_KVFS "cfcard:/"
#define FILE_PREFIX_OFS1 "ofs1:/"
#define FILE_PREFIX_MFS "mfs:/"

static BOOLEAN FileHasPrefix(CONST CHAR8 *Path, CONST CHAR8 *Prefix) {
  return AsciiStrnCmp(Path, Prefix, AsciiStrLen(Prefix)) == 0;
}

INT32 FileSystemSelect(CONST CHAR8 *Path) {
  if (Path == NULL) return FILE_SELECT_BAD_PATH;
  if (FileHasPrefix(Path, FILE_PREFIX_KVFS)) return FS_KIND_KVFS;
  if (FileHasPrefix(Path, FILE_PREFIX_OFS1) || FileHasPrefix(Path, FILE_PREFIX_MFS)) return FS_KIND_TFFS;
  return FILE_SELECT_BAD_PATH;
}

INT32 FileOpen(INT32 *Kind, CONST CHAR8 *Path, INT32 Flags, INT32 Mode) {
  INT32 Selected = FileSystemSelect(Path);
  if (Kind == NULL || Selected == FILE_SELECT_BAD_PATH) {
    DebugPrint(DEBUG_ERROR, "[%dL]:input parameter ERROR!\n", __LINE__);
    return -1;
  }
  *Kind = Selected;
  INT32 Descriptor;
  if (Selected == FS_KIND_KVFS) {
    KVFS_DRIVER_PROTOCOL *Kvfs = FileLocateKvfs();
    if (Kvfs == NULL) {
      DebugPrint(DEBUG_ERROR, "LocateProtocol:gKvfsDriverProtocolGuid fail!\n");
      return -1;
    }
    Descriptor = Kvfs->Open(Kvfs, Path, Flags, Mode);
    if (Descriptor == -1) DebugPrint(DEBUG_ERROR, "OpenKvfs \"%a\" ERROR.\n", Path);
  } else {
    TFFS_DRIVER_PROTOCOL *Tffs = FileLocateTffs();
    if (Tffs == NULL) {
      DebugPrint(DEBUG_ERROR, "LocateProtocol:gKvfsDriverProtocolGuid fail!\n");
      return -1;
    }
    Descriptor = Tffs->Open(Tffs, Path, Flags, Mode);
    if (Descriptor == -1) DebugPrint(DEBUG_ERROR, "OpenTffs \"%a\" ERROR.\n", Path);
  }
  return Descriptor;
}

INT32 FileCreate(INT32 Kind, CONST CHAR8 *Path, INT32 Flags) {
  INT32 Descriptor;
  if (Kind == FS_KIND_KVFS) {
    KVFS_DRIVER_PROTOCOL *Kvfs = FileLocateKvfs();
    if (Kvfs == NULL) {
      DebugPrint(DEBUG_ERROR, "[%dL]:LocateProtocol:gKvfsDriverProtocolGuid fail!\n", __LINE__);
      return -1;
    }
    Descriptor = Kvfs->Create(Kvfs, Path, Flags, 0);
    if (Descriptor == -1) DebugPrint(DEBUG_ERROR, "\n[%dL]:Createkvfs:fail \"%a\".\n", __LINE__, Path);
  } else {
    TFFS_DRIVER_PROTOCOL *Tffs = FileLocateTffs();
    if (Tffs == NULL) {
      DebugPrint(DEBUG_ERROR, "[%dL]:LocateProtocol:gKvfsDriverProtocolGuid fail!\n", __LINE__);
      return -1;
    }
    Descriptor = Tffs->Creat(Tffs, Path, Flags);
    if (Descriptor == -1) DebugPrint(DEBUG_ERROR, "\n[%dL]:Createtffs:fail \"%a\".\n", __LINE__, Path);
  }
  return Descriptor;
}

INT32 FileRead(INT32 Kind, INT32 Descriptor, VOID *Buffer, UINT32 Length) {
  INT32 Result;
  if (Kind == FS_KIND_KVFS) {
    KVFS_DRIVER_PROTOCOL *Kvfs = FileLocateKvfs();
    if (Kvfs == NULL) {
      DebugPrint(DEBUG_ERROR, "[%dL]:LocateProtocol:gKvfsDriverProtocolGuid fail!\n", __LINE__);
      return 0;
    }
    Result = Kvfs->Read(Kvfs, Descriptor, Buffer, Length);
  } else {
    TFFS_DRIVER_PROTOCOL *Tffs = FileLocateTffs();
    if (Tffs == NULL) {
      DebugPrint(DEBUG_ERROR, "[%dL]:LocateProtocol:gKvfsDriverProtocolGuid fail!\n", __LINE__);
      return 0;
    }
    Result = Tffs->Read(Tffs, Descriptor, Buffer, Length);
  }
  if (Result < 0) DebugPrint(DEBUG_ERROR, "[%dL]:read File failed!ret:%x\n", __LINE__, Result);
  return Result;
}

INT32 FileWrite(INT32 Kind, INT32 Descriptor, CONST VOID *Buffer, UINT32 Length) {
  INT32 Result;
  if (Kind == FS_KIND_KVFS) {
    KVFS_DRIVER_PROTOCOL *Kvfs = FileLocateKvfs();
    if (Kvfs == NULL) {
      DebugPrint(DEBUG_ERROR, "[%dL]:LocateProtocol:gKvfsDriverProtocolGuid fail!\n", __LINE__);
      return -1;
    }
    Result = Kvfs->Write(Kvfs, Descriptor, Buffer, Length);
  } else {
    TFFS_DRIVER_PROTOCOL *Tffs = FileLocateTffs();
    if (Tffs == NULL) {
      DebugPrint(DEBUG_ERROR, "[%dL]:LocateProtocol:gKvfsDriverProtocolGuid fail!\n", __LINE__);
      return -1;
    }
    Result = Tffs->Write(Tffs, Descriptor, Buffer, Length);
  }
  if (Result < 0) DebugPrint(DEBUG_ERROR, "[%dL]:Write File failed!ret:%x\n", __LINE__, Result);
  return Result;
}

// A seek has no path: its failure message names the descriptor instead.
INT32 FileSeek(INT32 Kind, INT32 Descriptor, INT32 Offset, INT32 Whence) {
  CHAR8 What[16];
  INT32 Result;
  AsciiSPrint(What, sizeof(What), "fd %d", Descriptor);
  if (Kind == FS_KIND_KVFS) {
    KVFS_DRIVER_PROTOCOL *Kvfs = FileLocateKvfs();
    if (Kvfs == NULL) {
      DebugPrint(DEBUG_ERROR, "[%dL]:LocateProtocol:gKvfsDriverProtocolGuid failed\n", __LINE__);
      return 0;
    }
    Result = Kvfs->Seek(Kvfs, Descriptor, Offset, Whence);
    if (Result == -1) DebugPrint(DEBUG_ERROR, "[%dL]:SeekKvfs:fail \"%a\".\n", __LINE__, What);
  } else {
    TFFS_DRIVER_PROTOCOL *Tffs = FileLocateTffs();
    if (Tffs == NULL) {
      DebugPrint(DEBUG_ERROR, "[%dL]:LocateProtocol:gKvfsDriverProtocolGuid failed\n", __LINE__);
      return 0;
    }
    Result = Tffs->Lseek(Tffs, Descriptor, Offset, Whence);
    if (Result == -1) DebugPrint(DEBUG_ERROR, "[%dL]:SeekTffs:fail \"%a\".\n", __LINE__, What);
  }
  return Result;
}

INT32 FileClose(INT32 Kind, INT32 Descriptor) {
  INT32 Result;
  if (Kind == FS_KIND_KVFS) {
    KVFS_DRIVER_PROTOCOL *Kvfs = FileLocateKvfs();
    if (Kvfs == NULL) {
      DebugPrint(DEBUG_ERROR, "[%dL]:LocateProtocol:gKvfsDriverProtocolGuid fail!\n", __LINE__);
      return 0;
    }
    Result = Kvfs->Close(Kvfs, Descriptor);
    if (Result < 0) DebugPrint(DEBUG_ERROR, "[%dL]:close kvfs File failed!retVal:%x\n", __LINE__, Result);
  } else {
    TFFS_DRIVER_PROTOCOL *Tffs = FileLocateTffs();
    if (Tffs == NULL) {
      DebugPrint(DEBUG_ERROR, "[%dL]:LocateProtocol:gKvfsDriverProtocolGuid fail!\n", __LINE__);
      return 0;
    }
    Result = Tffs->Close(Tffs, Descriptor);
    if (Result < 0) DebugPrint(DEBUG_ERROR, "[%dL]:close tffs File failed!retVal:%x\n", __LINE__, Result);
  }
  return Result;
}

// Deletes through the protocol of the path's kind. MissingResult is what a
// missing protocol gives; TffsText picks the tffs failure message.
static INT32 FileDeleteByKind(INT32 Kind, CONST CHAR8 *Path, INT32 MissingResult, BOOLEAN TffsText) {
  INT32 Result;
  if (Kind == FS_KIND_KVFS) {
    KVFS_DRIVER_PROTOCOL *Kvfs = FileLocateKvfs();
    if (Kvfs == NULL) {
      DebugPrint(DEBUG_ERROR, "[%dL]:LocateProtocol:gKvfsDriverProtocolGuid fail!\n", __LINE__);
      return MissingResult;
    }
    Result = Kvfs->Delete(Kvfs, Path);
  } else {
    TFFS_DRIVER_PROTOCOL *Tffs = FileLocateTffs();
    if (Tffs == NULL) {
      DebugPrint(DEBUG_ERROR, "[%dL]:LocateProtocol:gKvfsDriverProtocolGuid fail!\n", __LINE__);
      return MissingResult;
    }
    Result = Tffs->Remove(Tffs, Path);
  }
  if (Result < 0) {
    if (Kind != FS_KIND_KVFS && TffsText) {
      DebugPrint(DEBUG_ERROR, "[%dL]:Delete tffs File failed!retVal:%x\n", __LINE__, Result);
    } else {
      DebugPrint(DEBUG_ERROR, "[%dL]:Delete kvfs File failed!retVal:%x\n", __LINE__, Result);
    }
  }
  return Result;
}

INT32 FileDelete(CONST CHAR8 *Path) {
  INT32 Kind = FileSystemSelect(Path);
  if (Kind == FILE_SELECT_BAD_PATH) {
    DebugPrint(DEBUG_ERROR, "[%dL]:input parameter ERROR!\n", __LINE__);
    return -1;
  }
  return FileDeleteByKind(Kind, Path, -1, FALSE);
}

INT32 FileRemove(CONST CHAR8 *Path) {
  INT32 Kind = FileSystemSelect(Path);
  if (Kind == FILE_SELECT_BAD_PATH) {
    DebugPrint(DEBUG_ERROR, "[%dL]:input parameter ERROR!\n", __LINE__);
    return 0;
  }
  return FileDeleteByKind(Kind, Path, 0, TRUE);
}
