// kvfs through its driver protocol against the raw chip: a 16 MiB file
// written and read back with Create/Write/Open/Read on "cfcard:", and the
// boot-log pattern (BiosLog 1000 times: open, seek to the end, append one
// short entry, close). Prints, from the chip model's timing counters, the
// chip time kvfs needs against the time the raw chip needs for the same
// data bytes, and the pages programmed per page of payload. A plain
// program: the figures come from the virtual chip, not from the host's
// clock.
#include <cstdio>
#include <string>
#include <vector>

#include "Board/Board.h"
#include "Devices/NandChip.h"
#include "NandCtl.h"

#include "BootupCC/boot/StartupConfig.h"
#include "BootupCC/records/BootLog.h"
#include "Kvfs/KvfsDriverProtocol.h"

#include <Library/UefiBootServicesTableLib.h>

namespace {

constexpr uint32_t kFileBytes = 16u << 20;
constexpr uint32_t kChunk = 64u << 10;  // bytes per Write/Read call
constexpr uint32_t kLogEntries = 1000;
const char kFilePath[] = "cfcard:/bench16m.bin";
const char kLogPath[] = "cfcard:/bioslog.log";

struct Snapshot {
  sim::NandBusyTime busy;
  sim::NandCounters totals;
};

Snapshot Take(sim::NandChip &chip) { return Snapshot{chip.Busy(), chip.Totals()}; }

double BusyNs(const Snapshot &a, const Snapshot &b) { return double(b.busy.TotalNs() - a.busy.TotalNs()); }

int32_t FileSize(KVFS_DRIVER_PROTOCOL *kvfs, const char *path) {
  INT32 fd = kvfs->Open(kvfs, path, FS_O_RDONLY, 0);
  if (fd < 0) return -1;
  INT32 size = kvfs->Seek(kvfs, fd, 0, FS_SEEK_END);
  kvfs->Close(kvfs, fd);
  return size;
}

}  // namespace

