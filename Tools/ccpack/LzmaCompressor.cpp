#include <lzma.h>

#include "ByteOrder.h"
#include "Compressors.h"
#include "Progress.h"

namespace ccpack {

namespace {
const size_t kLzmaHeaderSize = 13;
const uint32_t kMinDictionary = 1u << 12;
const size_t kStep = 1u << 20;
}  // namespace

bool CompressLzma(const std::vector<uint8_t> &in, std::vector<uint8_t> *out, const std::string &label,
                  std::string *error) {
  lzma_options_lzma options;
  if (lzma_lzma_preset(&options, 6)) {
    *error = "lzma: preset not supported";
    return false;
  }
  // The board decodes straight into the destination and ignores the
  // dictionary size; keep it no larger than the data so that other readers
  // of the body need no more memory than necessary.
  uint32_t dictionary = kMinDictionary;
  while (dictionary < in.size() && dictionary < options.dict_size) dictionary <<= 1;
  options.dict_size = dictionary;
  // The size is stored in the header, so no end marker is written
  // (LZMA1EXT without the end-marker flag).
  options.ext_flags = 0;
  lzma_set_ext_size(options, in.size());
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  lzma_stream stream = LZMA_STREAM_INIT;
  if (lzma_raw_encoder(&stream, filters) != LZMA_OK) {
    *error = "lzma: encoder set-up failed";
    return false;
  }

  out->assign(kLzmaHeaderSize, 0);
  (*out)[0] = uint8_t((options.pb * 5 + options.lp) * 9 + options.lc);
  PutLe32(out->data() + 1, options.dict_size);
  PutLe64(out->data() + 5, in.size());

  Progress progress("compressing " + label + " (lzma)", in.size());
  size_t fed = 0;
  uint8_t buffer[1 << 16];
  lzma_ret result = LZMA_OK;
  while (result != LZMA_STREAM_END) {
    if (stream.avail_in == 0 && fed < in.size()) {
      size_t piece = in.size() - fed < kStep ? in.size() - fed : kStep;
      stream.next_in = in.data() + fed;
      stream.avail_in = piece;
      fed += piece;
      progress.Update(fed);
    }
    stream.next_out = buffer;
    stream.avail_out = sizeof(buffer);
    result = lzma_code(&stream, fed == in.size() ? LZMA_FINISH : LZMA_RUN);
    if (result != LZMA_OK && result != LZMA_STREAM_END) {
      lzma_end(&stream);
      *error = "lzma: compression failed";
      return false;
    }
    out->insert(out->end(), buffer, buffer + (sizeof(buffer) - stream.avail_out));
  }
  lzma_end(&stream);
  return true;
}

}  // namespace ccpack
