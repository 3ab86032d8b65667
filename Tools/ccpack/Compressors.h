// Body compressors, each writing the layout the board's decompression
// front end reads:
//   zlib: the byte 8, then a zlib stream (RFC 1950);
//   lzw:  the ".Z" layout: 0x1F 0x9D, flags (0x80 block mode | largest
//         code width), then LZW codes in groups of one code width's bytes;
//   lzma: LZMA "alone": properties byte, dictionary size (LE32), the
//         uncompressed size (LE64, never "unknown"), range-coded data
//         without an end marker.
#ifndef CCPACK_COMPRESSORS_H_
#define CCPACK_COMPRESSORS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace ccpack {

// The value stored in the program header's compression type field; the
// numbers are the board's decompression method numbers.
enum class Compression : uint32_t { kNone = 0, kZlib = 1, kLzw = 2, kLzma = 3 };

const uint32_t kLzwDefaultBits = 16;
const uint32_t kLzwMinBits = 10;
const uint32_t kLzwMaxBits = 16;

const char *CompressionName(uint32_t type);  // "none", "zlib", "lzw", "lzma" or "?"

// label names the member in progress output.
bool CompressZlib(const std::vector<uint8_t> &in, std::vector<uint8_t> *out, const std::string &label,
                  std::string *error);
bool CompressLzma(const std::vector<uint8_t> &in, std::vector<uint8_t> *out, const std::string &label,
                  std::string *error);
// maxBits: largest code width, kLzwMinBits to kLzwMaxBits.
void CompressLzw(const std::vector<uint8_t> &in, uint32_t maxBits, std::vector<uint8_t> *out,
                 const std::string &label);

bool Compress(Compression method, uint32_t lzwBits, const std::vector<uint8_t> &in, std::vector<uint8_t> *out,
              const std::string &label, std::string *error);

}  // namespace ccpack

#endif  // CCPACK_COMPRESSORS_H_
