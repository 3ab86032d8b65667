// The formatter on its own: no board needed.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include <Library/PrintLib.h>

namespace {

std::string Format(const char *format, ...) {
  CHAR8 buffer[512];
  VA_LIST marker;
  VA_START(marker, format);
  UINTN count = AsciiVSPrint(buffer, sizeof(buffer), format, marker);
  VA_END(marker);
  std::string text(buffer);
  EXPECT_EQ(count, text.size()) << "count returned for \"" << format << "\"";
  return text;
}

TEST(AsciiPrint, AsciiAndUcs2Strings) {
  EXPECT_EQ(Format("[%a]", "boot"), "[boot]");
  EXPECT_EQ(Format("[%6a]", "boot"), "[  boot]");
  EXPECT_EQ(Format("[%-6a]", "boot"), "[boot  ]");
  EXPECT_EQ(Format("[%.2a]", "boot"), "[bo]");
  EXPECT_EQ(Format("[%5.2a]", "boot"), "[   bo]");
  EXPECT_EQ(Format("[%*a]", 6, "boot"), "[  boot]");
  EXPECT_EQ(Format("[%a]", (const char *)nullptr), "[<null string>]");
  EXPECT_EQ(Format("[%s]", u"cfcard:/bcf.txt"), "[cfcard:/bcf.txt]");
  EXPECT_EQ(Format("[%-5s|%.3s]", u"ab", u"ofs1:"), "[ab   |ofs]");
  EXPECT_EQ(Format("[%s]", (const CHAR16 *)nullptr), "[<null string>]");
}

TEST(AsciiPrint, ThirtyTwoBitNumbers) {
  EXPECT_EQ(Format("%d %d %d", 0, -1, 123), "0 -1 123");
  EXPECT_EQ(Format("%d", INT32_MIN), "-2147483648");
  EXPECT_EQ(Format("%u", 4294967295u), "4294967295");
  EXPECT_EQ(Format("%x %X", 0xdeadbeefu, 0xdeadbeefu), "deadbeef DEADBEEF");
  EXPECT_EQ(Format("%08x|%8x|%-8x|", 0x1a2bu, 0x1a2bu, 0x1a2bu), "00001a2b|    1a2b|1a2b    |");
  EXPECT_EQ(Format("%05d|%5d|%-5d|", -42, -42, -42), "-0042|  -42|-42  |");
  EXPECT_EQ(Format("%-05d|", 7), "7    |");
  EXPECT_EQ(Format("%+d % d %+u", 5, 5, 5u), "+5  5 5");
  EXPECT_EQ(Format("%.4d|%6.3x|", 7, 0xau), "0007|   00a|");
  EXPECT_EQ(Format("%,d|%,d|%,u", 1234567, -999, 1000u), "1,234,567|-999|1,000");
  EXPECT_EQ(Format("%0*x", 6, 0xffu), "0000ff");
  EXPECT_EQ(Format("%*d|", -4, 3), "3   |");
}

// 'l' takes a 64-bit argument on every build; on the 32-bit board a wrong
// argument size shifts every later argument, so the neighbours are checked.
TEST(AsciiPrint, SixtyFourBitNumbersKeepLaterArgumentsInPlace) {
  EXPECT_EQ(Format("%lx", UINT64_C(0x123456789abcdef0)), "123456789abcdef0");
  EXPECT_EQ(Format("%lX", UINT64_C(0xfedcba9876543210)), "FEDCBA9876543210");
  EXPECT_EQ(Format("%016lx", UINT64_C(0x1f)), "000000000000001f");
  EXPECT_EQ(Format("%x-%lx-%x", 1u, UINT64_C(0x1122334455667788), 2u), "1-1122334455667788-2");
  EXPECT_EQ(Format("%d %ld %a", 3, INT64_C(-5), "end"), "3 -5 end");
  EXPECT_EQ(Format("%ld", INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(Format("%lu", UINT64_MAX), "18446744073709551615");
  EXPECT_EQ(Format("%lu", UINT64_C(10000000000)), "10000000000");
  EXPECT_EQ(Format("%,ld", INT64_C(4294967296)), "4,294,967,296");
  EXPECT_EQ(Format("%Lx", UINT64_C(0x100000000)), "100000000");
}

TEST(AsciiPrint, StatusTexts) {
  struct {
    EFI_STATUS status;
    const char *text;
  } const cases[] = {
      {EFI_SUCCESS, "Success"},
      {EFI_LOAD_ERROR, "Load Error"},
      {EFI_INVALID_PARAMETER, "Invalid Parameter"},
      {EFI_UNSUPPORTED, "Unsupported"},
      {EFI_BAD_BUFFER_SIZE, "Bad Buffer Size"},
      {EFI_BUFFER_TOO_SMALL, "Buffer Too Small"},
      {EFI_NOT_READY, "Not Ready"},
      {EFI_DEVICE_ERROR, "Device Error"},
      {EFI_WRITE_PROTECTED, "Write Protected"},
      {EFI_OUT_OF_RESOURCES, "Out of Resources"},
      {EFI_VOLUME_CORRUPTED, "Volume Corrupt"},
      {EFI_VOLUME_FULL, "Volume Full"},
      {EFI_NO_MEDIA, "No Media"},
      {EFI_MEDIA_CHANGED, "Media changed"},
      {EFI_NOT_FOUND, "Not Found"},
      {EFI_ACCESS_DENIED, "Access Denied"},
      {EFI_NO_RESPONSE, "No Response"},
      {EFI_NO_MAPPING, "No mapping"},
      {EFI_TIMEOUT, "Time out"},
      {EFI_NOT_STARTED, "Not started"},
      {EFI_ALREADY_STARTED, "Already started"},
      {EFI_ABORTED, "Aborted"},
      {EFI_ICMP_ERROR, "ICMP Error"},
      {EFI_TFTP_ERROR, "TFTP Error"},
      {EFI_PROTOCOL_ERROR, "Protocol Error"},
      {EFI_INCOMPATIBLE_VERSION, "Incompatible Version"},
      {EFI_SECURITY_VIOLATION, "Security Violation"},
      {EFI_CRC_ERROR, "CRC Error"},
      {EFI_END_OF_MEDIA, "End of Media"},
      {EFI_END_OF_FILE, "End of File"},
      {EFI_INVALID_LANGUAGE, "Invalid Language"},
      {EFI_COMPROMISED_DATA, "Compromised Data"},
      {EFI_WARN_UNKNOWN_GLYPH, "Warning Unknown Glyph"},
      {EFI_WARN_DELETE_FAILURE, "Warning Delete Failure"},
      {EFI_WARN_WRITE_FAILURE, "Warning Write Failure"},
      {EFI_WARN_BUFFER_TOO_SMALL, "Warning Buffer Too Small"},
      {EFI_WARN_STALE_DATA, "Warning Stale Data"},
      // Unassigned codes between and after the known ones, and the bare
      // error bit, print as hex.
      {EFI_ENCODE_ERROR(29), "8000001D"},
      {EFI_ENCODE_ERROR(30), "8000001E"},
      {EFI_ENCODE_ERROR(34), "80000022"},
      {EFI_ENCODE_ERROR(0), "80000000"},
      {EFI_STATUS(6), "00000006"},
      {EFI_STATUS(0x12345), "00012345"},
      {EFI_STATUS(-1), "FFFFFFFF"},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(Format("Status=%r\n", c.status), std::string("Status=") + c.text + "\n")
        << "status 0x" << std::hex << uint32_t(c.status);
  }
  EXPECT_EQ(Format("[%-12r][%11r]", EFI_NOT_FOUND, EFI_ABORTED), "[Not Found   ][    Aborted]");
}

TEST(AsciiPrint, CharactersPointersAndLiterals) {
  EXPECT_EQ(Format("%c%c|%3c|%-3c|", 'o', 'k', 'x', 'y'), "ok|  x|y  |");
  EXPECT_EQ(Format("100%%"), "100%");
  EXPECT_EQ(Format("%q %5q %lq|%a", "x"), "%q %5q %lq|x");
  EXPECT_EQ(Format("abc%"), "abc%");
  EXPECT_EQ(Format("abc%-08"), "abc%-08");

  std::string digits(2 * sizeof(void *) - 4, '0');
  EXPECT_EQ(Format("%p", (void *)uintptr_t(0xbeef)), digits + "BEEF");
}

TEST(AsciiPrint, NulCharacterEndsTheString) {
  CHAR8 buffer[16];
  std::memset(buffer, '#', sizeof(buffer));
  EXPECT_EQ(AsciiSPrint(buffer, sizeof(buffer), "ab%ccd%a", 0, "ef"), 2u);
  EXPECT_STREQ(buffer, "ab");
}

TEST(AsciiPrint, NeverWritesPastTheBuffer) {
  CHAR8 buffer[16];
  struct {
    UINTN size;
    const char *expected;
  } const cases[] = {{1, ""}, {2, "0"}, {5, "0000"}, {9, "0000abcd"}, {12, "0000abcd-lo"}};
  for (const auto &c : cases) {
    std::memset(buffer, '#', sizeof(buffer));
    UINTN count = AsciiSPrint(buffer, c.size, "%08x-%a", 0xabcdu, "long text");
    EXPECT_STREQ(buffer, c.expected) << "size " << c.size;
    EXPECT_EQ(count, std::strlen(c.expected)) << "size " << c.size;
    for (UINTN i = c.size; i < sizeof(buffer); ++i) EXPECT_EQ(buffer[i], '#') << "size " << c.size << " byte " << i;
  }

  std::memset(buffer, '#', sizeof(buffer));
  EXPECT_EQ(AsciiSPrint(buffer, 0, "abc"), 0u);
  EXPECT_EQ(buffer[0], '#');

  // A huge width fills the buffer and stops.
  EXPECT_EQ(AsciiSPrint(buffer, sizeof(buffer), "%*a", 0x7fffffff, "x"), sizeof(buffer) - 1);
  EXPECT_EQ(std::string(buffer), std::string(sizeof(buffer) - 1, ' '));
}

}  // namespace
