// A board with the I/O system started as at power-up: "mfs:" in firmware,
// "ofs1:" in the board's folder, the tffs protocol installed, and the kvfs
// stand-in installed when a test asks for it.
#pragma once

#include <string>

#include "Support/BoardFixture.h"
#include "Support/MemoryKvfs.h"

namespace simtest {

class FileAccessTest : public BoardTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Installs the kvfs stand-in under its GUID.
  void InstallKvfs() { kvfs.Install(*board); }
  // Console text printed since the last call.
  std::string NewConsole();
  // Writes content to path through the I/O system (created or replaced).
  void PutFile(const std::string &path, const std::string &content);
  // The content of path read through the I/O system; "<missing>" when it
  // does not open.
  std::string GetFile(const std::string &path);

  MemoryKvfs kvfs;
  size_t consoleMark_ = 0;
};

}  // namespace simtest
