// Feeds a fuzz entry point a few fixed inputs: empty, short, all-zero and
// all-0xFF buffers of several sizes and pseudo-random bytes, so the entry
// points build and run in every preset, not only under libFuzzer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main() {
  const size_t sizes[] = {0, 1, 4, 352, 0x1824, 0x1824 + 352, 0x2000, 0x10000};
  uint32_t seed = 12345;
  for (size_t size : sizes) {
    for (int fill = 0; fill < 3; ++fill) {
      std::vector<uint8_t> input(size);
      for (uint8_t &b : input) {
        seed = seed * 1103515245u + 12345u;
        b = fill == 0 ? 0x00 : fill == 1 ? 0xFF : uint8_t(seed >> 16);
      }
      LLVMFuzzerTestOneInput(input.data(), input.size());
    }
  }
  std::printf("replayed %zu inputs\n", sizeof(sizes) / sizeof(sizes[0]) * 3);
  return 0;
}
