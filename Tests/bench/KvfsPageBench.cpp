// kvfs page layer against the raw chip: writes 8 MiB through
// kvfs_pageWrite as the data blocks of one file and reads them back with
// kvfs_pageRead, on the board's 512 MiB chip with "cfcard:" mounted where
// it lives. Prints, from the chip model's timing counters, kvfs's chip
// time against the time the raw chip needs to program or read the same
// data bytes, the pages programmed per page of payload and the erases per
// MiB. A plain program: the figures come from the virtual chip, not from
// the host's clock.
#include <cstdio>
#include <vector>

#include "Board/Board.h"
#include "Devices/NandChip.h"
#include "NandCtl.h"

#include "Kvfs/KvfsBlockMg.h"
#include "Kvfs/KvfsMount.h"
#include "Kvfs/KvfsPageCache.h"

namespace {

constexpr uint32_t kPayload = 8u << 20;
constexpr uint32_t kFileId = 1;

struct Snapshot {
  sim::NandBusyTime busy;
  sim::NandCounters totals;
};

Snapshot Take(sim::NandChip &chip) { return Snapshot{chip.Busy(), chip.Totals()}; }

uint64_t BusyDelta(const Snapshot &a, const Snapshot &b) { return b.busy.TotalNs() - a.busy.TotalNs(); }

}  // namespace

int main() {
  sim::Board board;
  sim::NandChip &chip = *board.nandChip;
  g_pstNandDevice = nullptr;
  if (NandCtlEntryPoint(board.core.CreateImageHandle("NandCtl"), board.core.SystemTable()) != EFI_SUCCESS) {
    std::printf("NandCtl did not start\n");
    return 1;
  }
  kvfs_ForgetDevices();
  KVFS_DEVICE *dev = nullptr;
  KVFS_MOUNT_REPORT report{};
  Snapshot beforeMount = Take(chip);
  if (kvfs_MountCfcard(&report, &dev) != KVFS_OK) {
    std::printf("mount failed\n");
    return 1;
  }
  Snapshot afterFormat = Take(chip);

  const uint32_t pds = KvfsPds(dev);
  const uint32_t perBlock = KvfsDataPages(dev);
  const uint32_t pages = kPayload / pds;
  std::vector<uint8_t> page(pds);
  for (uint32_t i = 0; i < pds; i++) page[i] = uint8_t(i * 7 + 3);

  Snapshot beforeWrite = Take(chip);
  for (uint32_t n = 0; n < pages; n++) {
    uint32_t ordinal = n / perBlock + 1, pid = n % perBlock;
    page[0] = uint8_t(n);
    if (kvfs_pageWrite(dev, nullptr, page.data(), pds, 0, pid, KVFS_TYPE_DATA, kFileId, ordinal, 0, pid == 0) != pds) {
      std::printf("write of page %u failed\n", n);
      return 1;
    }
  }
  kvfs_FlushAllPageBuf(dev, 0);
  Snapshot afterWrite = Take(chip);

  // The same 8 MiB once more: every block of the file moves to a fresh one
  // and the old one is erased, as in steady use.
  Snapshot beforeOverwrite = Take(chip);
  for (uint32_t n = 0; n < pages; n++) {
    uint32_t ordinal = n / perBlock + 1, pid = n % perBlock;
    page[0] = uint8_t(n);
    if (kvfs_pageWrite(dev, nullptr, page.data(), pds, 0, pid, KVFS_TYPE_DATA, kFileId, ordinal, 0, 0) != pds) {
      std::printf("overwrite of page %u failed\n", n);
      return 1;
    }
  }
  kvfs_FlushAllPageBuf(dev, 0);
  Snapshot afterOverwrite = Take(chip);

  kvfs_BufSetAllEmpty(dev);
  kvfs_ExpireAllBlockInfo(dev);
  std::vector<uint8_t> in(pds);
  Snapshot beforeRead = Take(chip);
  for (uint32_t n = 0; n < pages; n++) {
    uint32_t ordinal = n / perBlock + 1, pid = n % perBlock;
    KVFS_BLOCK_NODE *node = kvfs_FindNode(dev, KVFS_TYPE_DATA, kFileId, ordinal);
    if (node == nullptr || kvfs_pageRead(dev, in.data(), pds, 0, KVFS_TYPE_DATA, pid, node) != pds ||
        in[0] != uint8_t(n)) {
      std::printf("read of page %u failed\n", n);
      return 1;
    }
  }
  Snapshot afterRead = Take(chip);

  const sim::NandTiming &t = chip.Timing();
  const double rawWrite = double(pages) * double(t.pageProgramNs + uint64_t(pds) * t.transferNsPerByte);
  const double rawRead = double(pages) * double(t.pageReadNs + uint64_t(pds) * t.transferNsPerByte);
  const double kvfsWrite = double(BusyDelta(beforeWrite, afterWrite));
  const double kvfsRead = double(BusyDelta(beforeRead, afterRead));
  const uint64_t programs = afterWrite.totals.programs - beforeWrite.totals.programs;
  const uint64_t erases = afterWrite.totals.erases - beforeWrite.totals.erases;
  const uint64_t readsPerPage100 = (afterRead.totals.reads - beforeRead.totals.reads) * 100 / pages;

  std::printf("kvfs page layer, %u MiB in %u pages of %u bytes on a %u-block \"cfcard:\"\n", kPayload >> 20, pages,
              pds, dev->ulNodeCount);
  std::printf("mount (blank chip, format): %.1f ms chip time, %u blocks erased\n",
              double(BusyDelta(beforeMount, afterFormat)) / 1e6, report.ulErasedBlocks);
  std::printf("write: kvfs %.1f ms, raw chip %.1f ms, speed ratio %.3f (aim >= 0.75)\n", kvfsWrite / 1e6,
              rawWrite / 1e6, rawWrite / kvfsWrite);
  std::printf("read:  kvfs %.1f ms, raw chip %.1f ms, speed ratio %.3f (aim >= 0.90)\n", kvfsRead / 1e6,
              rawRead / 1e6, rawRead / kvfsRead);
  std::printf("pages programmed per page of payload: %.4f\n", double(programs) / double(pages));
  std::printf("erases per MiB written: %.2f\n", double(erases) / double(kPayload >> 20));
  const double kvfsOverwrite = double(BusyDelta(beforeOverwrite, afterOverwrite));
  std::printf("overwrite: kvfs %.1f ms, raw chip %.1f ms, speed ratio %.3f (aim >= 0.75)\n", kvfsOverwrite / 1e6,
              rawWrite / 1e6, rawWrite / kvfsOverwrite);
  std::printf("overwrite: pages programmed per page of payload %.4f, erases per MiB %.2f\n",
              double(afterOverwrite.totals.programs - beforeOverwrite.totals.programs) / double(pages),
              double(afterOverwrite.totals.erases - beforeOverwrite.totals.erases) / double(kPayload >> 20));
  std::printf("chip page loads per page read: %llu.%02llu\n", (unsigned long long)(readsPerPage100 / 100),
              (unsigned long long)(readsPerPage100 % 100));
  kvfs_Unmount(dev);
  return 0;
}
