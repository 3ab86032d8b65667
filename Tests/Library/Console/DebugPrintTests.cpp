// DebugPrint through the memory console log and the console UART.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <Library/DebugLib.h>

#include "ConsoleFixture.h"

namespace consoletest {
namespace {

using DebugPrintTest = ConsoleBoard;

TEST_F(DebugPrintTest, ErrorMessageReachesLogAndUartInOrder) {
  InstallMemLog(0x1000);
  // Each character is in the log before the UART sends it.
  std::string logWhenSent;
  uart_.SetEcho([&](char) { logWhenSent += std::to_string(LogUsed()) + ","; });

  DebugPrint(DEBUG_ERROR, "Status=%r\n", EFI_NOT_FOUND);

  EXPECT_EQ(uart_.Text(), "Status=Not Found\n");
  EXPECT_EQ(LogText(), "Status=Not Found\n");
  EXPECT_EQ(LogOverflow(), 0u);
  EXPECT_EQ(logWhenSent, "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,");
  // Each character: one poll for room, the write, one poll for empty.
  EXPECT_EQ(uart_.StatusPolls(), 2u * 17);
  EXPECT_EQ(uart_.CharactersWritten(), 17u);
}

TEST_F(DebugPrintTest, InfoLevelTouchesNothing) {
  InstallMemLog(0x1000);
  std::string before = LogBytes(0x100);
  uint32_t descriptorEnable = memory_.Read32(kDescriptor + 0x14);

  DebugPrint(DEBUG_INFO, "progress %d\n", 42);

  EXPECT_EQ(bus_.AccessCount(), 0u);
  EXPECT_EQ(uart_.Text(), "");
  EXPECT_EQ(LogUsed(), 0u);
  EXPECT_EQ(LogOverflow(), 0u);
  EXPECT_EQ(LogBytes(0x100), before);
  EXPECT_EQ(memory_.Read32(kDescriptor + 0x14), descriptorEnable);
}

TEST_F(DebugPrintTest, LongMessageIsCutTo255Characters) {
  InstallMemLog(0x1000);
  std::string message(300, 'm');
  for (size_t i = 0; i < message.size(); ++i) message[i] = char('a' + i % 26);

  DebugPrint(DEBUG_ERROR | DEBUG_INFO, "%a", message.c_str());

  EXPECT_EQ(uart_.Text(), message.substr(0, 255));
  EXPECT_EQ(LogText(), message.substr(0, 255));
}

TEST_F(DebugPrintTest, MissingOrDisabledLogStillReachesUart) {
  struct {
    const char *name;
    uint32_t magic;
    uint32_t enable;
  } const cases[] = {
      {"magic missing", 0, 1},
      {"magic wrong", 0x6789FEEEu, 1},
      {"enable word 0", kMemLogMagic, 0},
      {"enable word 2", kMemLogMagic, 2},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    InstallMemLog(0x1000);
    memory_.Write32(kMemLogMagicWord, c.magic);
    memory_.Write32(kDescriptor + 0x14, c.enable);
    uart_.Clear();

    DebugPrint(DEBUG_ERROR, "no log %d\n", 7);

    EXPECT_EQ(uart_.Text(), "no log 7\n");
    EXPECT_EQ(LogUsed(), 0u);
    EXPECT_EQ(LogBytes(16), std::string(16, '\0'));
  }
}

TEST_F(DebugPrintTest, FullLogKeepsItsTextAndCountsOverflow) {
  InstallMemLog(16 + 8);

  DebugPrint(DEBUG_ERROR, "0123456789");
  EXPECT_EQ(LogText(), "01234567");
  EXPECT_EQ(LogOverflow(), 2u);
  DebugPrint(DEBUG_ERROR, "abc");
  EXPECT_EQ(LogText(), "01234567");
  EXPECT_EQ(LogOverflow(), 5u);
  EXPECT_EQ(LogBytes(12), std::string("01234567") + std::string(4, '\0'));
  EXPECT_EQ(uart_.Text(), "0123456789abc");

  // A used length beyond the capacity is pulled back, not written past.
  memory_.Write32(kRecord + 8, 1000);
  DebugPrint(DEBUG_ERROR, "z");
  EXPECT_EQ(LogUsed(), 8u);
  EXPECT_EQ(LogOverflow(), 6u);
}

// The descriptor comes from code outside the firmware; addresses and sizes
// that do not describe board memory leave the log alone instead of writing
// somewhere else.
TEST_F(DebugPrintTest, ImplausibleLogDescriptorIsSkipped) {
  struct {
    const char *name;
    uint32_t descriptor;
    uint32_t totalSize;
    uint32_t record;
  } const cases[] = {
      {"descriptor not in memory", 0x10000000u, 0x1000, kRecord},
      {"descriptor runs off the window", 0x2FFFFFF0u, 0x1000, kRecord},
      {"descriptor misaligned", kDescriptor + 2, 0x1000, kRecord},
      {"record not in memory", kDescriptor, 0x1000, 0x00001000u},
      {"record larger than the window", kDescriptor, 0x00200000u, kRecord},
      {"record size wraps the address space", kDescriptor, 0xFFFFFFF0u, kRecord},
      {"record misaligned", kDescriptor, 0x1000, kRecord + 1},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    InstallMemLog(c.totalSize);
    memory_.Write32(kMemLogAnchor, c.descriptor);
    memory_.Write32(kDescriptor + 0x18, c.record);
    if (c.descriptor == kDescriptor + 2) {
      // Make the misaligned descriptor look valid if it were read.
      memory_.Write32(kDescriptor + 2 + 0x14, 1);
    }
    uart_.Clear();

    DebugPrint(DEBUG_ERROR, "skip");

    EXPECT_EQ(uart_.Text(), "skip");
    EXPECT_EQ(LogUsed(), 0u);
    EXPECT_EQ(LogOverflow(), 0u);
    EXPECT_EQ(LogBytes(16), std::string(16, '\0'));
  }
}

// A record smaller than its 16-byte header has no room: a capacity worked
// out as size - 16 would wrap to almost 4 GiB and write past the record.
TEST_F(DebugPrintTest, RecordSmallerThanItsHeaderHasNoCapacity) {
  for (uint32_t totalSize : {0u, 8u, 15u, 16u}) {
    SCOPED_TRACE(totalSize);
    std::memset(memory_.Map(kRecord, 0x40), 0, 0x40);
    InstallMemLog(totalSize);

    DebugPrint(DEBUG_ERROR, "abc");

    EXPECT_EQ(LogUsed(), 0u);
    EXPECT_EQ(LogOverflow(), 3u);
    EXPECT_EQ(LogBytes(0x30), std::string(0x30, '\0'));
  }
}

using ConsolePutCharTest = ConsoleBoard;

TEST_F(ConsolePutCharTest, BoundedPollsStillWriteTheCharacter) {
  struct {
    const char *name;
    bool notFullStuck;
    bool emptyStuck;
    uint64_t busyPolls;
    uint64_t expectedPolls;
    uint64_t expectedWritesWhileFull;
  } const cases[] = {
      {"ready", false, false, 0, 2, 0},
      {"busy for 10 polls", false, false, 10, 10 + 1 + 1, 0},
      {"busy for 499,999 polls", false, false, 499999, 500000 + 1, 0},
      {"busy for 600,000 polls", false, false, 600000, 500000 + 100000 + 1, 1},
      {"TX not full stuck low", true, false, 0, 500000 + 1, 1},
      {"TX empty stuck low", false, true, 0, 1 + 500000, 0},
      {"both stuck low", true, true, 0, 500000 + 500000, 1},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    sim::ConsoleUart uart;
    bus_.Unmap(&uart_);
    bus_.Map("console UART", sim::ConsoleUart::kBase, sim::ConsoleUart::kSize, &uart);
    uart.SetTxNotFullStuckLow(c.notFullStuck);
    uart.SetTxEmptyStuckLow(c.emptyStuck);
    uart.SetBusyForPolls(c.busyPolls);

    ConsolePutChar('Q');

    EXPECT_EQ(uart.Text(), "Q");
    EXPECT_EQ(uart.StatusPolls(), c.expectedPolls);
    EXPECT_EQ(uart.WritesWhileFull(), c.expectedWritesWhileFull);
    bus_.Unmap(&uart);
    bus_.Map("console UART", sim::ConsoleUart::kBase, sim::ConsoleUart::kSize, &uart_);
  }
}

TEST_F(ConsolePutCharTest, UartModelIgnoresOtherRegisters) {
  bus_.Write(sim::ConsoleUart::kBase + 0x04, 1, 'x');
  bus_.Write(sim::ConsoleUart::kBase + 0x7C, 1, 0xFF);
  EXPECT_EQ(bus_.Read(sim::ConsoleUart::kBase + 0x00, 1), 0u);
  EXPECT_EQ(bus_.Read(sim::ConsoleUart::kBase + 0x14, 4), 0u);
  EXPECT_EQ(bus_.Read(sim::ConsoleUart::kBase + 0x7C, 1), sim::ConsoleUart::kStatusTxNotFull | sim::ConsoleUart::kStatusTxEmpty);
  EXPECT_EQ(uart_.Text(), "");
  EXPECT_EQ(uart_.CharactersWritten(), 0u);
}

}  // namespace
}  // namespace consoletest
