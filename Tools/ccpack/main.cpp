// ccpack: builds, inspects and deliberately breaks ".cc" software packages,
// and writes the BIOS and logic test members the board's update code needs.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Commands.h"

namespace {

const char kHelp[] =
    "Usage:\n"
    "  ccpack build -o OUT.cc [--extension] [--break DEFECT]... MEMBER...\n"
    "  ccpack info FILE.cc\n"
    "  ccpack make-bios --version TEXT -o FILE [--field TEXT] [--fill BYTE]\n"
    "  ccpack make-logic --version BYTE -o FILE [--id ID] [--compress METHOD] [--size N]\n"
    "  ccpack --help\n"
    "\n"
    "build  writes a package: the 0x1824-byte main header, then the members in\n"
    "       the order given, each a 352-byte program header and its body. Every\n"
    "       offset, length and CRC is filled in; bytes the board does not read\n"
    "       are zero. The first 255 members go to the main table; members marked\n"
    "       /ext, all members with --extension, and every member beyond the\n"
    "       255th go to the extension table. With an extension table, ulFileNum\n"
    "       is 256 and slot 255 (ID 0x0000ABEF) points at the extension file\n"
    "       (ID 0x000012CD) that follows the main-table members; its length\n"
    "       covers the extension file and the members behind it, so that\n"
    "       0x1824 + the sum of ulFileLen over all 256 slots is the file size.\n"
    "\n"
    "  MEMBER is KIND[/MODIFIER...]=VALUE. KIND is one of:\n"
    "    rps            operating-system image (ID 0x01000003)\n"
    "    basebios       base BIOS (ID 0x05000001)\n"
    "    extbios        extended BIOS (ID 0x06000002)\n"
    "    fpga:ID        FPGA logic with file ID ID (e.g. fpga:0x10000011)\n"
    "    cpld:ID, logic:ID   CPLD or other logic with file ID ID\n"
    "    ID             any file ID, e.g. 0x10000007=file.bin\n"
    "    boardtype      board-type list (ID 0x09000001); VALUE is a list of\n"
    "                   board IDs, e.g. boardtype=1452,1461, stored as\n"
    "                   little-endian 32-bit words\n"
    "    member         VALUE is a complete member file (program header and\n"
    "                   body, e.g. from make-logic), taken as it is; its ID is\n"
    "                   the one in its program header\n"
    "  For every other kind VALUE is the file holding the member's body.\n"
    "  MODIFIERs:\n"
    "    zlib           the byte 8, then a zlib stream (compression type 1)\n"
    "    lzw, lzwN      the .Z layout: 0x1F 0x9D, flags 0x80|N, LZW codes of\n"
    "                   9 to N bits (N 10..16, default 16) (compression type 2)\n"
    "    lzma           LZMA \"alone\": properties 0x5D (lc 3, lp 0, pb 2),\n"
    "                   dictionary size, the 64-bit uncompressed size, then\n"
    "                   the stream without end marker (compression type 3)\n"
    "    vN             version word N (logic files: the version byte is its\n"
    "                   low byte, at program header offset 0x00F); default 0\n"
    "    ext            place the member in the extension table\n"
    "  Example: ccpack build -o pkg.cc rps/lzma=os.bin basebios=base.bin \\\n"
    "             extbios=ext.bin fpga:0x10000011/lzma/v7=logic.bit boardtype=1452\n"
    "\n"
    "  --extension     place every member in the extension table\n"
    "  --break DEFECT  build a broken package on purpose (may be repeated):\n"
    "    header-crc         the main header CRC is wrong (upper half still 0)\n"
    "    member-crc:ID      the body CRC field of the first member with file\n"
    "                       ID ID is wrong; its program header CRC is redone\n"
    "    ext-table-crc      the CRC behind the extension table's descriptors is\n"
    "                       wrong; the extension file's body CRC and slot 255\n"
    "                       match the broken table (needs an extension table)\n"
    "    length-off-by-one  ulFileLen of the first used main slot (slot 0, or\n"
    "                       slot 255 when every member is in the extension\n"
    "                       table) is one larger than true, so the package\n"
    "                       length rule fails; the header CRC matches\n"
    "  Progress for members of 4 MiB and more goes to stderr.\n"
    "\n"
    "info   prints the main header (ulFileNum, CRC stored and computed), the\n"
    "       main table and the extension table with every member's slot, ID,\n"
    "       known name, offset, ulFileLen, version word, compression type and\n"
    "       body CRC verdict, then checks every rule: header CRC with its upper\n"
    "       half zero; every member's program header and body inside the file;\n"
    "       body CRC (low 16 bits); ulFileLen = 352 + body length; extension\n"
    "       file ID 0x000012CD, its header CRC, its body CRC against slot 255's\n"
    "       CRC and against the body, table count = ulExtFileNum, table CRC;\n"
    "       0x1824 + sum of ulFileLen over all 256 slots = file size.\n"
    "       Each broken rule is named on its own line \"INCONSISTENT: ...\";\n"
    "       the last line is \"result: consistent\" or \"result: N\n"
    "       inconsistencies\".\n"
    "\n"
    "make-bios   writes a 1 MiB BIOS image: TEXT (up to 255 characters,\n"
    "       NUL-padded to 256 bytes) at offset 0, where the board takes the\n"
    "       version text, and the 12-byte version field at 0xB0004 (in a 256-byte\n"
    "       zero block at 0xB0000); the field holds --field TEXT, by default\n"
    "       the first 12 characters of the version text (--version V9.60.69\n"
    "       puts \"9.60.69\" at 0xB0005). Every other byte is --fill (default\n"
    "       0xFF).\n"
    "\n"
    "make-logic  writes a complete logic member file: program header with file\n"
    "       ID --id (default 0x10000011), version word 0x000000BYTE (the version\n"
    "       byte at header offset 0x00F), body length, body CRC and compression\n"
    "       type, then a deterministic stand-in bitstream of --size bytes\n"
    "       (default 0x10000, at most 0x400000) compressed with --compress\n"
    "       lzma (default), zlib, lzw[N] or none. Use it in a package as\n"
    "       member=FILE.\n"
    "\n"
    "Numbers may be decimal or 0x hexadecimal.\n"
    "Exit status: 0 success (info: consistent), 1 info found inconsistencies,\n"
    "2 usage error or a file that cannot be read or written.\n";

}  // namespace

