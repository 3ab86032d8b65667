// A minimal board for the console: clock, memory, bus and the console UART,
// plus helpers that lay out a memory console log the way the first-stage
// boot code does.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "Board/ActivePlatform.h"
#include "Devices/ConsoleUart.h"
#include "Support/SimTest.h"

namespace consoletest {

constexpr uint32_t kMemLogAnchor = 0x2FF00094u;  // descriptor address word
constexpr uint32_t kMemLogMagicWord = 0x2FF00098u;
constexpr uint32_t kMemLogMagic = 0x6789FEEDu;
constexpr uint32_t kDescriptor = 0x2FF01000u;
constexpr uint32_t kRecord = 0x2FF02000u;

class ConsoleBoard : public testing::Test {
 protected:
  void SetUp() override {
    bus_.Map("console UART", sim::ConsoleUart::kBase, sim::ConsoleUart::kSize, &uart_);
    sim::Active().clock = &clock_;
    sim::Active().bus = &bus_;
    sim::Active().memory = &memory_;
  }
  void TearDown() override {
    sim::Active().clock = nullptr;
    sim::Active().bus = nullptr;
    sim::Active().memory = nullptr;
    simtest::ExpectNoUnownedAccess(bus_);
  }

  // A valid, enabled log whose record holds totalSize bytes (header included).
  void InstallMemLog(uint32_t totalSize) {
    memory_.Write32(kMemLogAnchor, kDescriptor);
    memory_.Write32(kMemLogMagicWord, kMemLogMagic);
    memory_.Write32(kDescriptor + 0x10, totalSize);
    memory_.Write32(kDescriptor + 0x14, 1);
    memory_.Write32(kDescriptor + 0x18, kRecord);
  }
  uint32_t LogOverflow() { return memory_.Read32(kRecord + 4); }
  uint32_t LogUsed() { return memory_.Read32(kRecord + 8); }
  std::string LogBytes(uint32_t length) {
    return std::string(reinterpret_cast<const char *>(memory_.Map(kRecord + 0x10, length)), length);
  }
  std::string LogText() { return LogBytes(LogUsed()); }

  sim::VirtualClock clock_;
  sim::PhysMemory memory_;
  sim::MmioBus bus_{clock_};
  sim::ConsoleUart uart_;
};

}  // namespace consoletest
