// Which 64-byte path fields survive sanitizing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "BootupCC/records/SanitizeBootPath.h"

namespace {

struct PathCase {
  const char *name;
  std::string field;  // up to 64 bytes; the rest of the field is zero
  bool kept;
};

TEST(SanitizeBootPath, KeepsOnlyTerminatedPathsOnTheTwoDevices) {
  const std::string longest = "cfcard:/" + std::string(55, 'a');  // 63 characters
  const PathCase cases[] = {
      {"cfcard path", "cfcard:/vrp.cc", true},
      {"ofs1 path", "ofs1:/vrp.cc", true},
      {"prefix alone is enough", "cfcard:", true},
      {"63 characters", longest, true},
      {"64 characters, no NUL", longest + "b", false},
      {"upper case", "CFCARD:/vrp.cc", false},
      {"mfs path", "mfs:/vrp.cc", false},
      {"absolute path", "/vrp.cc", false},
      {"empty", "", false},
      {"erased flash", std::string(64, '\xFF'), false},
      {"prefix cut short", "cfcar", false},
  };
  for (const PathCase &c : cases) {
    SCOPED_TRACE(c.name);
    char field[64];
    std::memset(field, 0, sizeof(field));
    std::memcpy(field, c.field.data(), c.field.size());
    char before[64];
    std::memcpy(before, field, sizeof(field));
    SanitizeBootPath(field);
    if (c.kept) {
      EXPECT_EQ(std::memcmp(field, before, sizeof(field)), 0);
    } else {
      EXPECT_EQ(field[0], 0);
      EXPECT_EQ(std::memcmp(field + 1, before + 1, sizeof(field) - 1), 0) << "only the first byte changes";
    }
  }
}

TEST(SanitizeBootPath, SetCoversTheFirstSixFieldsOnly) {
  BOOT_FILE_SET set;
  std::memset(&set, 'x', sizeof(set));
  SanitizeBootFileSet(&set);
  const char *fields[] = {set.szStartupFile, set.szCfgFile, set.szPafFile, set.szPath3, set.szPatchFile, set.szPath5};
  for (const char *field : fields) EXPECT_EQ(field[0], 0);
  EXPECT_EQ(set.szPath6[0], 'x');
}

TEST(SanitizeBootPath, TerminateEmptiesOnlyFieldsWithoutNul) {
  BOOT_FILE_SET set;
  std::memset(&set, 0, sizeof(set));
  std::memcpy(set.szStartupFile, "mfs:/a.cc", 9);
  std::memset(set.szCfgFile, 'c', sizeof(set.szCfgFile));
  std::memset(set.szPath6, 'z', sizeof(set.szPath6));
  TerminateBootFileSet(&set);
  EXPECT_STREQ(set.szStartupFile, "mfs:/a.cc");
  EXPECT_EQ(set.szCfgFile[0], 0);
  EXPECT_EQ(set.szPath6[0], 'z');
}

}  // namespace
