// The boot record in its two flash copies: what counts as valid, when a
// copy is (re)written, how a damaged or unreadable copy is handled.
#include <gtest/gtest.h>

#include <cstdio>

#include "BootupCC/records/FlashRec.h"
#include "RecordTestSupport.h"

namespace rectest {
namespace {

class FlashRecTest : public RecordTest {
 protected:
  // The message went to the console and, after "LINE:<n>:", to the boot log.
  void ExpectLogged(const std::string &message) {
    EXPECT_NE(Console().find(message), std::string::npos) << "console lacks: " << message;
    EXPECT_NE(BootLog().find(":" + message), std::string::npos) << "boot log lacks: " << message;
  }
  void ExpectNotLogged(const std::string &message) {
    EXPECT_EQ(Console().find(message), std::string::npos) << "console has: " << message;
  }
  static std::string CrcMismatchText(const FlashRec &record) {
    char text[96];
    std::snprintf(text, sizeof(text), "Compare crc : CRC = %d, FlashRec->crc=%d\n", ReferenceRecordCrc(record),
                  record.crc);
    return text;
  }
};

// --- FlashRecRead: validity ---

struct ValidityCase {
  const char *name;
  std::function<FlashRec()> copy;
  INT32 result;
  bool allZeroMessage;
  bool crcMessage;
};

TEST_F(FlashRecTest, ReadJudgesTheCopy) {
  const ValidityCase cases[] = {
      {"valid", [] { return MakeRecord("cfcard:/a.cc"); }, 0, false, false},
      {"all zero (its CRC field matches the CRC of zeros)",
       [] {
         FlashRec r;
         std::memset(&r, 0, sizeof(r));
         return r;
       },
       -1, true, false},
      {"only the CRC field is non-zero",
       [] {
         FlashRec r;
         std::memset(&r, 0, sizeof(r));
         r.crc = 0x1234;
         return r;
       },
       -1, true, false},
      {"stored CRC off by one",
       [] {
         FlashRec r = MakeRecord("cfcard:/a.cc");
         r.crc = uint16_t(r.crc + 1);
         return r;
       },
       -1, false, true},
      {"one content bit flipped",
       [] {
         FlashRec r = MakeRecord("cfcard:/a.cc");
         r.stWorkingBootFile.szStartupFile[9] ^= 0x01;
         return r;
       },
       -1, false, true},
      {"erased flash",
       [] {
         FlashRec r;
         std::memset(&r, 0xFF, sizeof(r));
         return r;
       },
       -1, false, true},
  };
  for (const ValidityCase &c : cases) {
    SCOPED_TRACE(c.name);
    FlashRec stored = c.copy();
    Store(FLASHDESC_ADDR, stored);
    ClearConsole();
    FlashRec record;
    EXPECT_EQ(FlashRecRead(&record, FLASHDESC_ADDR), c.result);
    EXPECT_TRUE(SameBytes(record, stored));
    if (c.allZeroMessage) ExpectLogged("FlashRec All Zero.\n");
    if (c.crcMessage) ExpectLogged(CrcMismatchText(stored));
    if (c.result == 0) {
      EXPECT_EQ(Console(), "");
    }
  }
}

TEST_F(FlashRecTest, ReadReportsAnUnreadableFlashByItsStatus) {
  UseFlakyFlash();
  flaky->readStatus = [](uint32_t) { return EFI_DEVICE_ERROR; };
  FlashRec record;
  EXPECT_EQ(FlashRecRead(&record, FLASHDESC_ADDR), EFI_DEVICE_ERROR);
  EXPECT_EQ(Console(), "Status=Device Error\n");
}

TEST_F(FlashRecTest, ReadWithoutTheProtocolReturnsTheLocateStatus) {
  RemoveFlashAccess();
  FlashRec record;
  EXPECT_EQ(FlashRecRead(&record, FLASHDESC_ADDR), EFI_NOT_FOUND);
  EXPECT_EQ(Console(), "Status=Not Found\n");
}

// --- FlashRecWrite ---

TEST_F(FlashRecTest, WriteSkipsOnlyAValidIdenticalCopy) {
  FlashRec valid = MakeRecord("cfcard:/a.cc");
  Store(FLASHDESC_ADDR, valid);
  FlashRec same = valid;
  EXPECT_EQ(FlashRecWrite(&same, FLASHDESC_ADDR), 0);
  EXPECT_EQ(WriteCount(), 0u);

  // The same content with a stale CRC field differs from the copy: written.
  FlashRec stale = valid;
  stale.crc = 0;
  EXPECT_EQ(FlashRecWrite(&stale, FLASHDESC_ADDR), 0);
  EXPECT_EQ(WriteCount(), 1u);
  EXPECT_EQ(stale.crc, valid.crc);
  EXPECT_TRUE(SameBytes(Stored(FLASHDESC_ADDR), valid));
}

TEST_F(FlashRecTest, WriteRepairsAnInvalidCopyThatHoldsTheSameBytes) {
  FlashRec damaged = MakeRecord("cfcard:/a.cc");
  damaged.crc = uint16_t(damaged.crc ^ 0x0100);
  Store(FLASHDESC_ADDR, damaged);
  FlashRec record = damaged;
  EXPECT_EQ(FlashRecWrite(&record, FLASHDESC_ADDR), 0);
  EXPECT_EQ(WriteCount(), 1u);
  EXPECT_TRUE(StoredValid(FLASHDESC_ADDR));
  ExpectLogged("Read data from flash fail.\r\n");
}

TEST_F(FlashRecTest, WriteRefusesARecordThatCanNeverBeValid) {
  FlashRec valid = MakeRecord("cfcard:/a.cc");
  Store(FLASHDESC_ADDR, valid);
  FlashRec zero;
  std::memset(&zero, 0, sizeof(zero));
  EXPECT_EQ(FlashRecWrite(&zero, FLASHDESC_ADDR), -1);
  EXPECT_EQ(WriteCount(), 0u);
  EXPECT_TRUE(SameBytes(Stored(FLASHDESC_ADDR), valid));
}

TEST_F(FlashRecTest, WriteReportsTheProtocolError) {
  board->bootFlash->FailNextWrite();
  FlashRec record = MakeRecord("cfcard:/a.cc");
  EXPECT_EQ(FlashRecWrite(&record, FLASHDESC_ADDR), -1);
  EXPECT_NE(Console().find("Flash Write Error,Status=Device Error\n"), std::string::npos);
}

// A write the flash did not keep as given fails, and the caller's record
// keeps the caller's content (only its CRC is filled in).
struct UnverifiedWriteCase {
  const char *name;
  std::function<void(FlakyFlashAccess &)> arm;
};

TEST_F(FlashRecTest, WriteFailsUnlessTheReadBackIsTheRecord) {
  const UnverifiedWriteCase cases[] = {
      {"stored bytes damaged",
       [](FlakyFlashAccess &f) {
         f.writeFilter = [](uint32_t, std::vector<uint8_t> &bytes) {
           bytes[0x400] ^= 0x40;
           return EFI_SUCCESS;
         };
       }},
      {"write reported done but lost",
       [](FlakyFlashAccess &f) {
         f.writeFilter = [](uint32_t, std::vector<uint8_t> &) { return FlakyFlashAccess::kDropWrite; };
       }},
      {"read-back fails",
       [](FlakyFlashAccess &f) {
         auto reads = std::make_shared<int>(0);
         f.readStatus = [reads](uint32_t) { return ++*reads > 1 ? EFI_DEVICE_ERROR : EFI_SUCCESS; };
       }},
  };
  for (const UnverifiedWriteCase &c : cases) {
    SCOPED_TRACE(c.name);
    FreshBoard();
    Store(FLASHDESC_ADDR, MakeRecord("cfcard:/old.cc"));
    UseFlakyFlash();
    c.arm(*flaky);
    FlashRec wanted = MakeRecord("cfcard:/new.cc", 2);
    FlashRec record = wanted;
    record.crc = 0;
    EXPECT_EQ(FlashRecWrite(&record, FLASHDESC_ADDR), -1);
    EXPECT_TRUE(SameBytes(record, wanted));
  }
}

// --- FlashRecPut ---

TEST_F(FlashRecTest, PutWritesMainThenBackup) {
  FlashRec record = MakeRecord("cfcard:/a.cc");
  record.crc = 0;
  EXPECT_EQ(FlashRecPut(&record), 0);
  const auto &calls = board->flashAccess->WriteCalls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].offset, FLASHDESC_ADDR);
  EXPECT_EQ(calls[1].offset, FLASHDESC_BACK_ADDR);
  EXPECT_TRUE(SameBytes(Stored(FLASHDESC_ADDR), MakeRecord("cfcard:/a.cc")));
  EXPECT_TRUE(SameBytes(Stored(FLASHDESC_BACK_ADDR), MakeRecord("cfcard:/a.cc")));
}

