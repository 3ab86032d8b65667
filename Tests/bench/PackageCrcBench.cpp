// CalcCrc16 over a 64 MiB package-sized buffer: the byte loop (reference),
// the sliced loop, and CalcCrc16 as the firmware calls it. Reports MB/s
// (bytes_per_second in decimal megabytes).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "BootupCC/package/PackageCrc.h"

namespace {

constexpr size_t kBufferSize = 64u << 20;

const std::vector<uint8_t> &Buffer() {
  static const std::vector<uint8_t> buffer = [] {
    std::vector<uint8_t> bytes(kBufferSize);
    std::mt19937 random(1);
    for (uint8_t &b : bytes) b = uint8_t(random());
    return bytes;
  }();
  return buffer;
}

template <VOID (*Crc)(CONST VOID *, UINT32, UINT16 *)>
void BM_Crc16(benchmark::State &state) {
  const std::vector<uint8_t> &buffer = Buffer();
  for (auto _ : state) {
    UINT16 crc = 0;
    Crc(buffer.data(), UINT32(buffer.size()), &crc);
    benchmark::DoNotOptimize(crc);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(buffer.size()));
  state.counters["MB"] = benchmark::Counter(double(buffer.size()) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK_TEMPLATE(BM_Crc16, CalcCrc16Bytewise)->Name("CalcCrc16Bytewise/64MiB")->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Crc16, CalcCrc16Sliced)->Name("CalcCrc16Sliced/64MiB")->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Crc16, CalcCrc16)->Name("CalcCrc16/64MiB")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
