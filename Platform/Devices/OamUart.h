// The OAM serial port at 0x20002000: a 16550-compatible UART with byte
// registers on a 4-byte stride and a vendor status register at 0x7C. The
// line ends in a LoopbackPlug (or nothing). Transmission is instantaneous:
// the transmitter always reads empty and an echoed character is in the
// receive FIFO as soon as the write that sent it completes.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "Core/VirtualClock.h"
#include "Devices/LoopbackPlug.h"
#include "Mmio/MmioBus.h"

namespace sim {

constexpr uint32_t kOamUartBase = 0x20002000;
constexpr uint32_t kOamUartSize = 0x1000;

class OamUart : public MmioDevice {
 public:
  // Register offsets.
  static constexpr uint32_t kRbrThrDll = 0x00;
  static constexpr uint32_t kIerDlm = 0x04;
  static constexpr uint32_t kIirFcr = 0x08;
  static constexpr uint32_t kLcr = 0x0C;
  static constexpr uint32_t kMcr = 0x10;
  static constexpr uint32_t kLsr = 0x14;
  static constexpr uint32_t kMsr = 0x18;
  static constexpr uint32_t kScr = 0x1C;
  static constexpr uint32_t kUsr = 0x7C;

  static constexpr uint8_t kLcrDlab = 0x80;
  static constexpr uint8_t kLsrDataReady = 0x01;
  static constexpr uint8_t kLsrOverrun = 0x02;
  static constexpr uint8_t kLsrThrEmpty = 0x20;
  static constexpr uint8_t kLsrTxEmpty = 0x40;
  static constexpr uint8_t kUsrTxFifoNotFull = 0x02;
  static constexpr uint8_t kUsrTxFifoEmpty = 0x04;
  static constexpr uint8_t kUsrRxFifoNotEmpty = 0x08;
  static constexpr uint8_t kUsrRxFifoFull = 0x10;

  // Receive FIFO depth with FIFOs enabled; without, one holding register.
  static constexpr unsigned kFifoDepth = 64;

  explicit OamUart(VirtualClock &clock) : clock_(clock) {}

  uint32_t Read(uint32_t offset, unsigned width) override;
  void Write(uint32_t offset, unsigned width, uint32_t value) override;

  LoopbackPlug &Plug() { return plug_; }

  // Settings as the firmware left them.
  uint16_t Divisor() const { return uint16_t(dll_ | (dlm_ << 8)); }
  uint8_t LineControl() const { return lcr_; }
  uint8_t InterruptEnable() const { return ier_; }
  uint8_t LastFifoControl() const { return fcr_; }
  bool FifosEnabled() const { return (fcr_ & 0x01) != 0; }
  uint8_t ModemControl() const { return mcr_; }

  // Every character written to the transmitter.
  const std::string &Transmitted() const { return transmitted_; }

  // Characters that arrive now from the line, as if sent by the far end. A
  // FIFO reset (FCR bit 1) discards them like any received data.
  void QueueReceive(const std::string &bytes);
  size_t ReceiveFifoLevel() const { return rxFifo_.size(); }
  // A babbling line: the receiver shows data until count characters of
  // value have been read (after anything already in the FIFO). A FIFO reset
  // does not stop it. 0 silences the line.
  void SetLineNoise(uint64_t count, uint8_t value);
  uint64_t LineNoiseRemaining() const { return noiseRemaining_; }

  // Characters the firmware read from the receiver, and characters lost
  // because the receive FIFO was full.
  uint64_t CharactersRead() const { return charactersRead_; }
  uint64_t Overruns() const { return overruns_; }

 private:
  void Receive(uint8_t ch);
  void Transmit(uint8_t ch);
  uint8_t ReadReceiver();
  bool DataReady() const { return !rxFifo_.empty() || noiseRemaining_ > 0; }
  size_t ReceiveCapacity() const { return FifosEnabled() ? kFifoDepth : 1; }

  VirtualClock &clock_;
  LoopbackPlug plug_;
  uint8_t dll_ = 0, dlm_ = 0, ier_ = 0, fcr_ = 0, lcr_ = 0, mcr_ = 0, scr_ = 0;
  bool overrunPending_ = false;
  std::deque<uint8_t> rxFifo_;
  uint64_t noiseRemaining_ = 0;
  uint8_t noiseValue_ = 0;
  uint64_t charactersRead_ = 0;
  uint64_t overruns_ = 0;
  std::string transmitted_;
};

}  // namespace sim
