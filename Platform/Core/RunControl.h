// How a run of firmware ends when it does not simply return: a reset, a
// power cut, the jump to the operating system, or a halt. These never return
// to the firmware; they unwind to the innermost RunGuarded call.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace sim {

enum class RunOutcome { Returned, Reset, OsStarted, Halted, PowerCut };

const char *RunOutcomeName(RunOutcome outcome);

struct RunEnd {
  RunOutcome outcome = RunOutcome::Returned;
  uint32_t resetType = 0;   // for Reset
  uint32_t value = 0;       // entry address for OsStarted, status for Reset
  uint64_t timeNs = 0;      // virtual time at the end
  std::string reason;       // free text for Halted / PowerCut
};

// Runs body. Returns an outcome of Returned when body returns normally, or
// the end that EndRun reported from inside it.
RunEnd RunGuarded(const std::function<void()> &body);

// Ends the current run. Frames between the guard and the caller are skipped
// without unwinding, so callers must not hold host resources on the stack.
[[noreturn]] void EndRun(const RunEnd &end);

bool InsideRunGuard();

}  // namespace sim
