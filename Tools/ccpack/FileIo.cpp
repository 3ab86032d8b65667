#include "FileIo.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace ccpack {

bool ReadWholeFile(const std::string &path, std::vector<uint8_t> *data, std::string *error) {
  FILE *file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  data->clear();
  uint8_t buffer[1 << 16];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), file)) > 0) data->insert(data->end(), buffer, buffer + n);
  bool failed = std::ferror(file) != 0;
  int savedErrno = errno;
  std::fclose(file);
  if (failed) {
    *error = path + ": " + std::strerror(savedErrno);
    return false;
  }
  return true;
}

bool WriteWholeFile(const std::string &path, const std::vector<uint8_t> &data, std::string *error) {
  FILE *file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), file) == data.size();
  int savedErrno = errno;
  if (std::fclose(file) != 0) ok = false;
  if (!ok) {
    *error = path + ": write failed: " + std::strerror(savedErrno);
    std::remove(path.c_str());
  }
  return ok;
}

}  // namespace ccpack
