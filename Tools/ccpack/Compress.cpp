#include "Compressors.h"

namespace ccpack {

const char *CompressionName(uint32_t type) {
  switch (type) {
    case uint32_t(Compression::kNone): return "none";
    case uint32_t(Compression::kZlib): return "zlib";
    case uint32_t(Compression::kLzw): return "lzw";
    case uint32_t(Compression::kLzma): return "lzma";
    default: return "?";
  }
}

bool Compress(Compression method, uint32_t lzwBits, const std::vector<uint8_t> &in, std::vector<uint8_t> *out,
              const std::string &label, std::string *error) {
  switch (method) {
    case Compression::kNone:
      *out = in;
      return true;
    case Compression::kZlib:
      return CompressZlib(in, out, label, error);
    case Compression::kLzma:
      return CompressLzma(in, out, label, error);
    case Compression::kLzw:
      CompressLzw(in, lzwBits, out, label);
      return true;
  }
  *error = "unknown compression method";
  return false;
}

}  // namespace ccpack
