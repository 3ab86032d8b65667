#include "CommandLine.h"

#include "MemberIds.h"
#include "Package/PackageFormat.h"

namespace ccpack {

namespace {

std::vector<std::string> Split(const std::string &text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    size_t at = text.find(separator, start);
    parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

bool ParseId(const std::string &text, uint32_t *id) {
  uint64_t value;
  if (!ParseNumber(text, 0xFFFFFFFFu, &value)) return false;
  *id = uint32_t(value);
  return true;
}

// zlib, lzma, lzw, lzwN; "none" only where allowNone.
bool ParseCompression(const std::string &text, bool allowNone, Compression *method, uint32_t *lzwBits) {
  if (allowNone && text == "none") {
    *method = Compression::kNone;
  } else if (text == "zlib") {
    *method = Compression::kZlib;
  } else if (text == "lzma") {
    *method = Compression::kLzma;
  } else if (text.compare(0, 3, "lzw") == 0) {
    *method = Compression::kLzw;
    *lzwBits = kLzwDefaultBits;
    if (text.size() > 3) {
      uint64_t bits;
      if (!ParseNumber(text.substr(3), kLzwMaxBits, &bits) || bits < kLzwMinBits) return false;
      *lzwBits = uint32_t(bits);
    }
  } else {
    return false;
  }
  return true;
}

bool ParseKind(const std::string &kind, MemberSpec *request, std::string *error) {
  size_t colon = kind.find(':');
  std::string name = kind.substr(0, colon);
  if (colon != std::string::npos) {
    if (name != "fpga" && name != "cpld" && name != "logic") {
      *error = "unknown member kind '" + kind + "'";
      return false;
    }
    if (!ParseId(kind.substr(colon + 1), &request->id)) {
      *error = "bad file ID in '" + kind + "'";
      return false;
    }
    return true;
  }
  if (name == "rps") {
    request->id = RpsFileId();
  } else if (name == "basebios") {
    request->id = PACKAGE_BASE_BIOS_ID;
  } else if (name == "extbios") {
    request->id = PACKAGE_EXT_BIOS_ID;
  } else if (name == "boardtype") {
    request->id = BoardTypeFileId();
    request->isBoardList = true;
  } else if (name == "member") {
    request->isPrebuilt = true;
  } else if (name == "fpga" || name == "cpld" || name == "logic") {
    *error = "'" + name + "' needs a file ID: " + name + ":ID";
    return false;
  } else if (!ParseId(name, &request->id)) {
    *error = "unknown member kind '" + name + "'";
    return false;
  }
  return true;
}

bool ParseModifier(const std::string &modifier, MemberSpec *request, std::string *error) {
  uint64_t value;
  if (modifier == "ext") {
    request->inExtension = true;
  } else if (modifier.size() > 1 && modifier[0] == 'v' && ParseNumber(modifier.substr(1), 0xFFFFFFFFu, &value)) {
    request->version = uint32_t(value);
  } else if (!ParseCompression(modifier, false, &request->compression, &request->lzwBits)) {
    *error = "unknown modifier '/" + modifier + "'";
    return false;
  }
  if (request->isPrebuilt && modifier != "ext") {
    *error = "a complete member file (member=FILE) takes only the /ext modifier";
    return false;
  }
  return true;
}

bool TakeValue(const std::vector<std::string> &args, size_t *i, std::string *value, std::string *error) {
  if (*i + 1 >= args.size()) {
    *error = args[*i] + " needs a value";
    return false;
  }
  *value = args[++*i];
  return true;
}

}  // namespace

bool ParseMemberSpec(const std::string &arg, MemberSpec *request, std::string *error) {
  size_t equals = arg.find('=');
  if (equals == std::string::npos || equals == 0 || equals + 1 == arg.size()) {
    *error = "member '" + arg + "' is not KIND=FILE";
    return false;
  }
  *request = MemberSpec();
  std::vector<std::string> words = Split(arg.substr(0, equals), '/');
  request->kind = words[0];
  if (!ParseKind(words[0], request, error)) return false;
  for (size_t i = 1; i < words.size(); i++) {
    if (!ParseModifier(words[i], request, error)) return false;
  }
  std::string value = arg.substr(equals + 1);
  if (!request->isBoardList) {
    request->path = value;
    return true;
  }
  for (const std::string &item : Split(value, ',')) {
    uint32_t boardId;
    if (!ParseId(item, &boardId)) {
      *error = "bad board ID '" + item + "' in '" + arg + "'";
      return false;
    }
    request->boardIds.push_back(boardId);
  }
  return true;
}

bool ParseBuildArgs(const std::vector<std::string> &args, BuildArgs *out, std::string *error) {
  for (size_t i = 0; i < args.size(); i++) {
    const std::string &arg = args[i];
    std::string value;
    if (arg == "-o" || arg == "--output") {
      if (!TakeValue(args, &i, &out->output, error)) return false;
    } else if (arg == "--extension") {
      out->layout.allInExtension = true;
    } else if (arg == "--break") {
      if (!TakeValue(args, &i, &value, error)) return false;
      PackageDefects &defects = out->layout.defects;
      uint32_t id;
      if (value == "header-crc") {
        defects.headerCrc = true;
      } else if (value == "ext-table-crc") {
        defects.extTableCrc = true;
      } else if (value == "length-off-by-one") {
        defects.lengthOffByOne = true;
      } else if (value.compare(0, 11, "member-crc:") == 0 && ParseId(value.substr(11), &id)) {
        defects.memberCrcIds.push_back(id);
      } else {
        *error = "unknown defect '" + value + "'";
        return false;
      }
    } else if (!arg.empty() && arg[0] == '-') {
      *error = "unknown option '" + arg + "'";
      return false;
    } else {
      MemberSpec request;
      if (!ParseMemberSpec(arg, &request, error)) return false;
      out->members.push_back(request);
    }
  }
  if (out->output.empty()) {
    *error = "build needs -o OUT.cc";
    return false;
  }
  return true;
}

bool ParseInfoArgs(const std::vector<std::string> &args, InfoArgs *out, std::string *error) {
  if (args.size() != 1 || args[0].empty() || args[0][0] == '-') {
    *error = "info takes exactly one package file";
    return false;
  }
  out->path = args[0];
  return true;
}

bool ParseMakeBiosArgs(const std::vector<std::string> &args, MakeBiosArgs *out, std::string *error) {
  bool haveVersion = false;
  bool haveField = false;
  for (size_t i = 0; i < args.size(); i++) {
    std::string value;
    if (args[i] == "-o" || args[i] == "--output") {
      if (!TakeValue(args, &i, &out->output, error)) return false;
    } else if (args[i] == "--version") {
      if (!TakeValue(args, &i, &out->bios.version, error)) return false;
      haveVersion = true;
    } else if (args[i] == "--field") {
      if (!TakeValue(args, &i, &out->bios.fieldText, error)) return false;
      haveField = true;
    } else if (args[i] == "--fill") {
      uint64_t fill;
      if (!TakeValue(args, &i, &value, error)) return false;
      if (!ParseNumber(value, 0xFF, &fill)) {
        *error = "--fill takes a byte value";
        return false;
      }
      out->bios.fill = uint8_t(fill);
    } else {
      *error = "unknown make-bios argument '" + args[i] + "'";
      return false;
    }
  }
  if (!haveVersion || out->output.empty()) {
    *error = "make-bios needs --version TEXT and -o FILE";
    return false;
  }
  if (!haveField) out->bios.fieldText = out->bios.version.substr(0, kBiosVersionFieldSize);
  return true;
}

bool ParseMakeLogicArgs(const std::vector<std::string> &args, MakeLogicArgs *out, std::string *error) {
  bool haveVersion = false;
  for (size_t i = 0; i < args.size(); i++) {
    std::string value;
    uint64_t number;
    if (args[i] == "-o" || args[i] == "--output") {
      if (!TakeValue(args, &i, &out->output, error)) return false;
    } else if (args[i] == "--version") {
      if (!TakeValue(args, &i, &value, error)) return false;
      if (!ParseNumber(value, 0xFF, &number)) {
        *error = "--version takes a byte value (0 to 255)";
        return false;
      }
      out->logic.version = uint8_t(number);
      haveVersion = true;
    } else if (args[i] == "--id") {
      if (!TakeValue(args, &i, &value, error)) return false;
      if (!ParseId(value, &out->logic.id)) {
        *error = "bad --id '" + value + "'";
        return false;
      }
    } else if (args[i] == "--compress") {
      if (!TakeValue(args, &i, &value, error)) return false;
      if (!ParseCompression(value, true, &out->logic.compression, &out->logic.lzwBits)) {
        *error = "unknown compression '" + value + "'";
        return false;
      }
    } else if (args[i] == "--size") {
      if (!TakeValue(args, &i, &value, error)) return false;
      if (!ParseNumber(value, kMaxLogicSize, &number) || number == 0) {
        *error = "--size takes 1 to 0x400000 bytes";
        return false;
      }
      out->logic.size = uint32_t(number);
    } else {
      *error = "unknown make-logic argument '" + args[i] + "'";
      return false;
    }
  }
  if (!haveVersion || out->output.empty()) {
    *error = "make-logic needs --version BYTE and -o FILE";
    return false;
  }
  return true;
}

}  // namespace ccpack
