// Boot record tests: a fresh board with BootAgent's services, a kvfs
// stand-in that collects the boot log, records built in the test, and a
// flash access protocol that can be made to misbehave.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <algorithm>
#include <string>
#include <vector>

#include "BootupCC/boot/SharedArea.h"
#include "BootupCC/boot/StartupConfig.h"
#include "BootupCC/records/FlashRec.h"
#include "Devices/ConsoleUart.h"
#include "Devices/FlashAccessProtocol.h"
#include "Support/BoardFixture.h"
#include "Support/MemoryKvfs.h"

#include <Library/UefiBootServicesTableLib.h>

namespace rectest {

constexpr const char *kBootLogPath = "cfcard:/bioslog.log";

// CRC-16/XMODEM bit by bit, independent of the firmware's table loops.
inline uint16_t ReferenceCrc16(const uint8_t *data, size_t length) {
  uint16_t crc = 0;
  for (size_t i = 0; i < length; ++i) {
    crc ^= uint16_t(data[i] << 8);
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? uint16_t((crc << 1) ^ 0x1021) : uint16_t(crc << 1);
  }
  return crc;
}

inline uint16_t ReferenceRecordCrc(const FlashRec &record) {
  return ReferenceCrc16(reinterpret_cast<const uint8_t *>(&record) + 2, sizeof(FlashRec) - 2);
}

inline void SetPath(char *field, const std::string &path) {
  std::memset(field, 0, BOOT_PATH_SIZE);
  std::memcpy(field, path.data(), std::min<size_t>(path.size(), BOOT_PATH_SIZE));
}

// A valid record: the working and current sets name the package, the
// count and reserved bytes are set so that every region carries data.
inline FlashRec MakeRecord(const std::string &package, uint32_t count = 0) {
  FlashRec record;
  std::memset(&record, 0, sizeof(record));
  record.ulStartupFailVersionBackSignal = 1;
  record.ulStartupFailVersionBackCount = count;
  SetPath(record.stWorkingBootFile.szStartupFile, package);
  SetPath(record.stWorkingBootFile.szCfgFile, "cfcard:/vrpcfg.zip");
  SetPath(record.stCurrentBootFile.szStartupFile, package);
  SetPath(record.stPreBootFile.szStartupFile, "cfcard:/previous.cc");
  record.aucReserved2[100] = 0x5A;
  record.aucReserved3[23] = 0xA5;
  record.crc = ReferenceRecordCrc(record);
  return record;
}

inline FlashRec FirstConfigDefault() {
  FlashRec record;
  std::memset(&record, 0, sizeof(record));
  record.ucFlag0 = 0xFF;
  record.ucFlag1 = 0xFF;
  return record;
}

inline bool SameBytes(const FlashRec &a, const FlashRec &b) { return std::memcmp(&a, &b, sizeof(FlashRec)) == 0; }

// Stands in for the board's flash access protocol and forwards to it,
// unless a hook says otherwise.
class FlakyFlashAccess {
 public:
  // Status of a Read at offset; an error fails it without reading.
  std::function<EFI_STATUS(uint32_t offset)> readStatus;
  // May change the bytes about to be written; an error fails the Write
  // without writing. kDropWrite reports success and stores nothing.
  std::function<EFI_STATUS(uint32_t offset, std::vector<uint8_t> &bytes)> writeFilter;
  std::function<void(FLASH_ACCESS_INFO &info)> infoFilter;
  static constexpr EFI_STATUS kDropWrite = 1;

  explicit FlakyFlashAccess(sim::FlashAccessProtocol &real) : real_(real) {
    instance_.protocol = *real.Interface();
    instance_.protocol.Read = Read;
    instance_.protocol.Write = Write;
    instance_.protocol.GetInfo = GetInfo;
    instance_.owner = this;
  }
  FLASH_ACCESS_PROTOCOL *Interface() { return &instance_.protocol; }

 private:
  struct Instance {
    FLASH_ACCESS_PROTOCOL protocol;
    FlakyFlashAccess *owner;
  };
  static FlakyFlashAccess *From(FLASH_ACCESS_PROTOCOL *This) { return reinterpret_cast<Instance *>(This)->owner; }
  FLASH_ACCESS_PROTOCOL *Real() { return real_.Interface(); }

