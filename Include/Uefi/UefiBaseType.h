// Base types of the firmware. The board is a 32-bit ARM core: EFI_STATUS is
// a signed 32-bit word there, so error statuses (high bit set) are negative.
// Written without any host header so the firmware stays freestanding.
#ifndef UEFI_BASE_TYPE_H_
#define UEFI_BASE_TYPE_H_

typedef __UINT8_TYPE__ UINT8;
typedef __UINT16_TYPE__ UINT16;
typedef __UINT32_TYPE__ UINT32;
typedef __UINT64_TYPE__ UINT64;
typedef __INT8_TYPE__ INT8;
typedef __INT16_TYPE__ INT16;
typedef __INT32_TYPE__ INT32;
typedef __INT64_TYPE__ INT64;
// Pointer-sized integers from the types of sizeof and of a pointer
// difference rather than __UINTPTR_TYPE__: the ARM Linux kernel header
// asm/types.h, which host code on the armhf build pulls in, redefines that
// macro to unsigned long, and host code would then disagree with the
// firmware on the type of every UINTN parameter.
typedef decltype(sizeof(0)) UINTN;
typedef decltype((char *)0 - (char *)0) INTN;
typedef char CHAR8;
typedef char16_t CHAR16;  // UCS-2 text
typedef UINT8 BOOLEAN;
typedef void VOID;

#ifndef TRUE
#define TRUE ((BOOLEAN)1)
#define FALSE ((BOOLEAN)0)
#endif
#ifndef NULL
#define NULL nullptr
#endif

#define IN
#define OUT
#define OPTIONAL
#define CONST const
#define EFIAPI

typedef INT32 EFI_STATUS;
typedef VOID *EFI_HANDLE;
typedef VOID *EFI_EVENT;
typedef UINTN EFI_TPL;
typedef UINT64 EFI_PHYSICAL_ADDRESS;

typedef struct {
  UINT32 Data1;
  UINT16 Data2;
  UINT16 Data3;
  UINT8 Data4[8];
} EFI_GUID;

// Status values. Errors have the top bit set; warnings do not.
#define EFI_ENCODE_ERROR(Code) ((EFI_STATUS)(0x80000000u | (UINT32)(Code)))
#define EFI_ERROR(Status) (((EFI_STATUS)(Status)) < 0)

#define EFI_SUCCESS ((EFI_STATUS)0)
#define EFI_LOAD_ERROR EFI_ENCODE_ERROR(1)
#define EFI_INVALID_PARAMETER EFI_ENCODE_ERROR(2)
#define EFI_UNSUPPORTED EFI_ENCODE_ERROR(3)
#define EFI_BAD_BUFFER_SIZE EFI_ENCODE_ERROR(4)
#define EFI_BUFFER_TOO_SMALL EFI_ENCODE_ERROR(5)
#define EFI_NOT_READY EFI_ENCODE_ERROR(6)
#define EFI_DEVICE_ERROR EFI_ENCODE_ERROR(7)
#define EFI_WRITE_PROTECTED EFI_ENCODE_ERROR(8)
#define EFI_OUT_OF_RESOURCES EFI_ENCODE_ERROR(9)
#define EFI_VOLUME_CORRUPTED EFI_ENCODE_ERROR(10)
#define EFI_VOLUME_FULL EFI_ENCODE_ERROR(11)
#define EFI_NO_MEDIA EFI_ENCODE_ERROR(12)
#define EFI_MEDIA_CHANGED EFI_ENCODE_ERROR(13)
#define EFI_NOT_FOUND EFI_ENCODE_ERROR(14)
#define EFI_ACCESS_DENIED EFI_ENCODE_ERROR(15)
#define EFI_NO_RESPONSE EFI_ENCODE_ERROR(16)
#define EFI_NO_MAPPING EFI_ENCODE_ERROR(17)
#define EFI_TIMEOUT EFI_ENCODE_ERROR(18)
#define EFI_NOT_STARTED EFI_ENCODE_ERROR(19)
#define EFI_ALREADY_STARTED EFI_ENCODE_ERROR(20)
#define EFI_ABORTED EFI_ENCODE_ERROR(21)
#define EFI_ICMP_ERROR EFI_ENCODE_ERROR(22)
#define EFI_TFTP_ERROR EFI_ENCODE_ERROR(23)
#define EFI_PROTOCOL_ERROR EFI_ENCODE_ERROR(24)
#define EFI_INCOMPATIBLE_VERSION EFI_ENCODE_ERROR(25)
#define EFI_SECURITY_VIOLATION EFI_ENCODE_ERROR(26)
#define EFI_CRC_ERROR EFI_ENCODE_ERROR(27)
#define EFI_END_OF_MEDIA EFI_ENCODE_ERROR(28)
#define EFI_END_OF_FILE EFI_ENCODE_ERROR(31)
#define EFI_INVALID_LANGUAGE EFI_ENCODE_ERROR(32)
#define EFI_COMPROMISED_DATA EFI_ENCODE_ERROR(33)

#define EFI_WARN_UNKNOWN_GLYPH ((EFI_STATUS)1)
#define EFI_WARN_DELETE_FAILURE ((EFI_STATUS)2)
#define EFI_WARN_WRITE_FAILURE ((EFI_STATUS)3)
#define EFI_WARN_BUFFER_TOO_SMALL ((EFI_STATUS)4)
#define EFI_WARN_STALE_DATA ((EFI_STATUS)5)

// Task priority levels.
#define TPL_APPLICATION ((EFI_TPL)4)
#define TPL_CALLBACK ((EFI_TPL)8)
#define TPL_NOTIFY ((EFI_TPL)16)
#define TPL_HIGH_LEVEL ((EFI_TPL)31)

// Variable arguments through the compiler's builtins (no host header).
typedef __builtin_va_list VA_LIST;
#define VA_START(Marker, Parameter) __builtin_va_start(Marker, Parameter)
#define VA_ARG(Marker, TYPE) __builtin_va_arg(Marker, TYPE)
#define VA_END(Marker) __builtin_va_end(Marker)
#define VA_COPY(Dest, Start) __builtin_va_copy(Dest, Start)

#define ARRAY_SIZE(Array) (sizeof(Array) / sizeof((Array)[0]))

#endif  // UEFI_BASE_TYPE_H_
