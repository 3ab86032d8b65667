// The single-field updates of the boot record.
#include <gtest/gtest.h>

#include "BootupCC/boot/SearchArray.h"
#include "BootupCC/records/FlashRec.h"
#include "BootupCC/records/FlashRecFields.h"
#include "RecordTestSupport.h"

namespace rectest {
namespace {

class FlashRecFieldsTest : public RecordTest {
 protected:
  void StoreBoth(const FlashRec &record) {
    Store(FLASHDESC_ADDR, record);
    Store(FLASHDESC_BACK_ADDR, record);
  }
  void StoreBothInvalid() {
    FlashRec damaged = MakeRecord("cfcard:/a.cc", 1);
    damaged.crc ^= 0x5555;
    StoreBoth(damaged);
  }
  // Both copies hold `expected` (with its CRC) now.
  void ExpectBoth(FlashRec expected) {
    expected.crc = ReferenceRecordCrc(expected);
    EXPECT_TRUE(SameBytes(Stored(FLASHDESC_ADDR), expected));
    EXPECT_TRUE(SameBytes(Stored(FLASHDESC_BACK_ADDR), expected));
  }
};

TEST_F(FlashRecFieldsTest, IncBackCountCountsAndLogsOnlyOnAValidRecord) {
  StoreBoth(MakeRecord("cfcard:/a.cc", 2));
  FlashRecIncBackCount();
  ExpectBoth(MakeRecord("cfcard:/a.cc", 3));
  EXPECT_NE(BootLog().find(":The backcout is 3 !\n"), std::string::npos);
  EXPECT_EQ(FlashRecGetBackCount(), 3u);

  FreshBoard();
  StoreBothInvalid();
  FlashRecIncBackCount();
  EXPECT_EQ(WriteCount(), 0u);
  EXPECT_EQ(FlashRecGetBackCount(), 0u);
}

struct ClearCase {
  const char *name;
  void (*update)();
  void (*expect)(FlashRec &);  // the change on a valid record
};

const ClearCase kClearCases[] = {
    {"FlashRecResetBackCount", FlashRecResetBackCount, [](FlashRec &r) { r.ulStartupFailVersionBackCount = 0; }},
    {"FlashRecClearBackSignal", FlashRecClearBackSignal, [](FlashRec &r) { r.ulStartupFailVersionBackSignal = 0; }},
    {"ClearVersionBack", ClearVersionBack, [](FlashRec &r) { r.ulStartupFailVersionBackSignal = 0; }},
};

TEST_F(FlashRecFieldsTest, ClearingUpdatesStoreTheChangedRecord) {
  for (const ClearCase &c : kClearCases) {
    SCOPED_TRACE(c.name);
    FreshBoard();
    FlashRec record = MakeRecord("cfcard:/a.cc", 2);
    StoreBoth(record);
    c.update();
    c.expect(record);
    ExpectBoth(record);
  }
}

TEST_F(FlashRecFieldsTest, ClearingUpdatesStoreTheDefaultOnFirstConfiguration) {
  for (const ClearCase &c : kClearCases) {
    SCOPED_TRACE(c.name);
    FreshBoard();
    StoreBothInvalid();
    c.update();
    ExpectBoth(FirstConfigDefault());
  }
}

// An unreadable flash is no first configuration: the copies stay as they
// are, however they look.
TEST_F(FlashRecFieldsTest, ClearingUpdatesStoreNothingWhenTheFlashCannotBeRead) {
  for (const ClearCase &c : kClearCases) {
    SCOPED_TRACE(c.name);
    FreshBoard();
    FlashRec record = MakeRecord("cfcard:/a.cc", 2);
    StoreBoth(record);
    UseFlakyFlash();
    flaky->readStatus = [](uint32_t offset) {
      return offset == FLASHDESC_ADDR ? EFI_DEVICE_ERROR : EFI_SUCCESS;
    };
    Store(FLASHDESC_BACK_ADDR, FirstConfigDefault());  // backup read as invalid
    c.update();
    EXPECT_EQ(board->flashAccess->WriteCalls().size(), 0u);
    EXPECT_TRUE(SameBytes(Stored(FLASHDESC_ADDR), record));
  }
}

TEST_F(FlashRecFieldsTest, ClearVersionBackEmptiesTheSearchArray) {
  StoreBoth(MakeRecord("cfcard:/a.cc", 2));
  ASSERT_EQ(SearchArrayAdd("cfcard:/failed.cc"), 0);
  ASSERT_EQ(SearchArrayAdd("ofs1:/failed.cc"), 0);
  ClearVersionBack();
  for (uint32_t slot = 0; slot < 3; ++slot) {
    const uint8_t *bytes = SearchArraySlot(slot);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(bytes), 64), std::string(64, '\0'));
  }
}

TEST_F(FlashRecFieldsTest, HiddenPackageFieldsUseTheMainCopyOnly) {
  FlashRec record = MakeRecord("cfcard:/a.cc");
  record.ulHidPackageRequest = 5;
  record.crc = ReferenceRecordCrc(record);
  StoreBoth(record);
  EXPECT_EQ(FlashRecGetHidRequest(), 5u);
  EXPECT_EQ(gHidPackageIndex, 5u);
  EXPECT_EQ(FlashRecSetHidStarted(5), 0);
  record.ulHidPackageStarted = 5;
  ExpectBoth(record);

  // Main damaged: a valid backup is not consulted and nothing is written.
  FreshBoard();
  gHidPackageIndex = 9;
  FlashRec damaged = record;
  damaged.crc ^= 1;
  Store(FLASHDESC_ADDR, damaged);
  Store(FLASHDESC_BACK_ADDR, record);
  EXPECT_EQ(FlashRecGetHidRequest(), 0u);
  EXPECT_EQ(gHidPackageIndex, 0u);
  EXPECT_EQ(FlashRecSetHidStarted(1), 1);
  EXPECT_EQ(WriteCount(), 0u);
  EXPECT_NE(Console().find("Read flash des error !"), std::string::npos);
}

}  // namespace
}  // namespace rectest
