// Runs a user tool as a shell command and collects its standard output and
// exit status (standard error is discarded).
#pragma once

#include <string>

namespace simtest {

struct RunResult {
  std::string out;
  int exitCode;  // -1 when the program did not exit normally
};

RunResult RunProgram(const std::string &program, const std::string &args);

}  // namespace simtest