TEST_F(FlashRecTest, PutNeverCopiesADamagedMainReadBackToTheBackup) {
  UseFlakyFlash();
  flaky->writeFilter = [](uint32_t offset, std::vector<uint8_t> &bytes) {
    if (offset == FLASHDESC_ADDR) bytes[0x3A0] = 'X';
    return EFI_SUCCESS;
  };
  FlashRec wanted = MakeRecord("cfcard:/new.cc");
  FlashRec record = wanted;
  EXPECT_EQ(FlashRecPut(&record), 0);
  EXPECT_TRUE(SameBytes(record, wanted));
  EXPECT_TRUE(SameBytes(Stored(FLASHDESC_BACK_ADDR), wanted));
  ExpectLogged("Write data error in flash description area! ErrorNo = -1\n\n");
}

TEST_F(FlashRecTest, PutFailsOnlyWhenBothCopiesFail) {
  UseFlakyFlash();
  flaky->writeFilter = [](uint32_t, std::vector<uint8_t> &) { return EFI_DEVICE_ERROR; };
  FlashRec record = MakeRecord("cfcard:/a.cc");
  EXPECT_EQ(FlashRecPut(&record), -1);
  ExpectLogged("Write data error in flash description area! ErrorNo = -1\n\n");
  ExpectLogged("Write data error in flash description backup area! ErrorNo = -1\n\n");

  flaky->writeFilter = [](uint32_t offset, std::vector<uint8_t> &) {
    return offset == FLASHDESC_BACK_ADDR ? EFI_DEVICE_ERROR : EFI_SUCCESS;
  };
  EXPECT_EQ(FlashRecPut(&record), 0);
  EXPECT_TRUE(StoredValid(FLASHDESC_ADDR));
}

