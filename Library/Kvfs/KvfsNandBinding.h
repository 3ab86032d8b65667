// The four NAND driver entries of a kvfs device, served by the page-level
// routines that NandCtl publishes in its NAND page device protocol.
#ifndef KVFS_NAND_BINDING_H_
#define KVFS_NAND_BINDING_H_

#include "Kvfs/KvfsLayout.h"

// Smallest spare kvfs can live with: the bad-block mark with its CRC.
#define KVFS_MIN_SPARE 36

typedef struct {
  UINT32 ulPageSize;
  UINT32 ulSpareSize;      // the spare bytes kvfs uses (at most KVFS_TAG_SIZE)
  UINT32 ulPagesPerBlock;
  UINT32 ulBlockCount;     // as the driver knows the chip
} KVFS_NAND_GEOMETRY;

// Locates the NAND page device protocol, stores the four driver entries in
// the device record and reports the geometry. KVFS_ERR_NOT_FOUND when the
// protocol is not installed, KVFS_ERR_PARAM when kvfs cannot use the chip.
KVFS_STATUS kvfs_BindNand(KVFS_DEVICE *Dev, KVFS_NAND_GEOMETRY *Geometry);

#endif  // KVFS_NAND_BINDING_H_
