// Mounting a kvfs device: scan every block of its ranges, recover what a
// power cut left behind, format a blank device, and build the device
// record (geometry, page operations, block nodes, pools, hash tables,
// caches, bad block list, reserve flag).
#ifndef KVFS_MOUNT_H_
#define KVFS_MOUNT_H_

#include "Kvfs/KvfsLayout.h"

// The device behind "cfcard:/". It spans the chip from byte 0x4000000 to
// its end: the NAND controller's "disk2:" and "disk3:" partitions (blocks
// 512 to 4095 of the board's 512 MiB chip). The first 64 MiB ("disk1:")
// stay outside kvfs, kept raw for the operating system. A chip too small
// for that gives its whole self to "cfcard:".
#define KVFS_CFCARD_NAME "cfcard:"
#define KVFS_CFCARD_FIRST_BYTE 0x4000000u

// Pool sizes: a block's worth of page buffers plus spares (and the remain
// buffer), enough block infos for a flush inside a copy inside a recovery,
// and the corruption notes.
#define KVFS_PAGE_BUF_SPARES 4
#define KVFS_BLOCK_INFO_COUNT 8
#define KVFS_CORRUPT_NOTE_COUNT 16

// What a mount found and did, for the caller's log and for tests.
typedef struct {
  UINT32 ulFormatted;          // 1 when the device was blank and got formatted
  UINT32 ulUsedBlocks;
  UINT32 ulErasedBlocks;
  UINT32 ulBadBlocks;
  UINT32 ulSuperseded;         // older copies of a block dropped
  UINT32 ulDeadCopies;         // copies without one completed batch dropped
  UINT32 ulRepaired;           // blocks rewritten without their torn or unfinished pages
  UINT32 ulErasedWithoutRecord;  // blocks erased again for a missing erase record
  UINT32 ulMaxSeq;
} KVFS_MOUNT_REPORT;

// Mounts the device Name over the block ranges (inclusive pairs) on the
// chip of the NAND page device. Report may be NULL.
KVFS_STATUS kvfs_Mount(CONST CHAR8 *Name, CONST KVFS_BLOCK_RANGE *Ranges, UINT32 RangeCount,
                       KVFS_MOUNT_REPORT *Report, KVFS_DEVICE **Device);
// Mounts "cfcard:" at its place on the chip.
KVFS_STATUS kvfs_MountCfcard(KVFS_MOUNT_REPORT *Report, KVFS_DEVICE **Device);
// Flushes the device, frees its pools and frees its slot.
KVFS_STATUS kvfs_Unmount(KVFS_DEVICE *Dev);
// Drops every slot without touching pools or flash: for a firmware that
// starts again (a new board in tests, after a power cut).
VOID kvfs_ForgetDevices(VOID);

#endif  // KVFS_MOUNT_H_
