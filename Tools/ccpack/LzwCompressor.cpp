// LZW in the classic ".Z" stream form. Codes are packed least significant
// bit first into groups of exactly code-width bytes (eight codes per group);
// when the code width grows or the table is cleared, the current group is
// padded out to its full size, because the reader then skips the rest of it.
// The reader keeps its table one entry behind the writer, so the width
// grows right after the code written when the next free code first exceeds
// the largest code of the current width.
#include <algorithm>
#include <cstring>
#include <vector>

#include "Compressors.h"
#include "Progress.h"

namespace ccpack {

namespace {

const uint8_t kMagic0 = 0x1F;
const uint8_t kMagic1 = 0x9D;
const uint8_t kBlockModeFlag = 0x80;
const uint32_t kInitialBits = 9;
const uint32_t kClearCode = 256;
const uint32_t kFirstFreeCode = 257;  // block mode

// Dictionary of (prefix code, next byte) -> code, open addressing.
class LzwDictionary {
 public:
  explicit LzwDictionary(uint32_t maxBits) : mask_((1u << (maxBits + 2)) - 1), keys_(mask_ + 1), codes_(mask_ + 1) {}

  void Clear() { std::fill(keys_.begin(), keys_.end(), 0); }

  // Returns the slot for the key; *found tells whether it holds the key.
  uint32_t Find(uint32_t key, bool *found) const {
    uint32_t slot = (key * 2654435761u) & mask_;
    while (keys_[slot] != 0 && keys_[slot] != key) slot = (slot + 1) & mask_;
    *found = keys_[slot] == key;
    return slot;
  }
  uint32_t CodeAt(uint32_t slot) const { return codes_[slot]; }
  void Put(uint32_t slot, uint32_t key, uint32_t code) {
    keys_[slot] = key;
    codes_[slot] = uint16_t(code);
  }

 private:
  uint32_t mask_;
  std::vector<uint32_t> keys_;  // 0 = empty; keys are stored plus one
  std::vector<uint16_t> codes_;
};

class LzwCodeWriter {
 public:
  LzwCodeWriter(uint32_t maxBits, std::vector<uint8_t> *out)
      : out_(out), maxBits_(maxBits), maxMaxCode_(1u << maxBits) {
    std::memset(group_, 0, sizeof(group_));
  }

  // nextFree is the writer's next free code at the time of this code.
  void Write(uint32_t code, uint32_t nextFree, bool clearing) {
    for (uint32_t bit = 0; bit < bits_; bit++) {
      if ((code >> bit) & 1u) group_[(offset_ + bit) / 8] |= uint8_t(1u << ((offset_ + bit) % 8));
    }
    offset_ += bits_;
    if (offset_ == bits_ * 8) FlushGroup(bits_);
    if (nextFree > maxCode_ || clearing) {
      if (offset_ > 0) FlushGroup(bits_);
      if (clearing) {
        bits_ = kInitialBits;
        maxCode_ = (1u << bits_) - 1;
      } else {
        bits_++;
        maxCode_ = bits_ == maxBits_ ? maxMaxCode_ : (1u << bits_) - 1;
      }
    }
  }

  void Finish() {
    if (offset_ > 0) FlushGroup((offset_ + 7) / 8);
  }

 private:
  void FlushGroup(uint32_t bytes) {
    out_->insert(out_->end(), group_, group_ + bytes);
    std::memset(group_, 0, sizeof(group_));
    offset_ = 0;
  }

  std::vector<uint8_t> *out_;
  uint32_t maxBits_;
  uint32_t maxMaxCode_;
  uint32_t bits_ = kInitialBits;
  uint32_t maxCode_ = (1u << kInitialBits) - 1;
  uint32_t offset_ = 0;  // bits used in the group
  uint8_t group_[kLzwMaxBits];
};

}  // namespace

void CompressLzw(const std::vector<uint8_t> &in, uint32_t maxBits, std::vector<uint8_t> *out,
                 const std::string &label) {
  out->assign({kMagic0, kMagic1, uint8_t(kBlockModeFlag | maxBits)});
  if (in.empty()) return;

  const uint32_t maxMaxCode = 1u << maxBits;
  LzwDictionary dictionary(maxBits);
  LzwCodeWriter writer(maxBits, out);
  Progress progress("compressing " + label + " (lzw)", in.size());

  uint32_t nextFree = kFirstFreeCode;
  uint32_t current = in[0];
  for (size_t i = 1; i < in.size(); i++) {
    if ((i & 0xFFFFF) == 0) progress.Update(i);
    uint8_t c = in[i];
    uint32_t key = ((current << 8) | c) + 1;
    bool found;
    uint32_t slot = dictionary.Find(key, &found);
    if (found) {
      current = dictionary.CodeAt(slot);
      continue;
    }
    writer.Write(current, nextFree, false);
    current = c;
    if (nextFree < maxMaxCode) {
      dictionary.Put(slot, key, nextFree++);
    } else {
      // Table full: start afresh rather than go on with a stale table.
      dictionary.Clear();
      nextFree = kFirstFreeCode;
      writer.Write(kClearCode, nextFree, true);
    }
  }
  writer.Write(current, nextFree, false);
  writer.Finish();
  progress.Update(in.size());
}

}  // namespace ccpack
