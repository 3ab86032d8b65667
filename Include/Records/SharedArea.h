// The 4 KiB area below 0xC0000000 shared with the first-stage boot code and
// the operating system; it survives a warm restart. Locations are given as
// distances back from the end of the area (the top address), which is how
// the firmware addresses them; the comments give the offset from the start
// (0xBFFFF000 on the board). The area is reached only through PhysMemMap.
#ifndef RECORDS_SHARED_AREA_H_
#define RECORDS_SHARED_AREA_H_

#include <Uefi/UefiBaseType.h>

#define SHARED_AREA_TOP 0xC0000000u
#define SHARED_AREA_SIZE 0x1000u

// Hidden-package marker (offset 0xA00) and the value that means "a hidden
// test package failed since power-up".
#define SHARED_HIDDEN_MARKER_FROM_END 1536u
#define SHARED_HIDDEN_PACKAGE_FAILED 0x8956u

// Search array (offset 0xC00): three 64-byte slots, each a NUL-terminated
// package path whose last three bytes (61..63) carry startup error codes.
#define SHARED_SEARCH_ARRAY_FROM_END 1024u
#define SEARCH_ARRAY_SLOTS 3u
#define SEARCH_ARRAY_SLOT_SIZE 64u
#define SEARCH_ARRAY_SIZE (SEARCH_ARRAY_SLOTS * SEARCH_ARRAY_SLOT_SIZE)

// BIOS information record (offset 0xD40, 0x200 bytes).
#define SHARED_BIOS_INFO_FROM_END 0x2C0u
#define SHARED_BIOS_INFO_SIZE 0x200u

// Six small records of 16 bytes from offset 0xF90; record 0 holds the boot
// attempt number (offset 0xF98; 0 = not counting), record 3 the reset-cause
// words (offsets 0xFC0 and 0xFC4).
#define SHARED_SMALL_RECORDS_FROM_END 0x70u
#define SHARED_SMALL_RECORD_SIZE 16u
#define SHARED_SMALL_RECORD_COUNT 6u
#define SHARED_BOOT_ATTEMPT_FROM_END 104u
#define SHARED_RESET_CAUSE0_FROM_END 0x40u
#define SHARED_RESET_CAUSE1_FROM_END 0x3Cu

// One (address, length) entry of the region table.
typedef struct {
  UINT32 ulAddress;
  UINT32 ulLength;
} SHARED_AREA_REGION;

// The regions below the top address, in this order: general region (0xD40
// bytes, holds the marker and the search array), BIOS information record,
// two unused regions (0x34 and 0x1C bytes), the six small records, and the
// 4-, 4- and 8-byte regions at the very end.
#define SHARED_AREA_REGION_COUNT 13u

typedef struct {
  SHARED_AREA_REGION stWhole;  // (top - 0x1000, 0x1000)
  SHARED_AREA_REGION astRegion[SHARED_AREA_REGION_COUNT];
} SHARED_AREA_LAYOUT;

static_assert(SHARED_AREA_SIZE - SHARED_HIDDEN_MARKER_FROM_END == 0xA00u, "marker at 0xA00");
static_assert(SHARED_AREA_SIZE - SHARED_SEARCH_ARRAY_FROM_END == 0xC00u, "search array at 0xC00");
static_assert(SHARED_AREA_SIZE - SHARED_BIOS_INFO_FROM_END == 0xD40u, "BIOS information at 0xD40");
static_assert(SHARED_AREA_SIZE - SHARED_SMALL_RECORDS_FROM_END == 0xF90u, "small records at 0xF90");
static_assert(SHARED_AREA_SIZE - SHARED_BOOT_ATTEMPT_FROM_END == 0xF98u, "attempt number at 0xF98");
static_assert(SHARED_AREA_SIZE - SHARED_RESET_CAUSE0_FROM_END == 0xFC0u, "reset cause at 0xFC0");

#endif  // RECORDS_SHARED_AREA_H_
