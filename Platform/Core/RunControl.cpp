#include "Core/RunControl.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

namespace sim {
namespace {

struct Guard {
  std::jmp_buf jump;
  RunEnd end;
  Guard *outer;
};
Guard *gInnermost = nullptr;

}  // namespace

const char *RunOutcomeName(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::Returned: return "returned";
    case RunOutcome::Reset: return "reset";
    case RunOutcome::OsStarted: return "os-started";
    case RunOutcome::Halted: return "halted";
    case RunOutcome::PowerCut: return "power-cut";
  }
  return "unknown";
}

RunEnd RunGuarded(const std::function<void()> &body) {
  Guard guard;
  guard.outer = gInnermost;
  gInnermost = &guard;
  if (setjmp(guard.jump) == 0) {
    body();
    gInnermost = guard.outer;
    return RunEnd{};
  }
  gInnermost = guard.outer;
  return guard.end;
}

void EndRun(const RunEnd &end) {
  if (gInnermost == nullptr) {
    std::fprintf(stderr, "sim: run ended (%s) outside RunGuarded\n", RunOutcomeName(end.outcome));
    std::abort();
  }
  gInnermost->end = end;
  std::longjmp(gInnermost->jump, 1);
}

bool InsideRunGuard() { return gInnermost != nullptr; }

}  // namespace sim
