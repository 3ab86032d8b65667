// The POST message file on the board's own card (NandCtl and StorageInit
// loaded): the reset-cause classes, the text of each class, the DDR counter
// line and the result codes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../Drivers/NandCtl/NandCtlTestSupport.h"
#include "BootupCC/boot/SharedArea.h"
#include "BootupCC/records/PostMessages.h"
#include "Devices/DdrErrorCounter.h"
#include "FileAccess/FileApi.h"
#include "Kvfs/KvfsDriverProtocol.h"
#include "Kvfs/KvfsMount.h"
#include "Kvfs/KvfsObject.h"
#include "StorageInit.h"
#include "Support/BoardFixture.h"

namespace {

const std::string kBootrom = "The BOOTROM test ................................................. pass.\r\n";
const std::string kDataBus = "The SDRAM data bus test .......................................... pass.\r\n";
const std::string kAddrBus = "The SDRAM addr bus test .......................................... pass.\r\n";
const std::string kMemCell = "The SDRAM mem cell test .......................................... pass.\r\n";

struct ClassCase {
  uint32_t first;
  uint32_t second;
  uint32_t cause;
};

TEST(PostResetCauseClassTest, Table) {
  const ClassCase cases[] = {
      {RESET_CAUSE_NO, RESET_CAUSE_CHK, 0},
      {RESET_CAUSE_PWR, RESET_CAUSE_END, 1},
      {RESET_CAUSE_PWR, RESET_CAUSE_CHK, 0},  // power-on needs '_END'
      {RESET_CAUSE_NML, RESET_CAUSE_END, 1},
      {RESET_CAUSE_NML, RESET_CAUSE_CHK, 1},
      {RESET_CAUSE_NML, 0, 0},
      {RESET_CAUSE_DGN, RESET_CAUSE_END, 2},
      {RESET_CAUSE_DGN, RESET_CAUSE_CHK, 2},
      {RESET_CAUSE_DGN, RESET_CAUSE_NO, 0},
      {RESET_CAUSE_NO, RESET_CAUSE_END, 0},
      {RESET_CAUSE_END, RESET_CAUSE_DGN, 0},  // words swapped
      {0x4E47445Fu, 0x444E455Fu, 0},          // '_DGN'/'_END' with the bytes the other way round
      {0, 0, 0},
      {0xFFFFFFFFu, 0xFFFFFFFFu, 0},
  };
  for (const ClassCase &c : cases) {
    EXPECT_EQ(PostResetCauseClass(c.first, c.second), c.cause) << std::hex << c.first << " " << c.second;
  }
}

class PostMessagesTest : public simtest::BoardTest {
 protected:
  void SetUp() override {
    BoardTest::SetUp();
    kvfs_ForgetObjects();
    kvfs_ForgetDevices();
    SharedAreaInit(SHARED_AREA_TOP);
    ASSERT_EQ(simtest::LoadNandCtl(*board), EFI_SUCCESS);
    EFI_HANDLE handle = board->core.CreateImageHandle("StorageInit");
    ASSERT_EQ(StorageInitEntryPoint(handle, board->core.SystemTable()), EFI_SUCCESS);
  }
  void TearDown() override {
    KvfsStopCfcard();
    kvfs_ForgetObjects();
    kvfs_ForgetDevices();
    simtest::ResetNandCtlGlobals();
    BoardTest::TearDown();
  }
  void SetCause(uint32_t first, uint32_t second) {
    board->memory.Write32(0xBFFFFFC0u, first);
    board->memory.Write32(0xBFFFFFC4u, second);
  }
  std::string PostFile() {
    std::vector<char> buffer(16 * 1024);
    UINT32 size = 0;
    if (FileReadAll(POST_MESSAGES_PATH, buffer.data(), UINT32(buffer.size()), &size) != 1) return "<unreadable>";
    return std::string(buffer.data(), size);
  }
};

TEST_F(PostMessagesTest, EachClassWritesItsLines) {
  board->ddrErrors->SetCount(0x1F);
  struct Case {
    uint32_t first, second;
    std::string text;
  } const cases[] = {
      {RESET_CAUSE_NO, RESET_CAUSE_CHK, kBootrom},
      {RESET_CAUSE_PWR, RESET_CAUSE_END, kDataBus + kAddrBus + kBootrom},
      {RESET_CAUSE_DGN, RESET_CAUSE_END, kDataBus + kAddrBus + kMemCell + kBootrom + "DDR_ERR_CNT = 0x1f \n\r"},
      // Rewritten whole: a shorter text leaves nothing of the longer one.
      {RESET_CAUSE_PWR, RESET_CAUSE_CHK, kBootrom},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    SetCause(c.first, c.second);
    EXPECT_EQ(SavePostMessages(), POST_RESULT_OK);
    EXPECT_EQ(PostFile(), c.text);
  }
  // Only the diagnostic class prints at the error level (one console call
  // shows at most 255 characters of it).
  std::string diagnostic = kDataBus + kAddrBus + kMemCell + kBootrom;
  EXPECT_NE(Console().find(diagnostic.substr(0, 255)), std::string::npos) << Console();
  EXPECT_EQ(Console().find(kDataBus), Console().rfind(kDataBus)) << Console();
}

TEST_F(PostMessagesTest, TheLargestDdrCountFitsItsLine) {
  board->ddrErrors->SetCount(0xFFFFFFFFu);
  SetCause(RESET_CAUSE_DGN, RESET_CAUSE_CHK);
  EXPECT_EQ(SavePostMessages(), POST_RESULT_OK);
  std::string text = PostFile();
  EXPECT_EQ(text.substr(text.size() - 27), "DDR_ERR_CNT = 0xffffffff \n\r");
  EXPECT_EQ(board->ddrErrors->ReadCount(), 1u);
}

TEST_F(PostMessagesTest, ResultCodes) {
  SetCause(RESET_CAUSE_NO, RESET_CAUSE_CHK);
  board->core.FailAllocationAfter(1);
  EXPECT_EQ(SavePostMessages(), POST_RESULT_NO_BUFFER);
  EXPECT_EQ(Console(), "malloc ERROR!\n");
  EXPECT_EQ(FileGetSize(POST_MESSAGES_PATH), -1);

  // No card: the file cannot be created.
  ASSERT_EQ(KvfsStopCfcard(), EFI_SUCCESS);
  size_t pool = board->core.PoolBytesInUse();
  EXPECT_EQ(SavePostMessages(), POST_RESULT_CREATE_FAILED);
  EXPECT_EQ(board->core.PoolBytesInUse(), pool) << "the text buffer was not given back";
}

}  // namespace
