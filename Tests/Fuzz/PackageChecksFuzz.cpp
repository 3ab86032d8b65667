// The in-memory package checks on arbitrary bytes: GetExtFileDescription,
// getRPSFileAddr and CheckBoardTypeFile must stay inside the package
// whatever its offsets, counts and lengths claim.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <algorithm>
#include <memory>
#include <vector>

#include "Board/Board.h"
#include "BootupCC/boot/SharedArea.h"
#include "BootupCC/package/BoardTypeFile.h"
#include "BootupCC/package/PackageCrc.h"
#include "BootupCC/package/PackageLookup.h"
#include "BootupCC/package/RpsFile.h"
#include "BootupCC/boot/StartupConfig.h"
#include "Devices/ConsoleUart.h"

#include <Library/UefiBootServicesTableLib.h>

namespace {

sim::Board &FuzzBoard() {
  static sim::Board board;
  static bool ready = false;
  if (!ready) {
    UefiLibConstructor(nullptr, board.core.SystemTable());
    gBiosLogMode = 1;  // log entries are built, but there is no card to write them to
    ready = true;
  }
  return board;
}

constexpr size_t kHeaderSize = 0x1824;
constexpr size_t kCompactSlots = 8;  // main slots 0..7 taken from the input

void FixHeaderCrc(uint8_t *package, size_t size) {
  if (size < kHeaderSize) return;
  UINT16 crc = 0;
  CalcCrc16(package, 0x1820, &crc);
  package[0x1820] = 0;
  package[0x1821] = 0;
  package[0x1822] = uint8_t(crc >> 8);
  package[0x1823] = uint8_t(crc);
}

// Inputs come in two forms, chosen by the low bits of the first byte:
// raw (the input is the package, its header CRC made valid when bit 0 is
// set) and compact (bit 1): ulFileNum, slot 255 and slots 0..7 from the
// input, a zero header otherwise with a valid CRC, and the rest of the input
// as the bytes behind the header. The compact form lets short inputs reach
// the member checks behind the header CRC.
std::vector<uint8_t> MakePackage(const uint8_t *data, size_t size) {
  if (size == 0 || (data[0] & 2) == 0) {
    std::vector<uint8_t> package(data, data + size);
    if (size > 0 && (data[0] & 1) != 0) FixHeaderCrc(package.data(), size);
    return package;
  }
  size_t fieldBytes = 4 + 24 + 24 * kCompactSlots;
  const uint8_t *fields = data + 1;
  size_t fieldsSize = std::min(size - 1, fieldBytes);
  std::vector<uint8_t> header(fieldBytes, 0);
  std::memcpy(header.data(), fields, fieldsSize);
  const uint8_t *rest = fields + fieldsSize;
  size_t restSize = size - 1 - fieldsSize;

  std::vector<uint8_t> package(kHeaderSize + restSize, 0);
  std::memcpy(&package[4], &header[0], 4);               // ulFileNum
  std::memcpy(&package[0x1808], &header[4], 24);         // slot 255
  std::memcpy(&package[0x20], &header[28], 24 * kCompactSlots);  // slots 0..7
  if (restSize) std::memcpy(&package[kHeaderSize], rest, restSize);
  FixHeaderCrc(package.data(), package.size());
  return package;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  sim::Board &board = FuzzBoard();
  board.consoleUart->Clear();
  SharedAreaWriteBootAttempt(1);

  if (size > 0x10000000u) return 0;
  std::vector<uint8_t> bytes = MakePackage(data, size);
  // A copy of exactly the package's size: reads past it are caught.
  std::unique_ptr<uint8_t[]> package(new uint8_t[bytes.size() ? bytes.size() : 1]);
  if (!bytes.empty()) std::memcpy(package.get(), bytes.data(), bytes.size());
  UINT32 length = UINT32(bytes.size());

  CONST LOAD_FILE_HEADER_S *header = nullptr;
  CONST LOAD_FILE_DESC_S *extDesc = nullptr;
  UINT32 extCount = 0;
  if (GetExtFileDescription(package.get(), length, &header, &extDesc, &extCount) == 0) {
    // Every descriptor the lookup hands out must be readable.
    volatile UINT32 sink = 0;
    for (UINT32 i = 0; i < extCount; i++) sink = sink + extDesc[i].ulFileId;
    (void)sink;
  }
  getRPSFileAddr(package.get(), length);
  CheckBoardTypeFile(package.get(), length);
  return 0;
}
