// The shared area: region table, search array rules and where startup
// error codes land.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "BootupCC/boot/SearchArray.h"
#include "BootupCC/boot/SharedArea.h"
#include "BootupCC/boot/StartupError.h"
#include "PackageTestFixture.h"

namespace pkgtest {
namespace {

class SharedAreaTest : public PackageTest {
 protected:
  void SetSlotText(uint32_t slot, const std::string &text) {
    std::memset(SearchSlot(slot), 0, 64);
    std::memcpy(SearchSlot(slot), text.data(), std::min<size_t>(text.size() + 1, 64));
  }
  std::string SlotText(uint32_t slot) { return std::string(reinterpret_cast<char *>(SearchSlot(slot)), strnlen(reinterpret_cast<char *>(SearchSlot(slot)), 64)); }
  std::vector<uint8_t> SearchBytes() {
    uint8_t *bytes = board->memory.Map(kSearchArray, 192);
    return std::vector<uint8_t>(bytes, bytes + 192);
  }
};

TEST_F(SharedAreaTest, InitRecordsTheRegionsBelowTheTop) {
  ASSERT_EQ(SharedAreaInit(0xC0000000u), EFI_SUCCESS);
  const SHARED_AREA_REGION expected[SHARED_AREA_REGION_COUNT] = {
      {0xBFFFF000, 0xD40}, {0xBFFFFD40, 0x200}, {0xBFFFFF40, 0x34}, {0xBFFFFF74, 0x1C}, {0xBFFFFF90, 16},
      {0xBFFFFFA0, 16},    {0xBFFFFFB0, 16},    {0xBFFFFFC0, 16},   {0xBFFFFFD0, 16},   {0xBFFFFFE0, 16},
      {0xBFFFFFF0, 4},     {0xBFFFFFF4, 4},     {0xBFFFFFF8, 8}};
  EXPECT_EQ(gSharedAreaLayout.stWhole.ulAddress, 0xBFFFF000u);
  EXPECT_EQ(gSharedAreaLayout.stWhole.ulLength, 0x1000u);
  for (uint32_t i = 0; i < SHARED_AREA_REGION_COUNT; ++i) {
    EXPECT_EQ(gSharedAreaLayout.astRegion[i].ulAddress, expected[i].ulAddress) << i;
    EXPECT_EQ(gSharedAreaLayout.astRegion[i].ulLength, expected[i].ulLength) << i;
  }
}

TEST_F(SharedAreaTest, TopBelow0x1000IsRefusedAndChangesNothing) {
  EXPECT_EQ(uint32_t(SharedAreaInit(0xFFF)), 0x80000002u);
  EXPECT_EQ(gSharedAreaLayout.stWhole.ulAddress, 0xBFFFF000u);
  EXPECT_EQ(SharedAreaInit(0x1000), EFI_SUCCESS);
  EXPECT_EQ(gSharedAreaLayout.stWhole.ulAddress, 0u);
  EXPECT_EQ(gSharedAreaLayout.astRegion[12].ulAddress, 0xFF8u);
}

TEST_F(SharedAreaTest, LocationsAreAddressedFromTheEnd) {
  SharedAreaWriteBootAttempt(0x11223344);
  SharedAreaWriteHiddenMarker(0x8956);
  EXPECT_EQ(board->memory.Read32(0xBFFFFF98), 0x11223344u);
  EXPECT_EQ(board->memory.Read32(0xBFFFFA00), 0x8956u);
  // A lower top moves every location with it.
  ASSERT_EQ(SharedAreaInit(0xBFFFF000u), EFI_SUCCESS);
  SharedAreaWriteBootAttempt(5);
  EXPECT_EQ(board->memory.Read32(0xBFFFEF98), 5u);
  EXPECT_EQ(SearchArraySlot(0), board->memory.Map(0xBFFFEC00, 64));
}

TEST_F(SharedAreaTest, OccupiedSlotsBeginWithADevicePrefix) {
  const struct {
    const char *text;
    bool occupied;
  } cases[] = {{"cfcard:/a.cc", true}, {"cfcard:", true}, {"cfcard", false}, {"ofs1:/a.cc", true},
               {"ofs1", true},         {"ofs", false},    {"OFS1:/a.cc", false}, {"CFCARD:/a.cc", false},
               {"mfs:/mcbzb.cc", false}, {"", false}};
  for (const auto &c : cases) {
    SetSlotText(1, c.text);
    EXPECT_EQ(SearchArraySlotOccupied(1), c.occupied) << c.text;
  }
  EXPECT_FALSE(SearchArraySlotOccupied(3));
}

TEST_F(SharedAreaTest, ContainsComparesAllButTheLastCharacter) {
  SetSlotText(0, "ofs1:/first.cc");
  SetSlotText(2, "cfcard:/pkg/v2.cc");
  const struct {
    const char *path;
    bool found;
  } cases[] = {
      {"ofs1:/first.cc", true},    {"ofs1:/first.cX", true},     {"ofs1:/first.c", true},
      {"ofs1:/firSt.cc", false},   {"ofs1:/first.ccc", true},    {"ofs1:/first.cccc", false},   {"cfcard:/pkg/v2.cc", true},
      {"cfcard:/pkg/v3.cc", false}, {"o", true},                 {"", true},
  };
  for (const auto &c : cases) EXPECT_EQ(SearchArrayContains(c.path), c.found) << c.path;
  SearchArrayClear();
  EXPECT_TRUE(SearchArrayContains(""));
  EXPECT_FALSE(SearchArrayContains("ofs1:/first.cc"));
}

TEST_F(SharedAreaTest, AddFillsTheFirstFreeSlotUntilFull) {
  SetSlotText(0, "ofs1:/a.cc");
  SetSlotText(1, "junk");  // not a device path: free
  EXPECT_EQ(SearchArrayAdd("cfcard:/b.cc"), 0);
  EXPECT_EQ(SlotText(1), "cfcard:/b.cc");
  EXPECT_FALSE(SearchArrayIsFull());
  // Already there (up to its last character): nothing changes.
  EXPECT_EQ(SearchArrayAdd("ofs1:/a.cX"), 0);
  EXPECT_EQ(SlotText(2), "");
  EXPECT_EQ(SearchArrayAdd("ofs1:/c.cc"), 0);
  EXPECT_TRUE(SearchArrayIsFull());
  std::vector<uint8_t> full = SearchBytes();
  EXPECT_EQ(SearchArrayAdd("ofs1:/d.cc"), -1);
  EXPECT_EQ(SearchBytes(), full);
}

TEST_F(SharedAreaTest, AddKeepsTheCodeBytesOfAShortPath) {
  SearchSlot(0)[61] = 4;
  SearchSlot(0)[62] = 5;
  SearchSlot(0)[63] = 10;
  EXPECT_EQ(SearchArrayAdd("ofs1:/a.cc"), 0);
  EXPECT_EQ(SearchSlot(0)[61], 4);
  EXPECT_EQ(SearchSlot(0)[62], 5);
  EXPECT_EQ(SearchSlot(0)[63], 10);
}

TEST_F(SharedAreaTest, ClearZeroesOnlyTheThreeSlots) {
  board->memory.Write32(kSearchArray - 4, 0xA5A5A5A5);
  board->memory.Write32(kSearchArray + 192, 0x5A5A5A5A);
  SetSlotText(0, "ofs1:/a.cc");
  SetSlotText(2, "cfcard:/b.cc");
  SearchArrayClear();
  EXPECT_EQ(SearchBytes(), std::vector<uint8_t>(192, 0));
  EXPECT_EQ(board->memory.Read32(kSearchArray - 4), 0xA5A5A5A5u);
  EXPECT_EQ(board->memory.Read32(kSearchArray + 192), 0x5A5A5A5Au);
}

// A path of 61 to 63 characters reaches the code bytes; once codes replace
// its NUL the slot text must still end with the slot.
TEST_F(SharedAreaTest, LongPathsStayInsideTheirSlot) {
  std::string path61 = "ofs1:/" + std::string(51, 'p') + ".cc.";  // 61 characters
  ASSERT_EQ(path61.size(), 61u);
  EXPECT_EQ(SearchArrayAdd(path61.c_str()), 0);
  for (uint32_t attempt = 1; attempt <= 3; ++attempt) {
    SetBootAttempt(attempt);
    RecordStartupError(STARTUP_ERROR_RPS_CHECK);
  }
  EXPECT_EQ(SearchSlot(0)[61], 10);  // the code replaced the path's NUL
  EXPECT_TRUE(SearchArrayContains(path61.c_str()));

  // Slot 2 holds 64 characters without a NUL; the bytes behind the array
  // continue the text. A path that only matches when those bytes are read
  // is not in the array.
  std::string text64 = "cfcard:/" + std::string(56, 'q');
  std::memcpy(SearchSlot(2), text64.data(), 64);
  std::memcpy(board->memory.Map(kSearchArray + 192, 4), "xyz", 4);
  EXPECT_TRUE(SearchArrayContains((text64 + "#").c_str()));
  EXPECT_FALSE(SearchArrayContains((text64 + "xy#").c_str()));

  // Adding a path of 64 or more characters writes no more than the slot.
  SearchArrayClear();
  std::memcpy(board->memory.Map(kSearchArray + 64, 4), "ofs1", 4);
  std::memcpy(board->memory.Map(kSearchArray + 128, 4), "ofs1", 4);
  std::string path70 = "cfcard:/" + std::string(62, 'r');
  EXPECT_EQ(SearchArrayAdd(path70.c_str()), 0);
  EXPECT_EQ(0, std::memcmp(SearchSlot(0), path70.data(), 64));
  EXPECT_EQ(std::string(reinterpret_cast<char *>(SearchSlot(1)), 4), "ofs1");
}

TEST_F(SharedAreaTest, StartupErrorPlacementByAttempt) {
  // Attempt N -> (slot, byte); -1 stores nothing.
  const struct {
    uint32_t attempt;
    int slot;
    int byte;
  } cases[] = {{0, -1, 0},  {1, 0, 63}, {2, 0, 62}, {3, 0, 61}, {4, 1, 63}, {5, 1, 62},
               {6, 1, 61},  {7, 2, 63}, {8, 2, 62}, {9, 2, 61}, {10, -1, 0}, {0xFFFFFFFF, -1, 0}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.attempt);
    SearchArrayClear();
    SetBootAttempt(c.attempt);
    RecordStartupError(STARTUP_ERROR_PACKAGE_OPEN);
    std::vector<uint8_t> expected(192, 0);
    if (c.slot >= 0) expected[64 * c.slot + c.byte] = STARTUP_ERROR_PACKAGE_OPEN;
    EXPECT_EQ(SearchBytes(), expected);
  }
}

TEST(StartupErrorText, TableInCodeOrder) {
  const char *expected[] = {"The board start normally.\n",
                            "Reading FLASH description error.\n",
                            "Startup error record buffer full.\n",
                            "The packer length check error.\n",
                            "The packer open error.\n",
                            "The packer CRC check error.\n",
                            "The packer BIN id error.\n",
                            "The packer BIN CRC error.\n",
                            "Update the extbios error.\n",
                            "Update the basebios error.\n",
                            "The rps file check error.\n",
                            "The rps file uncompress error.\n",
                            "The 150e logic load error.\n",
                            "The FPGA logic load error.\n",
                            "The CPLD logic load error.\n",
                            "Max error number.\n"};
  for (uint32_t code = 0; code < STARTUP_ERROR_COUNT; ++code) EXPECT_STREQ(gStartupErrorText[code], expected[code]);
}

}  // namespace
}  // namespace pkgtest