  static EFI_STATUS EFIAPI Read(FLASH_ACCESS_PROTOCOL *This, UINT32 Offset, VOID *Destination, UINT32 Length) {
    FlakyFlashAccess *self = From(This);
    if (self->readStatus) {
      EFI_STATUS status = self->readStatus(Offset);
      if (EFI_ERROR(status)) return status;
    }
    return self->Real()->Read(self->Real(), Offset, Destination, Length);
  }
  static EFI_STATUS EFIAPI Write(FLASH_ACCESS_PROTOCOL *This, UINT32 Offset, VOID *Source, UINT32 Length) {
    FlakyFlashAccess *self = From(This);
    const uint8_t *source = static_cast<const uint8_t *>(Source);
    std::vector<uint8_t> bytes(source, source + Length);
    if (self->writeFilter) {
      EFI_STATUS status = self->writeFilter(Offset, bytes);
      if (status == kDropWrite) return EFI_SUCCESS;
      if (EFI_ERROR(status)) return status;
    }
    return self->Real()->Write(self->Real(), Offset, bytes.data(), Length);
  }
  static EFI_STATUS EFIAPI GetInfo(FLASH_ACCESS_PROTOCOL *This, FLASH_ACCESS_INFO *Info) {
    FlakyFlashAccess *self = From(This);
    EFI_STATUS status = self->Real()->GetInfo(self->Real(), Info);
    if (!EFI_ERROR(status) && self->infoFilter) self->infoFilter(*Info);
    return status;
  }

  sim::FlashAccessProtocol &real_;
  Instance instance_;
};

class RecordTest : public simtest::BoardTest {
 protected:
  void SetUp() override { FreshBoard(); }

  // A new board with the shipped switches; table-driven tests call it per
  // case.
  void FreshBoard() {
    flaky.reset();
    board.reset();
    BoardTest::SetUp();
    gBootDebugMask = 0xFFFF;
    gBiosLogMode = 2;
    gFirstConfigMarker = 0;
    gHidPackageIndex = 0;
    ASSERT_EQ(SharedAreaInit(0xC0000000u), EFI_SUCCESS);
    kvfs = std::make_unique<simtest::MemoryKvfs>();
    kvfs->Install(*board);
  }

  void Store(uint32_t offset, const FlashRec &record) { board->bootFlash->WriteRaw(offset, &record, sizeof(record)); }
  FlashRec Stored(uint32_t offset) const {
    FlashRec record;
    board->bootFlash->Read(offset, &record, sizeof(record));
    return record;
  }
  bool StoredValid(uint32_t offset) const {
    FlashRec record = Stored(offset);
    const uint8_t *bytes = reinterpret_cast<const uint8_t *>(&record);
    bool allZero = true;
    for (size_t i = 2; i < sizeof(record); ++i) allZero = allZero && bytes[i] == 0;
    return !allZero && record.crc == ReferenceRecordCrc(record);
  }
  size_t WriteCount() const { return board->flashAccess->WriteCalls().size(); }
  std::string BootLog() { return kvfs->files.count(kBootLogPath) ? kvfs->files[kBootLogPath] : std::string(); }
  void ClearConsole() { board->consoleUart->Clear(); }

  // Takes the board's flash access protocol out of the database.
  void RemoveFlashAccess() {
    EFI_BOOT_SERVICES *bs = board->core.BootServices();
    UINTN count = 0;
    EFI_HANDLE *handles = nullptr;
    ASSERT_EQ(bs->LocateHandleBuffer(ByProtocol, &gFlashAccessProtocolGuid, nullptr, &count, &handles), EFI_SUCCESS);
    ASSERT_EQ(count, 1u);
    ASSERT_EQ(bs->UninstallProtocolInterface(handles[0], &gFlashAccessProtocolGuid, board->flashAccess->Interface()),
              EFI_SUCCESS);
    bs->FreePool(handles);
  }
  // Puts `flaky` in place of the board's protocol.
  void UseFlakyFlash() {
    flaky = std::make_unique<FlakyFlashAccess>(*board->flashAccess);
    RemoveFlashAccess();
    EFI_HANDLE handle = nullptr;
    ASSERT_EQ(board->core.BootServices()->InstallProtocolInterface(&handle, &gFlashAccessProtocolGuid,
                                                                   EFI_NATIVE_INTERFACE, flaky->Interface()),
              EFI_SUCCESS);
  }

  std::unique_ptr<simtest::MemoryKvfs> kvfs;
  std::unique_ptr<FlakyFlashAccess> flaky;  // in service after UseFlakyFlash
};

}  // namespace rectest
