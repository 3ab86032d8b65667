// bootsim's file commands: put, get, ls and rm on a board's "cfcard:" and
// "ofs1:", done by the firmware itself (NandCtl and StorageInit loaded, then
// the file API and the kvfs driver protocol BootAgent uses).
#pragma once

#include <string>
#include <vector>

namespace bootsim {

enum FileExit {
  kFileOk = 0,
  kFileBoardRefused = 1,  // the path is missing, or the firmware reported a failure
  kFileUsage = 64,
  kFileBoardError = 70,   // no board in the directory, or it cannot be read
  kFileLocalError = 74,   // the local file cannot be read or written
};

bool IsFileCommand(const std::string &command);

// args: the positional arguments after the command word (DIR first).
int RunFileCommand(const std::string &command, const std::vector<std::string> &args);

}  // namespace bootsim