int main(int argc, char **argv) {
  using namespace ccpack;
  if (argc < 2) {
    std::fputs(kHelp, stderr);
    return kExitUsage;
  }
  std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kHelp, stdout);
    return kExitOk;
  }
  std::vector<std::string> args(argv + 2, argv + argc);
  for (const std::string &arg : args) {
    if (arg == "--help") {
      std::fputs(kHelp, stdout);
      return kExitOk;
    }
  }
  std::string error;
  int status = kExitUsage;
  if (command == "build") {
    BuildArgs build;
    if (ParseBuildArgs(args, &build, &error)) status = RunBuild(build);
  } else if (command == "info") {
    InfoArgs info;
    if (ParseInfoArgs(args, &info, &error)) status = RunInfo(info);
  } else if (command == "make-bios") {
    MakeBiosArgs bios;
    if (ParseMakeBiosArgs(args, &bios, &error)) status = RunMakeBios(bios);
  } else if (command == "make-logic") {
    MakeLogicArgs logic;
    if (ParseMakeLogicArgs(args, &logic, &error)) status = RunMakeLogic(logic);
  } else {
    error = "unknown command '" + command + "'";
  }
  if (!error.empty()) {
    std::fprintf(stderr, "ccpack: %s (see ccpack --help)\n", error.c_str());
    return kExitUsage;
  }
  return status;
}