// --- FlashRecGet ---

enum class Copy { A, B, Damaged, Zero };

FlashRec CopyContent(Copy copy) {
  switch (copy) {
    case Copy::A: return MakeRecord("cfcard:/a.cc", 1);
    case Copy::B: return MakeRecord("ofs1:/b.cc", 2);
    case Copy::Damaged: {
      FlashRec r = MakeRecord("cfcard:/a.cc", 1);
      r.ulStartupFailVersionBackCount = 7;  // CRC no longer matches
      return r;
    }
    case Copy::Zero: break;
  }
  FlashRec r;
  std::memset(&r, 0, sizeof(r));
  return r;
}

struct GetCase {
  const char *name;
  Copy main;
  Copy backup;
  INT32 result;
  FlashRec expected;
  size_t writes;  // Write calls of the flash access protocol
  const char *message;
};

TEST_F(FlashRecTest, GetPrefersMainAndRepairsItFromTheBackup) {
  const GetCase cases[] = {
      {"both valid", Copy::A, Copy::B, 0, CopyContent(Copy::A), 0, nullptr},
      {"backup damaged is left alone", Copy::A, Copy::Damaged, 0, CopyContent(Copy::A), 0, nullptr},
      {"main damaged", Copy::Damaged, Copy::B, 0, CopyContent(Copy::B), 1,
       "Data invalid in flash description area!\n"},
      {"main all zero", Copy::Zero, Copy::B, 0, CopyContent(Copy::B), 1, "FlashRec All Zero.\n"},
      {"neither valid", Copy::Damaged, Copy::Zero, -1, FirstConfigDefault(), 0, "\r\nFirst configuration...\r\n"},
  };
  for (const GetCase &c : cases) {
    SCOPED_TRACE(c.name);
    FreshBoard();
    FlashRec backupBefore = CopyContent(c.backup);
    Store(FLASHDESC_ADDR, CopyContent(c.main));
    Store(FLASHDESC_BACK_ADDR, backupBefore);
    FlashRec record;
    EXPECT_EQ(FlashRecGet(&record), c.result);
    EXPECT_TRUE(SameBytes(record, c.expected));
    EXPECT_EQ(WriteCount(), c.writes);
    EXPECT_TRUE(SameBytes(Stored(FLASHDESC_BACK_ADDR), backupBefore));
    if (c.writes == 1) {
      EXPECT_TRUE(SameBytes(Stored(FLASHDESC_ADDR), c.expected));
    }
    EXPECT_EQ(gFirstConfigMarker, c.result == -1 ? FIRST_CONFIG_MARKER : 0);
    if (c.message != nullptr) ExpectLogged(c.message);
  }
}

