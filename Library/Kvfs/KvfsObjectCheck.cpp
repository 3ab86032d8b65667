// Corruption check: bad-block recovery may take an open object's node out
// of use (a file whose block could not be read). The object is corrupt from
// its next operation until it is closed.
#include "Kvfs/KvfsObject.h"

#include "Kvfs/KvfsBlockMg.h"

BOOLEAN kvfs_ObjectIsCorrupt(KvfsObject *Object) {
  if (Object == NULL) return FALSE;
  if (Object->ucCorrupt) return TRUE;
  if (!Object->openSucc || Object->ulFatherID == KVFS_ROOT_FATHER_ID) return FALSE;
  if (Object->ulType != KVFS_TYPE_DIR && Object->ulType != KVFS_TYPE_FILE) return FALSE;
  KVFS_BLOCK_NODE *node = kvfs_FindNode(Object->pDev, Object->ulType, Object->ulFatherID, Object->ulObjectID);
  if (node == NULL) {
    Object->ucCorrupt = 1;
    Object->pNode = NULL;
    return TRUE;
  }
  Object->pNode = node;
  return FALSE;
}
