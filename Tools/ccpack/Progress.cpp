#include "Progress.h"

#include <unistd.h>

#include <cstdio>

namespace ccpack {

namespace {
const uint64_t kShowFrom = 4u << 20;  // members from 4 MiB on
}

Progress::Progress(const std::string &what, uint64_t total)
    : what_(what), total_(total), shown_(total >= kShowFrom), terminal_(isatty(STDERR_FILENO) != 0) {}

Progress::~Progress() {
  if (shown_ && lastPercent_ >= 0 && terminal_) std::fputc('\n', stderr);
}

void Progress::Update(uint64_t done) {
  if (!shown_ || total_ == 0) return;
  int percent = int(done * 100 / total_);
  // Every percent on a terminal, every 25 % into a log.
  int step = terminal_ ? 1 : 25;
  if (percent / step == lastPercent_ / step && lastPercent_ >= 0) return;
  lastPercent_ = percent;
  std::fprintf(stderr, terminal_ ? "\rccpack: %s %3d%%" : "ccpack: %s %d%%\n", what_.c_str(), percent);
  std::fflush(stderr);
}

}  // namespace ccpack