TEST_F(FlashRecTest, GetStillAnswersWhenTheRepairFails) {
  Store(FLASHDESC_ADDR, CopyContent(Copy::Damaged));
  Store(FLASHDESC_BACK_ADDR, CopyContent(Copy::B));
  board->bootFlash->FailNextWrite();
  FlashRec record;
  EXPECT_EQ(FlashRecGet(&record), 0);
  EXPECT_TRUE(SameBytes(record, CopyContent(Copy::B)));
  ExpectLogged("Recover flash description area error! ErrorNo = -1\n\n");
}

// A copy that could not be read may be good: no first configuration, so a
// caller cannot store the empty default over it.
struct UnreadableCase {
  const char *name;
  bool mainUnreadable;
  bool backupUnreadable;
  Copy main;
  Copy backup;
  INT32 result;
};

TEST_F(FlashRecTest, GetDoesNotMistakeAnUnreadableFlashForFirstConfiguration) {
  const UnreadableCase cases[] = {
      {"main unreadable, backup damaged", true, false, Copy::A, Copy::Damaged, EFI_DEVICE_ERROR},
      {"main damaged, backup unreadable", false, true, Copy::Damaged, Copy::B, EFI_DEVICE_ERROR},
      {"both unreadable", true, true, Copy::A, Copy::B, EFI_DEVICE_ERROR},
      {"main unreadable, backup valid", true, false, Copy::A, Copy::B, 0},
  };
  for (const UnreadableCase &c : cases) {
    SCOPED_TRACE(c.name);
    FreshBoard();
    Store(FLASHDESC_ADDR, CopyContent(c.main));
    Store(FLASHDESC_BACK_ADDR, CopyContent(c.backup));
    UseFlakyFlash();
    flaky->readStatus = [c](uint32_t offset) {
      bool fails = offset == FLASHDESC_ADDR ? c.mainUnreadable : c.backupUnreadable;
      return fails ? EFI_DEVICE_ERROR : EFI_SUCCESS;
    };
    FlashRec record;
    EXPECT_EQ(FlashRecGet(&record), c.result);
    EXPECT_EQ(gFirstConfigMarker, 0);
    EXPECT_EQ(Console().find("First configuration"), std::string::npos);
    if (c.result == 0) {
      EXPECT_TRUE(SameBytes(record, CopyContent(c.backup)));
    }
  }
}

TEST_F(FlashRecTest, GetWithoutTheProtocolIsNotFirstConfiguration) {
  RemoveFlashAccess();
  FlashRec record;
  EXPECT_EQ(FlashRecGet(&record), EFI_NOT_FOUND);
  EXPECT_EQ(gFirstConfigMarker, 0);
}

// --- Path fields as FlashRecGet hands them out ---

TEST_F(FlashRecTest, GetSanitizesTheWorkingSetAndTerminatesEveryOtherPath) {
  FlashRec stored = MakeRecord("cfcard:/a.cc");
  SetPath(stored.stWorkingBootFile.szCfgFile, "mfs:/x.cfg");
  std::string unterminated = "cfcard:/" + std::string(BOOT_PATH_SIZE - 8, 'c');
  SetPath(stored.stWorkingBootFile.szPatchFile, unterminated);
  SetPath(stored.stWorkingBootFile.szPath6, "stray text");  // field 6 is not sanitized
  SetPath(stored.stPreBootFile.szCfgFile, "mfs:/kept.cfg");  // only the working set is checked by prefix
  SetPath(stored.stCurrentBootFile.szStartupFile, unterminated);
  stored.crc = ReferenceRecordCrc(stored);
  Store(FLASHDESC_ADDR, stored);

  FlashRec record;
  ASSERT_EQ(FlashRecGet(&record), 0);
  EXPECT_STREQ(record.stWorkingBootFile.szStartupFile, "cfcard:/a.cc");
  EXPECT_EQ(record.stWorkingBootFile.szCfgFile[0], 0);
  EXPECT_EQ(record.stWorkingBootFile.szPatchFile[0], 0);
  EXPECT_STREQ(record.stWorkingBootFile.szPath6, "stray text");
  EXPECT_STREQ(record.stPreBootFile.szCfgFile, "mfs:/kept.cfg");
  EXPECT_EQ(record.stCurrentBootFile.szStartupFile[0], 0);
  // Handing the record out changes nothing on the flash.
  EXPECT_TRUE(SameBytes(Stored(FLASHDESC_ADDR), stored));
}

}  // namespace
}  // namespace rectest
