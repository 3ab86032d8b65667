// How long a NAND chip is busy: datasheet-like figures of a large-page SLC
// part on an 8-bit bus, and the sums of time spent so far.
#pragma once

#include <cstdint>

namespace sim {

struct NandTiming {
  uint64_t pageReadNs = 25000;        // array to page register (tR)
  uint64_t pageProgramNs = 250000;    // page register to array (tPROG)
  uint64_t blockEraseNs = 2000000;    // tBERS
  uint64_t transferNsPerByte = 25;    // one bus cycle per byte (tRC/tWC)
  uint64_t resetNs = 5000;
};

struct NandBusyTime {
  uint64_t readNs = 0;
  uint64_t programNs = 0;
  uint64_t eraseNs = 0;
  uint64_t transferNs = 0;
  uint64_t otherNs = 0;  // reset, read ID
  uint64_t TotalNs() const { return readNs + programNs + eraseNs + transferNs + otherNs; }
};

}  // namespace sim
