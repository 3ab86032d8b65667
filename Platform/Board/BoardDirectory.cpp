#include "Board/BoardDirectory.h"

#include <filesystem>
#include <system_error>

#include "Board/Board.h"

namespace sim {

std::string BoardFilePath(const std::string &directory, const char *file) {
  return (std::filesystem::path(directory) / file).string();
}

bool CreateBoardDirectory(const std::string &directory, const BoardSettings &settings, std::string *error) {
  std::error_code ec;
  std::filesystem::create_directories(directory, ec);
  if (ec) {
    *error = "cannot create board directory " + directory + ": " + ec.message();
    return false;
  }
  std::string settingsPath = BoardFilePath(directory, kBoardSettingsFile);
  if (std::filesystem::exists(settingsPath)) {
    *error = directory + " already holds a board";
    return false;
  }
  return settings.Save(settingsPath, error);
}

bool OpenOrCreateBoardDirectory(const std::string &directory, BoardSettings *settings, std::string *error) {
  std::string settingsPath = BoardFilePath(directory, kBoardSettingsFile);
  if (!std::filesystem::exists(settingsPath)) {
    *settings = BoardSettings();
    return CreateBoardDirectory(directory, *settings, error);
  }
  return BoardSettings::Load(settingsPath, settings, error);
}

}  // namespace sim
