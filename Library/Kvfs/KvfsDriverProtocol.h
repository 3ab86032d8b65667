// The kvfs driver protocol instance: the eleven entries of
// KVFS_DRIVER_PROTOCOL over the kvfs objects layer, and the start-up
// routine that mounts "cfcard:" and installs the protocol.
#ifndef KVFS_DRIVER_PROTOCOL_INSTANCE_H_
#define KVFS_DRIVER_PROTOCOL_INSTANCE_H_

#include <Protocol/KvfsDriver.h>

#include "Kvfs/KvfsLayout.h"

#define KVFS_OPEN_PATH_MAX 260  // paths into kvfsOpen are shorter

// The device whose name is a prefix of Path: its number, with the path
// copied into Buffer (KVFS_OPEN_PATH_MAX bytes) and the last character of
// the device name turned into '/'. -1 when no device matches.
INT32 kvfsDevicePathPrase(CONST CHAR8 *Path, CHAR8 *Buffer);
// Open by path with file-API flags and mode (translated to kvfs flags).
INT32 kvfsOpen(CONST CHAR8 *Path, INT32 Flags, INT32 Mode);

// The interface table (one per firmware image).
KVFS_DRIVER_PROTOCOL *KvfsDriverProtocolInstance(VOID);

// Mounts "cfcard:" over the NAND page device of NandCtl (which must be
// loaded) unless it is mounted already, links the objects layer, and
// installs the interface under gKvfsDriverProtocolGuid on a new handle.
// BootAgent only locates the protocol: whichever driver owns the card calls
// this once at start-up, before the first file API call on "cfcard:/".
// EFI_NOT_FOUND when NandCtl's page device is missing, EFI_DEVICE_ERROR
// when the mount fails, EFI_ALREADY_STARTED when the protocol is installed.
EFI_STATUS KvfsStartCfcard(VOID);
// Uninstalls the interface, closes every handle still open and unmounts
// "cfcard:" (a restart of the card, used by tests and tools).
EFI_STATUS KvfsStopCfcard(VOID);

#endif  // KVFS_DRIVER_PROTOCOL_INSTANCE_H_
