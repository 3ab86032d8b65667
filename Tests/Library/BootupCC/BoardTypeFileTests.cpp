// ReadBoardId and CheckBoardTypeFile: which boards a package admits.
#include <gtest/gtest.h>

#include <functional>

#include "BootupCC/package/BoardId.h"
#include "BootupCC/package/BoardTypeFile.h"
#include "PackageBuilder.h"
#include "PackageTestFixture.h"

namespace pkgtest {
namespace {

class BoardTypeFileTest : public PackageTest {};

TEST_F(BoardTypeFileTest, ReadBoardIdFoldsTheVariantsOf1452) {
  const struct {
    uint16_t reg;
    uint16_t id;
  } cases[] = {{1452, 1452}, {1460, 1452}, {1466, 1452}, {1461, 1461}, {1477, 1477}, {0, 0}, {0xFFFF, 0xFFFF}};
  for (const auto &c : cases) {
    SetBoardId(c.reg);
    EXPECT_EQ(ReadBoardId(), c.id) << c.reg;
  }
  EXPECT_EQ(board->boardId->ReadCount(), std::size(cases));
}

TEST_F(BoardTypeFileTest, BoardIdComesFromTheBoardSettings) {
  settings.boardId = 1484;
  BoardTest::TearDown();
  BoardTest::SetUp();
  EXPECT_EQ(ReadBoardId(), 1484);
}

struct ListCase {
  const char *name;
  uint16_t boardId;
  std::vector<uint32_t> list;  // empty: no board-type file
  int result;
};

TEST_F(BoardTypeFileTest, BoardListDecides) {
  const ListCase cases[] = {
      {"no list runs everywhere", 1461, {}, 0},
      {"listed board", 1452, {1452}, 0},
      {"listed among others", 1477, {1461, 1477, 1484}, 0},
      {"unlisted board", 1461, {1452, 1477}, -1},
      {"1460 reads as 1452", 1460, {1452}, 0},
      {"1466 reads as 1452", 1466, {1452}, 0},
      {"1460 is not found under its own ID", 1460, {1460}, -1},
      {"list of another board", 1452, {0x7FFFFFFF}, -1},
  };
  for (const ListCase &c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<MemberSpec> members = {{kRpsId, Body(20)}};
    if (!c.list.empty()) members.push_back({kBoardTypeId, BoardList(c.list)});
    Package p = BuildPackage(members);
    SetBoardId(c.boardId);
    ClearConsole();
    EXPECT_EQ(CheckBoardTypeFile(p.Data(), p.Length()), c.result);
    std::string expected = Format("\r\nGetFileDescription:ulFileNum = 0x%x\n\r", p.Be32(4));
    if (c.list.empty()) expected += "The Board_type file is not in the cc package.\n\r";
    EXPECT_EQ(Console(), expected);
  }
}

struct DamageCase {
  const char *name;
  std::function<void(Package &, uint32_t listOffset)> damage;
  int result;
  std::string lastMessage;
  uint8_t startupError;
};

TEST_F(BoardTypeFileTest, DamagedPackagesAndLists) {
  const DamageCase cases[] = {
      {"list CRC wrong: refused, message only at debug level",
       [](Package &p, uint32_t list) { p.bytes[list + 0x160] ^= 0x01; }, -1,
       "\r\nGetFileDescription:ulFileNum = 0x2\n\r", 0},
      {"list CRC field with upper half set still passes",
       [](Package &p, uint32_t list) { p.SetBe32(list + 0x158, p.Be32(list + 0x158) | 0x55550000u); }, 0,
       "\r\nGetFileDescription:ulFileNum = 0x2\n\r", 0},
      {"zero-length list admits nobody",
       [](Package &p, uint32_t list) {
         p.SetBe32(list + 0x154, 0);
         p.FixBodyCrc(list);
       },
       -1, "\r\nGetFileDescription:ulFileNum = 0x2\n\r", 0},
      {"main header CRC wrong: startup error 10", [](Package &p, uint32_t) { p.bytes[0x100] ^= 0x01; }, -1,
       "\r\nGetFileDescription:Boot file CRC error.\n\r", 10},
      // ulLength is protected by no CRC: a huge list would be CRC'd and
      // scanned far past the package.
      {"list length past the package", [](Package &p, uint32_t list) { p.SetBe32(list + 0x154, 0x40000000u); }, -1,
       "The Board_type file lies outside the cc package.\n\r", 0},
      {"list length one past the package end",
       [](Package &p, uint32_t list) { p.SetBe32(list + 0x154, p.Length() - list - 0x160 + 1); }, -1,
       "The Board_type file lies outside the cc package.\n\r", 0},
      {"list offset past the package",
       [](Package &p, uint32_t) {
         p.SetBe32(Package::SlotOffset(1) + 4, 0xFFFFFFF0u);
         p.FixHeaderCrc();
       },
       -1, "The Board_type file lies outside the cc package.\n\r", 0},
  };
  for (const DamageCase &c : cases) {
    SCOPED_TRACE(c.name);
    Package p = BuildPackage({{kRpsId, Body(20)}, {kBoardTypeId, BoardList({1452, 1461})}});
    c.damage(p, p.memberOffsets[1]);
    SetBoardId(1452);
    ClearConsole();
    SearchSlot(0)[63] = 0;
    EXPECT_EQ(CheckBoardTypeFile(p.Data(), p.Length()), c.result);
    ASSERT_GE(Console().size(), c.lastMessage.size());
    EXPECT_EQ(Console().substr(Console().size() - c.lastMessage.size()), c.lastMessage);
    EXPECT_EQ(RecordedError(), c.startupError);
  }
}

TEST_F(BoardTypeFileTest, ListInTheExtensionTableComesFirst) {
  Package p = BuildPackage({{kBoardTypeId, BoardList({1461})}, {kBoardTypeId, BoardList({1452}), true}});
  SetBoardId(1452);
  EXPECT_EQ(CheckBoardTypeFile(p.Data(), p.Length()), 0);
  SetBoardId(1461);
  EXPECT_EQ(CheckBoardTypeFile(p.Data(), p.Length()), -1);
}

TEST_F(BoardTypeFileTest, ConfiguredBoardTypeCodeSelectsTheList) {
  gBoardTypeFileId = 2;
  Package p = BuildPackage({{kBoardTypeId, BoardList({1452})}, {0x09000002, BoardList({1461})}});
  SetBoardId(1461);
  EXPECT_EQ(CheckBoardTypeFile(p.Data(), p.Length()), 0);
}

}  // namespace
}  // namespace pkgtest
