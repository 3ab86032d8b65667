#include "Devices/OamUart.h"

namespace sim {

uint32_t OamUart::Read(uint32_t offset, unsigned width) {
  bool dlab = (lcr_ & kLcrDlab) != 0;
  switch (offset) {
    case kRbrThrDll: return dlab ? dll_ : ReadReceiver();
    case kIerDlm: return dlab ? dlm_ : ier_;
    case kIirFcr: return FifosEnabled() ? 0xC1 : 0x01;  // no interrupt pending
    case kLcr: return lcr_;
    case kMcr: return mcr_;
    case kLsr: {
      uint8_t lsr = kLsrThrEmpty | kLsrTxEmpty;
      if (DataReady()) lsr |= kLsrDataReady;
      if (overrunPending_) lsr |= kLsrOverrun;
      overrunPending_ = false;  // cleared by reading
      return lsr;
    }
    case kMsr: return 0;
    case kScr: return scr_;
    case kUsr: {
      uint8_t usr = kUsrTxFifoNotFull | kUsrTxFifoEmpty;
      if (DataReady()) usr |= kUsrRxFifoNotEmpty;
      if (rxFifo_.size() >= ReceiveCapacity()) usr |= kUsrRxFifoFull;
      return usr;
    }
    default: return 0;
  }
}

void OamUart::Write(uint32_t offset, unsigned width, uint32_t value) {
  uint8_t byte = uint8_t(value);
  bool dlab = (lcr_ & kLcrDlab) != 0;
  switch (offset) {
    case kRbrThrDll:
      if (dlab) {
        dll_ = byte;
      } else {
        Transmit(byte);
      }
      break;
    case kIerDlm:
      if (dlab) {
        dlm_ = byte;
      } else {
        ier_ = byte & 0x0F;
      }
      break;
    case kIirFcr:
      fcr_ = byte;
      if ((byte & 0x02) != 0) rxFifo_.clear();  // receive FIFO reset
      break;
    case kLcr: lcr_ = byte; break;
    case kMcr: mcr_ = byte; break;
    case kScr: scr_ = byte; break;
    default: break;  // read-only or unused
  }
}

void OamUart::Transmit(uint8_t ch) {
  transmitted_.push_back(char(ch));
  if (plug_.Transmit(ch, clock_.NowNs())) Receive(ch);
}

void OamUart::Receive(uint8_t ch) {
  if (rxFifo_.size() >= ReceiveCapacity()) {
    ++overruns_;
    overrunPending_ = true;
    return;
  }
  rxFifo_.push_back(ch);
}

uint8_t OamUart::ReadReceiver() {
  if (!rxFifo_.empty()) {
    uint8_t ch = rxFifo_.front();
    rxFifo_.pop_front();
    ++charactersRead_;
    return ch;
  }
  if (noiseRemaining_ > 0) {
    --noiseRemaining_;
    ++charactersRead_;
    return noiseValue_;
  }
  return 0;
}

void OamUart::QueueReceive(const std::string &bytes) {
  for (char c : bytes) Receive(uint8_t(c));
}

void OamUart::SetLineNoise(uint64_t count, uint8_t value) {
  noiseRemaining_ = count;
  noiseValue_ = value;
}

}  // namespace sim
