#include "Board/BoardSettings.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "Devices/NandGeometry.h"

namespace sim {
namespace {

std::string Trim(const std::string &s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

bool ParseUnsigned(const std::string &text, uint64_t max, uint64_t *out) {
  if (text.empty()) return false;
  char *end = nullptr;
  unsigned long long v = std::strtoull(text.c_str(), &end, 0);
  if (*end != '\0' || v > max || text[0] == '-') return false;
  *out = v;
  return true;
}

}  // namespace

bool OamPlugSetting::Parse(const std::string &text, OamPlugSetting *out) {
  OamPlugSetting s;
  uint64_t n = 0;
  if (text == "none") {
    s.kind = OamPlugKind::None;
  } else if (text == "echo") {
    s.kind = OamPlugKind::EchoAll;
  } else if (text.rfind("echo-first:", 0) == 0 && ParseUnsigned(text.substr(11), 1000000, &n)) {
    s.kind = OamPlugKind::EchoFirst;
    s.count = unsigned(n);
  } else if (text.rfind("fail-first:", 0) == 0 && ParseUnsigned(text.substr(11), 1000000, &n)) {
    s.kind = OamPlugKind::FailFirst;
    s.count = unsigned(n);
  } else {
    return false;
  }
  *out = s;
  return true;
}

std::string OamPlugSetting::ToString() const {
  switch (kind) {
    case OamPlugKind::None: return "none";
    case OamPlugKind::EchoAll: return "echo";
    case OamPlugKind::EchoFirst: return "echo-first:" + std::to_string(count);
    case OamPlugKind::FailFirst: return "fail-first:" + std::to_string(count);
  }
  return "none";
}

bool BoardSettings::Load(const std::string &path, BoardSettings *out, std::string *error) {
  std::ifstream in(path);
  if (!in) {
    *error = "cannot read " + path;
    return false;
  }
  BoardSettings s;
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    size_t hash = line.find('#');
    if (hash != std::string::npos) line.resize(hash);
    line = Trim(line);
    if (line.empty()) continue;
    size_t eq = line.find('=');
    auto fail = [&](const std::string &why) {
      *error = path + ":" + std::to_string(lineNo) + ": " + why;
      return false;
    };
    if (eq == std::string::npos) return fail("expected 'key = value'");
    std::string key = Trim(line.substr(0, eq));
    std::string value = Trim(line.substr(eq + 1));
    uint64_t n = 0;
    if (key == "board_id") {
      if (!ParseUnsigned(value, 0xFFFF, &n)) return fail("board_id must be 0..65535");
      s.boardId = uint16_t(n);
    } else if (key == "straps") {
      if (!ParseUnsigned(value, 0xFFFFFFFFu, &n)) return fail("straps must be a 32-bit number");
      s.straps = uint32_t(n);
    } else if (key == "clock") {
      s.clock = value;
    } else if (key == "oam_plug") {
      if (!OamPlugSetting::Parse(value, &s.oamPlug)) {
        return fail("oam_plug must be none, echo, echo-first:N or fail-first:K");
      }
    } else if (key == "nand_chip") {
      if (!ParseUnsigned(value, 0xFF, &n) || !NandGeometry::IsKnownDeviceCode(uint8_t(n))) {
        return fail("nand_chip must be the device code of a modelled NAND chip (e.g. 0xDC)");
      }
      s.nandDeviceCode = uint8_t(n);
    } else {
      return fail("unknown setting '" + key + "'");
    }
  }
  *out = s;
  return true;
}

bool BoardSettings::Save(const std::string &path, std::string *error) const {
  std::ofstream out(path, std::ios::trunc);
  if (!out) {
    *error = "cannot write " + path;
    return false;
  }
  char straps_hex[16];
  std::snprintf(straps_hex, sizeof(straps_hex), "0x%08X", straps);
  char nand_hex[8];
  std::snprintf(nand_hex, sizeof(nand_hex), "0x%02X", unsigned(nandDeviceCode));
  out << "# Simulated board settings (edit freely; bootsim options override them for one run)\n"
      << "board_id = " << boardId << "\n"
      << "straps = " << straps_hex << "\n"
      << "clock = " << clock << "\n"
      << "# none | echo | echo-first:N | fail-first:K\n"
      << "oam_plug = " << oamPlug.ToString() << "\n"
      << "# NAND chip by device code: 0xDC (512 MiB), 0xD5 (2 GiB, 8 KiB pages), 0xF2, 0xF1, 0xDA, 0xD3\n"
      << "nand_chip = " << nand_hex << "\n";
  return bool(out);
}

}  // namespace sim
