// Identity and geometry of a NAND chip: the four bytes it answers to the
// read-ID command and the page, spare and block layout behind them.
#pragma once

#include <cstdint>
#include <string>

namespace sim {

struct NandGeometry {
  uint8_t id[4] = {0, 0, 0, 0};  // maker, device code, byte 2, byte 3
  uint32_t pageSize = 0;         // data bytes per page
  uint32_t spareSize = 0;        // spare bytes per page
  uint32_t pagesPerBlock = 0;
  uint32_t blocks = 0;

  uint8_t DeviceCode() const { return id[1]; }
  uint32_t RawPageSize() const { return pageSize + spareSize; }
  uint32_t BlockSize() const { return pageSize * pagesPerBlock; }
  uint32_t PageCount() const { return pagesPerBlock * blocks; }
  uint64_t ChipBytes() const { return uint64_t(BlockSize()) * blocks; }

  // Empty when the geometry can be modelled, else why not.
  std::string Problem() const;

  // The chips the board can carry, by device code: 0xDC (512 MiB, 2048 + 64
  // byte pages, 128 KiB blocks), 0xD5 (2 GiB, 8192 + 32, 1 MiB blocks) and
  // chips whose geometry the driver decodes from ID byte 3: 0xF2 (64 MiB),
  // 0xF1 (128 MiB), 0xDA (256 MiB), 0xD3 (1 GiB), all 2048 + 64 / 128 KiB.
  static bool IsKnownDeviceCode(uint8_t code);
  // Throws std::invalid_argument for a code the model does not know.
  static NandGeometry ForDeviceCode(uint8_t code);

  // A chip made for tests: any layout, answering with device code `code`.
  static NandGeometry Custom(uint8_t code, uint32_t pageSize, uint32_t spareSize, uint32_t pagesPerBlock,
                             uint32_t blocks);
};

// ID byte 3 for a 2048 + 64 byte page and 128 KiB block chip on an 8-bit
// bus: page size code 1, 16 spare bytes per 512, block size code 1.
constexpr uint8_t kNandIdByte3Large = 0x15;
constexpr uint8_t kNandMakerCode = 0xC2;

}  // namespace sim
