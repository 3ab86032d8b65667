// Byte layout of a ".cc" software package. Multi-byte fields are stored
// big-endian (read them with BYTE_SWAP32); the board-type list entries are
// little-endian words. Fields named Reserved are not read by the firmware;
// the package builder sets them and readers leave them alone.
#ifndef PACKAGE_FORMAT_H_
#define PACKAGE_FORMAT_H_

#include <Uefi/UefiBaseType.h>

#define BYTE_SWAP32(Value)                                                                      \
  ((((UINT32)(Value) & 0x000000FFu) << 24) | (((UINT32)(Value) & 0x0000FF00u) << 8) |         \
   (((UINT32)(Value) & 0x00FF0000u) >> 8) | (((UINT32)(Value) & 0xFF000000u) >> 24))

#define PACKAGE_MAIN_SLOTS 255u            // slots 0..254 of the file table
#define PACKAGE_EXTENSION_SLOT 255u        // slot 255: the extension entry
#define PACKAGE_FILE_NUM_WITH_EXTENSION 256u
#define PACKAGE_EXTENSION_ENTRY_ID 0x0000ABEFu
#define PACKAGE_EXTENSION_FILE_ID 0x000012CDu
#define PACKAGE_HEADER_CRC_LENGTH 0x1820u  // bytes covered by LOAD_FILE_HEADER_S.ulCrc
#define PROGRAM_HEADER_CRC_START 0x008u    // program header CRC covers 0x008..0x15F
#define PROGRAM_HEADER_CRC_LENGTH 344u
#define EXTENSION_TABLE_HEAD 32u           // bytes of table head before the descriptors
#define EXTENSION_DESCRIPTORS_OFFSET 0x180u  // from the start of the extension file
#define EXTENSION_TABLE_COUNT_OFFSET 4u    // descriptor count in the table head
#define EXTENSION_TABLE_CRC_SIZE 4u        // CRC word behind the descriptors
#define PACKAGE_MAIN_HEADER_SIZE 0x1824u   // sizeof(LOAD_FILE_HEADER_S)
#define PROGRAM_HEADER_SIZE 0x160u         // sizeof(SProgramFileHeader_S)
#define PACKAGE_FILE_DESC_SIZE 24u         // sizeof(LOAD_FILE_DESC_S)

// Known file IDs.
#define PACKAGE_RPS_ID_BASE 0x01000000u
#define PACKAGE_BASE_BIOS_ID 0x05000001u
#define PACKAGE_EXT_BIOS_ID 0x06000002u
#define PACKAGE_BOARD_TYPE_ID_BASE 0x09000000u
#define PACKAGE_CODE_MASK 0x00FFFFFFu

#pragma pack(push, 1)

// One file-table slot.
typedef struct {
  UINT32 ulFileId;
  UINT32 ulFileOffset;  // of the member's program header, from the package start
  UINT32 ulFileLen;     // program header plus body
  UINT32 ulFileCrc;     // extension entry only: the extension file's body CRC
  UINT8 Reserved[8];
} LOAD_FILE_DESC_S;

// The main header at offset 0 of a package.
typedef struct {
  UINT32 Reserved0;
  UINT32 ulFileNum;  // 256: slot 255 is the extension entry
  UINT8 Reserved1[24];
  LOAD_FILE_DESC_S astFileDesc[PACKAGE_MAIN_SLOTS + 1];
  UINT32 ulCrc;  // CRC-16 of bytes 0..0x181F; upper half zero
} LOAD_FILE_HEADER_S;

// The program header in front of every member's body.
typedef struct {
  UINT32 Reserved0;
  UINT32 ulHeaderCrc;   // CRC-16 of bytes 0x008..0x15F (checked for the extension file)
  UINT32 ulFileId;
  UINT32 ulVersion;     // logic files: version in the low byte (offset 0x00F)
  UINT32 ulExtFileNum;  // extension file: descriptors in its table
  UINT8 Reserved1[320];
  UINT32 ulLength;      // body length
  UINT32 ulBodyCrc;     // CRC-16 of the body; low 16 bits compared
  UINT32 ulCompressType;
} SProgramFileHeader_S;

#pragma pack(pop)

static_assert(sizeof(LOAD_FILE_DESC_S) == 24, "file table slot is 24 bytes");
static_assert(sizeof(LOAD_FILE_HEADER_S) == 6180, "main header is 0x1824 bytes");
static_assert(sizeof(SProgramFileHeader_S) == 352, "program header is 0x160 bytes");
static_assert(__builtin_offsetof(LOAD_FILE_HEADER_S, astFileDesc) == 0x20, "file table at 0x20");
static_assert(__builtin_offsetof(LOAD_FILE_HEADER_S, ulCrc) == 0x1820, "header CRC at 0x1820");
static_assert(__builtin_offsetof(SProgramFileHeader_S, ulLength) == 0x154, "body length at 0x154");
static_assert(sizeof(LOAD_FILE_HEADER_S) == PACKAGE_MAIN_HEADER_SIZE, "main header size constant");
static_assert(sizeof(SProgramFileHeader_S) == PROGRAM_HEADER_SIZE, "program header size constant");
static_assert(__builtin_offsetof(SProgramFileHeader_S, ulExtFileNum) == 0x010, "extension count at 0x010");

#endif  // PACKAGE_FORMAT_H_
