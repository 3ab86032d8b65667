// Parsing of ccpack's command lines into plain option records.
#ifndef CCPACK_COMMAND_LINE_H_
#define CCPACK_COMMAND_LINE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "Compressors.h"
#include "PackageWriter.h"
#include "TestMembers.h"

namespace ccpack {

// One member argument of `build`: KIND[/MODIFIER...]=VALUE.
struct MemberSpec {
  std::string kind;  // as written, for messages
  uint32_t id = 0;
  std::string path;               // the file (all kinds but boardtype)
  std::vector<uint32_t> boardIds;  // boardtype
  bool isBoardList = false;
  bool isPrebuilt = false;  // member=FILE: a complete member file
  Compression compression = Compression::kNone;
  uint32_t lzwBits = kLzwDefaultBits;
  uint32_t version = 0;
  bool inExtension = false;
};

struct BuildArgs {
  std::string output;
  std::vector<MemberSpec> members;
  PackageLayoutOptions layout;
};

struct InfoArgs {
  std::string path;
};

struct MakeBiosArgs {
  std::string output;
  BiosImageOptions bios;
};

struct MakeLogicArgs {
  std::string output;
  LogicImageOptions logic;
};

// args excludes the program and command names. On failure *error says why.
bool ParseMemberSpec(const std::string &arg, MemberSpec *request, std::string *error);
bool ParseBuildArgs(const std::vector<std::string> &args, BuildArgs *out, std::string *error);
bool ParseInfoArgs(const std::vector<std::string> &args, InfoArgs *out, std::string *error);
bool ParseMakeBiosArgs(const std::vector<std::string> &args, MakeBiosArgs *out, std::string *error);
bool ParseMakeLogicArgs(const std::vector<std::string> &args, MakeLogicArgs *out, std::string *error);

}  // namespace ccpack

#endif  // CCPACK_COMMAND_LINE_H_
