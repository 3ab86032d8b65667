// Whole-file reads and writes.
#ifndef CCPACK_FILE_IO_H_
#define CCPACK_FILE_IO_H_

#include <cstdint>
#include <string>
#include <vector>

namespace ccpack {

// On failure *error names the file and the reason.
bool ReadWholeFile(const std::string &path, std::vector<uint8_t> *data, std::string *error);
bool WriteWholeFile(const std::string &path, const std::vector<uint8_t> &data, std::string *error);

}  // namespace ccpack

#endif  // CCPACK_FILE_IO_H_
