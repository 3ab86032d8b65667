#include "BootupCC/package/BoardId.h"

#include <Library/IoLib.h>

UINT16 ReadBoardId(VOID) {
  UINT16 BoardId = MmioRead16(BOARD_ID_REGISTER);
  if (BoardId == BOARD_ID_1460 || BoardId == BOARD_ID_1466) return BOARD_ID_1452;
  return BoardId;
}
