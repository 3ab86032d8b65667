// The ccpack commands. Each returns the process exit status.
#ifndef CCPACK_COMMANDS_H_
#define CCPACK_COMMANDS_H_

#include "CommandLine.h"

namespace ccpack {

const int kExitOk = 0;
const int kExitInconsistent = 1;  // info: the package breaks a rule
const int kExitUsage = 2;         // usage errors, unreadable or unwritable files

int RunBuild(const BuildArgs &args);
int RunInfo(const InfoArgs &args);
int RunMakeBios(const MakeBiosArgs &args);
int RunMakeLogic(const MakeLogicArgs &args);

}  // namespace ccpack

#endif  // CCPACK_COMMANDS_H_
