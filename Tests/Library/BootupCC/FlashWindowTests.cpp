// Bounded flash access by mapped address.
#include <gtest/gtest.h>

#include <vector>

#include "BootupCC/records/FlashWindow.h"
#include "Devices/BootFlash.h"
#include "RecordTestSupport.h"

namespace rectest {
namespace {

constexpr uint32_t kBase = sim::kBootFlashWindowBase;
constexpr uint32_t kEnd = kBase + sim::kBootFlashSize;  // first address past the flash

struct WindowCase {
  const char *name;
  uint32_t address;
  uint32_t length;
  bool nullBuffer;
  INT32 readResult;
  INT32 writeResult;
};

class FlashWindowTest : public RecordTest {};

TEST_F(FlashWindowTest, RangesOutsideTheMappedFlashAreRefusedUntouched) {
  const WindowCase cases[] = {
      {"inside", kBase + 0x480000, 16, false, 0, 0},
      {"first byte", kBase, 1, false, 0, 0},
      {"ends exactly at the end", kEnd - 16, 16, false, 0, 0},
      {"one byte past the end", kEnd - 16, 17, false, -1, -1},
      {"starts at the end", kEnd, 1, false, -1, -1},
      {"below the base", kBase - 4, 8, false, -1, -1},
      {"address 0", 0, 4, false, -1, -1},
      {"null buffer", kBase + 0x480000, 4, true, -1, -1},
      {"length 0", kBase + 0x480000, 0, false, 0, -1},
      {"length wraps around 32 bits", kBase + 0x10, 0xFFFFFFF8u, false, -1, -1},
  };
  for (const WindowCase &c : cases) {
    SCOPED_TRACE(c.name);
    FreshBoard();
    std::vector<uint8_t> buffer(c.length == 0 || c.length > 64 ? 64 : c.length, 0x5A);
    uint8_t *data = c.nullBuffer ? nullptr : buffer.data();

    std::vector<uint8_t> before(sim::kBootFlashSize);
    board->bootFlash->Read(0, before.data(), sim::kBootFlashSize);
    EXPECT_EQ(FlashWindowWrite(c.address, data, c.length), c.writeResult);
    EXPECT_EQ(WriteCount(), c.writeResult == 0 ? 1u : 0u);
    if (c.writeResult == 0) {
      std::vector<uint8_t> back(c.length);
      board->bootFlash->Read(c.address - kBase, back.data(), c.length);
      EXPECT_EQ(back, std::vector<uint8_t>(buffer.begin(), buffer.begin() + c.length));
    } else {
      std::vector<uint8_t> after(sim::kBootFlashSize);
      board->bootFlash->Read(0, after.data(), sim::kBootFlashSize);
      EXPECT_TRUE(after == before);
    }

    std::vector<uint8_t> readBuffer(buffer.size(), 0);
    EXPECT_EQ(FlashWindowRead(c.nullBuffer ? nullptr : readBuffer.data(), c.address, c.length), c.readResult);
  }
}

TEST_F(FlashWindowTest, AFlashThatIsNotReadyIsRefused) {
  UseFlakyFlash();
  flaky->infoFilter = [](FLASH_ACCESS_INFO &info) { info.Ready = 0; };
  uint8_t data[4] = {1, 2, 3, 4};
  EXPECT_EQ(FlashWindowWrite(kBase + 0x480000, data, 4), -1);
  EXPECT_EQ(FlashWindowRead(data, kBase + 0x480000, 4), -1);
  EXPECT_EQ(WriteCount(), 0u);
}

TEST_F(FlashWindowTest, ProtocolFailuresAnswerOne) {
  uint8_t data[4] = {1, 2, 3, 4};
  UseFlakyFlash();
  flaky->readStatus = [](uint32_t) { return EFI_DEVICE_ERROR; };
  flaky->writeFilter = [](uint32_t, std::vector<uint8_t> &) { return EFI_DEVICE_ERROR; };
  EXPECT_EQ(FlashWindowRead(data, kBase + 0x480000, 4), 1);
  EXPECT_EQ(FlashWindowWrite(kBase + 0x480000, data, 4), 1);
  EXPECT_EQ(Console(), "Status=Device Error\nStatus=Device Error\n");

  FreshBoard();
  RemoveFlashAccess();
  EXPECT_EQ(FlashWindowRead(data, kBase + 0x480000, 4), 1);
  EXPECT_EQ(FlashWindowWrite(kBase + 0x480000, data, 4), 1);
  EXPECT_EQ(Console(), "Status=Not Found\nStatus=Not Found\n");
}

}  // namespace
}  // namespace rectest
