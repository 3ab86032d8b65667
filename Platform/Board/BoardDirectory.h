// Board directories: where one board keeps its persistent state.
#pragma once

#include <string>

#include "Board/BoardSettings.h"

namespace sim {

std::string BoardFilePath(const std::string &directory, const char *file);

// Lays out a fresh board: the directory (created if needed) must not hold a
// board yet. The flash image is created erased on first power-on.
bool CreateBoardDirectory(const std::string &directory, const BoardSettings &settings, std::string *error);

// Reads the settings of the board in directory, creating a fresh board there
// when the directory holds none.
bool OpenOrCreateBoardDirectory(const std::string &directory, BoardSettings *settings, std::string *error);

}  // namespace sim
