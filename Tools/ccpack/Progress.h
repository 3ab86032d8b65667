// Progress of long member work on stderr; quiet for small members so that
// scripted runs stay clean. stdout is never touched.
#ifndef CCPACK_PROGRESS_H_
#define CCPACK_PROGRESS_H_

#include <cstdint>
#include <string>

namespace ccpack {

class Progress {
 public:
  Progress(const std::string &what, uint64_t total);
  ~Progress();
  void Update(uint64_t done);

 private:
  std::string what_;
  uint64_t total_;
  bool shown_;
  bool terminal_;
  int lastPercent_ = -1;
};

}  // namespace ccpack

#endif  // CCPACK_PROGRESS_H_
