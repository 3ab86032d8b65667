// The small text file of board settings kept in a board directory:
// board ID, hardware straps, clock time and the plug on the OAM port.
#pragma once

#include <cstdint>
#include <string>

namespace sim {

enum class OamPlugKind { None, EchoAll, EchoFirst, FailFirst };

struct OamPlugSetting {
  OamPlugKind kind = OamPlugKind::None;
  unsigned count = 0;  // N for EchoFirst, K for FailFirst

  // "none", "echo", "echo-first:N" or "fail-first:K".
  static bool Parse(const std::string &text, OamPlugSetting *out);
  std::string ToString() const;
};

struct BoardSettings {
  uint16_t boardId = 1452;
  uint32_t straps = 0;
  std::string clock = "2026-01-01 00:00:00";  // board clock at power-on
  OamPlugSetting oamPlug;
  uint8_t nandDeviceCode = 0xDC;  // NAND chip fitted (a device code the NAND model knows)

  // Reads "key = value" lines; unknown keys and bad values are errors.
  static bool Load(const std::string &path, BoardSettings *out, std::string *error);
  bool Save(const std::string &path, std::string *error) const;
};

}  // namespace sim
