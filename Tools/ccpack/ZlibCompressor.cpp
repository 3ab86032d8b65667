#include <zlib.h>

#include "Compressors.h"
#include "Progress.h"

namespace ccpack {

namespace {
const uint8_t kZlibLeadByte = 8;  // the board's inflate method looks for it first
const size_t kStep = 1u << 20;
}  // namespace

bool CompressZlib(const std::vector<uint8_t> &in, std::vector<uint8_t> *out, const std::string &label,
                  std::string *error) {
  z_stream stream{};
  if (deflateInit(&stream, Z_BEST_COMPRESSION) != Z_OK) {
    *error = "zlib: deflateInit failed";
    return false;
  }
  out->assign(1, kZlibLeadByte);
  Progress progress("compressing " + label + " (zlib)", in.size());
  size_t fed = 0;
  uint8_t buffer[1 << 16];
  int result = Z_OK;
  while (result != Z_STREAM_END) {
    if (stream.avail_in == 0 && fed < in.size()) {
      size_t piece = in.size() - fed < kStep ? in.size() - fed : kStep;
      stream.next_in = const_cast<Bytef *>(in.data() + fed);
      stream.avail_in = uInt(piece);
      fed += piece;
      progress.Update(fed);
    }
    stream.next_out = buffer;
    stream.avail_out = sizeof(buffer);
    result = deflate(&stream, fed == in.size() ? Z_FINISH : Z_NO_FLUSH);
    if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
      deflateEnd(&stream);
      *error = "zlib: deflate failed";
      return false;
    }
    out->insert(out->end(), buffer, buffer + (sizeof(buffer) - stream.avail_out));
  }
  deflateEnd(&stream);
  return true;
}

}  // namespace ccpack
