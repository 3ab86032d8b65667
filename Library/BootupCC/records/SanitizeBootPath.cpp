#include "BootupCC/records/SanitizeBootPath.h"

#include <Library/BaseLib.h>

static BOOLEAN BootPathTerminated(CONST CHAR8 *Field) { return AsciiStrnLen(Field, BOOT_PATH_SIZE) < BOOT_PATH_SIZE; }

static CHAR8 *BootFileSetField(BOOT_FILE_SET *Set, UINT32 Index) {
  return (CHAR8 *)Set + Index * BOOT_PATH_SIZE;
}

VOID SanitizeBootPath(CHAR8 *Field) {
  // A field that fills all 64 bytes is no path: a string routine would run
  // on into the next field.
  BOOLEAN Known = AsciiStrnCmp(Field, "cfcard:", 7) == 0 || AsciiStrnCmp(Field, "ofs1", 4) == 0;
  if (!Known || !BootPathTerminated(Field)) Field[0] = 0;
}

VOID SanitizeBootFileSet(BOOT_FILE_SET *Set) {
  for (UINT32 Index = 0; Index < BOOT_FILE_SET_SANITIZED_PATHS; Index++) {
    SanitizeBootPath(BootFileSetField(Set, Index));
  }
}

VOID TerminateBootFileSet(BOOT_FILE_SET *Set) {
  for (UINT32 Index = 0; Index < BOOT_FILE_SET_SANITIZED_PATHS; Index++) {
    CHAR8 *Field = BootFileSetField(Set, Index);
    if (!BootPathTerminated(Field)) Field[0] = 0;
  }
}
