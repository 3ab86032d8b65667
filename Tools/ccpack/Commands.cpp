#include "Commands.h"

#include <cstdio>

#include "ByteOrder.h"
#include "FileIo.h"
#include "MemberFile.h"
#include "PackageInspector.h"

namespace ccpack {

namespace {

int Fail(const std::string &message) {
  std::fprintf(stderr, "ccpack: %s\n", message.c_str());
  return kExitUsage;
}

// Reads, compresses and wraps one member in its program header.
bool PrepareMember(const MemberSpec &request, PackageMember *member, std::string *error) {
  std::vector<uint8_t> content;
  if (request.isBoardList) {
    content.resize(request.boardIds.size() * 4);
    for (size_t i = 0; i < request.boardIds.size(); i++) PutLe32(content.data() + 4 * i, request.boardIds[i]);
  } else if (!ReadWholeFile(request.path, &content, error)) {
    return false;
  }
  member->inExtension = request.inExtension;
  if (request.isPrebuilt) {
    if (!CheckMemberFile(content, error)) {
      *error = request.path + ": " + *error;
      return false;
    }
    member->id = MemberFileId(content);
    member->file = std::move(content);
    return true;
  }
  if (content.empty() && request.compression == Compression::kLzw) {
    // The .Z stream of nothing holds no first code, which the board's
    // decoder refuses.
    std::fprintf(stderr, "ccpack: warning: %s is empty; the board cannot expand an empty lzw body\n",
                 request.kind.c_str());
  }
  std::vector<uint8_t> body;
  if (!Compress(request.compression, request.lzwBits, content, &body, request.kind, error)) return false;
  if (body.size() > 0xFFFFFFFFu - kProgramHeaderSize) {
    *error = request.kind + ": member larger than 4 GiB";
    return false;
  }
  ProgramHeaderFields fields;
  fields.id = request.id;
  fields.version = request.version;
  fields.compressionType = uint32_t(request.compression);
  member->id = request.id;
  member->file = MakeMemberFile(fields, body);
  return true;
}

}  // namespace

int RunBuild(const BuildArgs &args) {
  std::vector<PackageMember> members(args.members.size());
  std::string error;
  for (size_t i = 0; i < args.members.size(); i++) {
    if (!PrepareMember(args.members[i], &members[i], &error)) return Fail(error);
  }
  std::vector<uint8_t> package;
  if (!WritePackage(std::move(members), args.layout, &package, &error)) return Fail(error);
  if (!WriteWholeFile(args.output, package, &error)) return Fail(error);
  return kExitOk;
}

int RunInfo(const InfoArgs &args) {
  std::vector<uint8_t> package;
  std::string error;
  if (!ReadWholeFile(args.path, &package, &error)) return Fail(error);
  std::vector<std::string> problems = InspectPackage(package, args.path, stdout);
  return problems.empty() ? kExitOk : kExitInconsistent;
}

int RunMakeBios(const MakeBiosArgs &args) {
  std::vector<uint8_t> image;
  std::string error;
  if (!MakeBiosImage(args.bios, &image, &error)) return Fail(error);
  if (!WriteWholeFile(args.output, image, &error)) return Fail(error);
  return kExitOk;
}

int RunMakeLogic(const MakeLogicArgs &args) {
  std::vector<uint8_t> member;
  std::string error;
  if (!MakeLogicMember(args.logic, &member, &error)) return Fail(error);
  if (!WriteWholeFile(args.output, member, &error)) return Fail(error);
  return kExitOk;
}

}  // namespace ccpack
