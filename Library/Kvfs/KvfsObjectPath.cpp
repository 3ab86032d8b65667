// Paths: regulation (length, backslashes), splitting into components with
// "." and "..", name characters, and case-insensitive names.
#include "Kvfs/KvfsObject.h"

static BOOLEAN IsSeparator(CHAR8 C) { return C == '/' || C == '\\'; }

KVFS_STATUS kvfs_RegulatePath(CONST CHAR8 *Path, CHAR8 *Out) {
  if (Path == NULL || Out == NULL) return KVFS_ERR_PATH_REGULATE;
  UINT32 length = 0;
  while (length < KVFS_NAME_MAX && Path[length] != 0) length++;
  if (length >= KVFS_NAME_MAX) {
    KVFS_LOG(KVFS_LOG_TRACE, "[kvfs_RegulatePath]:Path length is out of rang!old_path:%s\r\n", Path, 2, 3, 4);
    return KVFS_ERR_PATH_LONG;
  }
  for (UINT32 i = 0; i < length; i++) Out[i] = Path[i] == '\\' ? '/' : Path[i];
  Out[length] = 0;
  return KVFS_OK;
}

INT32 kvfs_PathParse(CONST CHAR8 *Path, KvfsPathPart *Parts, UINT32 Slots) {
  UINT32 count = 0;
  UINT32 i = 0;
  while (TRUE) {
    while (IsSeparator(Path[i])) i++;
    if (Path[i] == 0) break;
    UINT32 start = i;
    while (Path[i] != 0 && !IsSeparator(Path[i])) i++;
    UINT32 raw = i - start;
    if (raw == 1 && Path[start] == '.') continue;
    if (raw == 2 && Path[start] == '.' && Path[start + 1] == '.') {
      if (count > 1) count--;  // never above the device component
      continue;
    }
    UINT32 length = raw;
    while (length > 0 && (Path[start + length - 1] == ' ' || Path[start + length - 1] == '.')) length--;
    if (length == 0) {
      KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_PathParse]:no regular char @ %d\n", start, 2, 3, 4);
      g_iKvfsErrNo = KVFS_ENO_PATH_SYNTAX;
      return -1;
    }
    if (count >= KVFS_MAX_COMPONENTS || count >= Slots) {
      KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_PathParse]:path termination has not been reached\n", 1, 2, 3, 4);
      g_iKvfsErrNo = KVFS_ENO_PATH_SYNTAX;
      return -1;
    }
    Parts[count].pStart = Path + start;
    Parts[count].ulLength = length;
    count++;
  }
  return (INT32)count;
}

KVFS_STATUS kvfs_NameCheck(CONST CHAR8 *Name) {
  for (UINT32 i = 0; i < KVFS_NAME_MAX && Name[i] != 0; i++) {
    UINT8 c = (UINT8)Name[i];
    if ((c >= 1 && c <= 31) || c == 127 || c == '"' || c == '*' || c == '/' || c == ':' || c == '<' || c == '>' ||
        c == '?' || c == '|' || c == '\\') {
      KVFS_LOG(KVFS_LOG_ERROR, "[kvfs_NameCheck]:invalid character %d\n", c, 2, 3, 4);
      return KVFS_ERR_NAME_CHAR;
    }
  }
  return KVFS_OK;
}

VOID kvfs_LowerCase(CHAR8 *Name) {
  for (UINT32 i = 0; Name[i] != 0; i++) {
    if (Name[i] >= 'A' && Name[i] <= 'Z') Name[i] = (CHAR8)(Name[i] - 'A' + 'a');
  }
}

static CHAR8 Lower(CHAR8 C) { return (C >= 'A' && C <= 'Z') ? (CHAR8)(C - 'A' + 'a') : C; }

BOOLEAN kvfs_NameEqual(CONST CHAR8 *A, CONST CHAR8 *B, UINT32 Max) {
  for (UINT32 i = 0; i < Max; i++) {
    if (Lower(A[i]) != Lower(B[i])) return FALSE;
    if (A[i] == 0) return TRUE;
  }
  return TRUE;
}
