#include "Support/RunProgram.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>

namespace simtest {

RunResult RunProgram(const std::string &program, const std::string &args) {
  std::string command = program + " " + args + " 2>/dev/null";
  FILE *pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {"", -1};
  std::string out;
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) out.append(buffer.data(), n);
  int status = pclose(pipe);
  return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

}  // namespace simtest