int main() {
  sim::Board board;
  sim::NandChip &chip = *board.nandChip;
  g_pstNandDevice = nullptr;
  if (NandCtlEntryPoint(board.core.CreateImageHandle("NandCtl"), board.core.SystemTable()) != EFI_SUCCESS) {
    std::printf("NandCtl did not start\n");
    return 1;
  }
  if (KvfsStartCfcard() != EFI_SUCCESS) {
    std::printf("cfcard: did not start\n");
    return 1;
  }
  KVFS_DRIVER_PROTOCOL *kvfs = nullptr;
  if (EFI_ERROR(gBS->LocateProtocol(&gKvfsDriverProtocolGuid, nullptr, (VOID **)&kvfs))) {
    std::printf("kvfs driver protocol not installed\n");
    return 1;
  }

  const sim::NandTiming &t = chip.Timing();
  const uint32_t pageSize = chip.Geometry().pageSize;
  const double payloadPages = double(kFileBytes) / double(pageSize);
  const double rawWrite = payloadPages * double(t.pageProgramNs + uint64_t(pageSize) * t.transferNsPerByte);
  const double rawRead = payloadPages * double(t.pageReadNs + uint64_t(pageSize) * t.transferNsPerByte);

  std::vector<uint8_t> chunk(kChunk);
  Snapshot beforeWrite = Take(chip);
  INT32 fd = kvfs->Create(kvfs, kFilePath, FS_O_RDWR, 0);
  if (fd < 0) {
    std::printf("create failed\n");
    return 1;
  }
  for (uint32_t done = 0; done < kFileBytes; done += kChunk) {
    for (uint32_t i = 0; i < kChunk; i++) chunk[i] = uint8_t((done + i) * 7 + (done >> 16));
    if (kvfs->Write(kvfs, fd, chunk.data(), kChunk) != INT32(kChunk)) {
      std::printf("write at %u failed\n", done);
      return 1;
    }
  }
  if (kvfs->Close(kvfs, fd) != 0) {
    std::printf("close after write failed\n");
    return 1;
  }
  Snapshot afterWrite = Take(chip);

  // A restart of the card first, so the read comes from the chip rather
  // than from pages still cached since the write.
  KvfsStopCfcard();
  if (KvfsStartCfcard() != EFI_SUCCESS ||
      EFI_ERROR(gBS->LocateProtocol(&gKvfsDriverProtocolGuid, nullptr, (VOID **)&kvfs))) {
    std::printf("restart of cfcard: failed\n");
    return 1;
  }
  Snapshot beforeRead = Take(chip);
  fd = kvfs->Open(kvfs, kFilePath, FS_O_RDONLY, 0);
  if (fd < 0) {
    std::printf("open for read failed\n");
    return 1;
  }
  for (uint32_t done = 0; done < kFileBytes; done += kChunk) {
    if (kvfs->Read(kvfs, fd, chunk.data(), kChunk) != INT32(kChunk)) {
      std::printf("read at %u failed\n", done);
      return 1;
    }
    for (uint32_t i = 0; i < kChunk; i++) {
      if (chunk[i] != uint8_t((done + i) * 7 + (done >> 16))) {
        std::printf("read back differs at %u\n", done + i);
        return 1;
      }
    }
  }
  kvfs->Close(kvfs, fd);
  Snapshot afterRead = Take(chip);
  kvfs->Delete(kvfs, kFilePath);

  gBiosLogMode = 2;
  Snapshot beforeLog = Take(chip);
  for (uint32_t n = 0; n < kLogEntries; n++) {
    BiosLog(LOG_SOURCE_BIOS_FUNC, 100 + n, "boot step %d, a short line as the %a holds\n", n,
            "boot log");
  }
  Snapshot afterLog = Take(chip);
  const int32_t logBytes = FileSize(kvfs, kLogPath);

  const double kvfsWrite = BusyNs(beforeWrite, afterWrite);
  const double kvfsRead = BusyNs(beforeRead, afterRead);
  std::printf("kvfs driver protocol, a %u MiB file in %u-byte calls, chip pages of %u bytes\n", kFileBytes >> 20,
              kChunk, pageSize);
  std::printf("write: kvfs %.1f ms, raw chip %.1f ms, speed ratio %.3f, %.2f MiB/s\n", kvfsWrite / 1e6,
              rawWrite / 1e6, rawWrite / kvfsWrite, double(kFileBytes >> 20) / (kvfsWrite / 1e9));
  std::printf("read:  kvfs %.1f ms, raw chip %.1f ms, speed ratio %.3f, %.2f MiB/s\n", kvfsRead / 1e6, rawRead / 1e6,
              rawRead / kvfsRead, double(kFileBytes >> 20) / (kvfsRead / 1e9));
  std::printf("write: pages programmed per page of payload %.4f, erases %llu\n",
              double(afterWrite.totals.programs - beforeWrite.totals.programs) / payloadPages,
              (unsigned long long)(afterWrite.totals.erases - beforeWrite.totals.erases));
  std::printf("read:  chip page loads per page of payload %.4f\n",
              double(afterRead.totals.reads - beforeRead.totals.reads) / payloadPages);

  const uint64_t logPrograms = afterLog.totals.programs - beforeLog.totals.programs;
  const double logPayloadPages = double(logBytes) / double(pageSize);
  std::printf("boot log: %u BiosLog calls, %d bytes (%.1f per entry), %llu pages programmed, %llu erases, "
              "%.1f ms chip time\n",
              kLogEntries, logBytes, double(logBytes) / kLogEntries, (unsigned long long)logPrograms,
              (unsigned long long)(afterLog.totals.erases - beforeLog.totals.erases), BusyNs(beforeLog, afterLog) / 1e6);
  std::printf("boot log: pages programmed per page of payload %.2f, per entry %.2f\n",
              double(logPrograms) / logPayloadPages, double(logPrograms) / kLogEntries);
  KvfsStopCfcard();
  return 0;
}
