// The board's NAND flash controller: 32-bit registers at 0x10000000 and a
// data buffer at 0x12000000, both on the register bus.
//
// Registers (offsets from the base):
//   0x00 mode         0x103 2048-byte steps, 0x107 8192-byte pages in four
//                     sectors, 0x503 after a page-with-spare write,
//                     0x303 + 0x400 x n ECC generation with setting n
//   0x0C command      first command byte in bits 0-7, second in 8-15,
//                     status command in 16-23
//   0x10 address low  column in bits 0-15, row in 16-31 (erase: the row)
//   0x14 address high row >> 16
//   0x18 length       bytes to move between the buffer and the chip
//   0x1C operation    writing starts it: setting | code (codes below)
//   0x20 status       bit 0 done; bits 5-12 the chip's status byte, so bit
//                     5 is the chip's failure bit
//   0x5C ECC engine   write 1: compute the codes of the page in the buffer
//                     into its spare; bit 0 reads 1 when done
//   0x84 sector       1 marks the last sector of an 8192-byte page
//   0x88 ECC result   (extension of this model) of the page read last:
//                     bits 0-7 bit errors corrected (at most 255), bit 16
//                     uncorrectable. Cleared when a read loads a page.
//   0xC0 control      plain storage
//
// Operation codes (low byte): read 0x6F, or 0xEE when the byte address is
// 0x20000000 or more; program 0x7D / 0xFD; erase 0x6D / 0xED; read ID 0x66
// (0x266); reset 0x44; for 8192-byte pages: first sector read 0x6E, further
// sectors 0x02, first sector program 0x70, further 0x10, last 0x1D.
// Every transfer starts at the buffer's first byte. A read with the status
// command (0x703000) is checked and corrected by the ECC; one without it
// (0x3000) moves the raw bytes. A program always stores fresh codes (see
// NandEcc.h). The sector operations continue at the column where the
// previous sector stopped, so four steps of 2048 + 8 bytes move the page
// and its spare in their order on the chip.
//
// Requests the controller cannot carry out (an unknown code, a long-address
// code that does not fit the address, a sector step outside a sequence, a
// length beyond the buffer) are refused, reported as a chip failure and
// listed in ProtocolErrors().
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Devices/NandChip.h"
#include "Devices/NandEcc.h"
#include "Mmio/MmioBus.h"

namespace sim {

constexpr uint32_t kNandCtlBase = 0x10000000u;
constexpr uint32_t kNandCtlSize = 0x1000u;
constexpr uint32_t kNandBufferBase = 0x12000000u;
constexpr uint32_t kNandBufferSize = 0x4000u;

enum NandCtlRegister : uint32_t {
  kNandRegMode = 0x00,
  kNandRegCommand = 0x0C,
  kNandRegAddressLow = 0x10,
  kNandRegAddressHigh = 0x14,
  kNandRegLength = 0x18,
  kNandRegOperation = 0x1C,
  kNandRegStatus = 0x20,
  kNandRegEccEngine = 0x5C,
  kNandRegSector = 0x84,
  kNandRegEccResult = 0x88,
  kNandRegControl = 0xC0,
};

constexpr uint32_t kNandEccResultUncorrectable = 1u << 16;
constexpr uint32_t kNandLongAddress = 0x20000000u;

// One started operation, as the controller saw its registers.
struct NandCtlOperation {
  uint32_t operation;
  uint32_t mode;
  uint32_t command;
  uint32_t addressLow;
  uint32_t addressHigh;
  uint32_t length;
  uint32_t sector;
};

class NandController : public MmioDevice {
 public:
  explicit NandController(NandChip &chip);

  // The register bank; Buffer() is the device to map at kNandBufferBase.
  uint32_t Read(uint32_t offset, unsigned width) override;
  void Write(uint32_t offset, unsigned width, uint32_t value) override;
  MmioDevice *Buffer() { return &buffer_; }
  void Map(MmioBus &bus);

  NandChip &Chip() { return chip_; }
  uint8_t *BufferBytes() { return buffer_.bytes.data(); }

  // Operations started, kept while tracing is on (tests).
  void SetTracing(bool on) { tracing_ = on; }
  const std::vector<NandCtlOperation> &Trace() const { return trace_; }
  void ClearTrace() { trace_.clear(); }
  const std::vector<std::string> &ProtocolErrors() const { return protocolErrors_; }

 private:
  class BufferDevice : public MmioDevice {
   public:
    uint32_t Read(uint32_t offset, unsigned width) override;
    void Write(uint32_t offset, unsigned width, uint32_t value) override;
    std::vector<uint8_t> bytes = std::vector<uint8_t>(kNandBufferSize, 0xFF);
  };

  void Start(uint32_t value);
  void Finish(uint8_t chipStatus);
  void Refuse(const char *why);
  bool CheckLongCode(uint32_t code, uint64_t byteAddress);
  uint32_t Row() const { return (addressLow_ >> 16) | (addressHigh_ << 16); }
  uint32_t Column() const { return addressLow_ & 0xFFFF; }
  bool FitsBuffer(uint32_t column);

  void ReadId();
  void LoadPage(uint32_t row, bool checkEcc);
  void MoveOut(uint32_t column);
  void BeginProgram(uint32_t row, uint32_t column);
  void MoveIn(uint32_t column);
  void ProgramRegister();
  void Erase(uint32_t code);
  void RunEccEngine();

  NandChip &chip_;
  NandEccLayout layout_;
  BufferDevice buffer_;

  uint32_t mode_ = 0, command_ = 0, addressLow_ = 0, addressHigh_ = 0, length_ = 0, operation_ = 0;
  uint32_t status_ = 1, eccEngine_ = 0, sector_ = 0, eccResult_ = 0, control_ = 0;

  // The chip's page register and the sequence state of sector operations.
  std::vector<uint8_t> pageRegister_;
  std::vector<uint32_t> flippedBits_;
  uint32_t registerRow_ = 0;
  bool registerLoaded_ = false;    // a read sequence is under way
  bool registerProgram_ = false;   // a program sequence is under way
  bool eccChecked_ = false;        // the loaded page is ECC checked
  bool touchedData_ = false, touchedSpare_ = false;
  bool reportedData_ = false, reportedSpare_ = false;
  NandEccOutcome dataOutcome_, spareOutcome_;
  uint32_t nextColumn_ = 0;

  bool tracing_ = false;
  std::vector<NandCtlOperation> trace_;
  std::vector<std::string> protocolErrors_;
};

}  // namespace sim
