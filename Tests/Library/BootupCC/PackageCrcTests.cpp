// CRC-16/XMODEM: the check value, the running-value contract, and the sliced
// loop against the byte loop.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "BootupCC/package/PackageCrc.h"

namespace {

using CrcFunction = VOID (*)(CONST VOID *, UINT32, UINT16 *);

struct NamedCrc {
  const char *name;
  CrcFunction function;
};

const NamedCrc kCrcFunctions[] = {
    {"CalcCrc16", CalcCrc16},
    {"CalcCrc16Bytewise", CalcCrc16Bytewise},
    {"CalcCrc16Sliced", CalcCrc16Sliced},
};

uint16_t Crc(CrcFunction f, const void *data, size_t length, uint16_t start = 0) {
  UINT16 crc = start;
  f(data, UINT32(length), &crc);
  return crc;
}

TEST(PackageCrc, CheckValueAndRunningValue) {
  const char *check = "123456789";
  for (const NamedCrc &c : kCrcFunctions) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Crc(c.function, check, 9), 0x31C3);
    // Length 0 leaves the value as it is.
    EXPECT_EQ(Crc(c.function, check, 0, 0xBEEF), 0xBEEF);
    // The value carries over between calls.
    EXPECT_EQ(Crc(c.function, check + 4, 5, Crc(c.function, check, 4)), 0x31C3);
  }
}

TEST(PackageCrc, SlicedEqualsByteLoopOverLengthsAndAlignments) {
  std::mt19937 random(20260101);
  std::vector<uint8_t> buffer(4096 + 16);
  for (uint8_t &b : buffer) b = uint8_t(random());
  std::uniform_int_distribution<uint32_t> lengths(0, 4096);
  for (int round = 0; round < 2000; ++round) {
    uint32_t alignment = round % 8;
    uint32_t length = round < 80 ? uint32_t(round) : lengths(random);
    uint16_t start = uint16_t(random());
    const uint8_t *data = buffer.data() + alignment;
    uint16_t reference = Crc(CalcCrc16Bytewise, data, length, start);
    ASSERT_EQ(Crc(CalcCrc16Sliced, data, length, start), reference) << "length " << length << " at +" << alignment;
    ASSERT_EQ(Crc(CalcCrc16, data, length, start), reference) << "length " << length << " at +" << alignment;
  }
}

TEST(PackageCrc, SlicedEqualsByteLoopOnOneMebibyte) {
  std::vector<uint8_t> buffer(1 << 20);
  std::mt19937 random(7);
  for (uint8_t &b : buffer) b = uint8_t(random());
  EXPECT_EQ(Crc(CalcCrc16Sliced, buffer.data(), buffer.size()), Crc(CalcCrc16Bytewise, buffer.data(), buffer.size()));
}

}  // namespace
