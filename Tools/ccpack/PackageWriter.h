// Lays out a package: the 0x1824-byte main header, then the members of the
// main table one after another, then (when there is one) the extension file
// and the members it describes. Every offset, length and CRC is filled in;
// deliberate defects for tests are applied last.
#ifndef CCPACK_PACKAGE_WRITER_H_
#define CCPACK_PACKAGE_WRITER_H_

#include <cstdint>
#include <string>
#include <vector>

namespace ccpack {

struct PackageMember {
  uint32_t id = 0;
  std::vector<uint8_t> file;  // program header and body (MakeMemberFile)
  bool inExtension = false;
};

struct PackageDefects {
  bool headerCrc = false;       // main header CRC wrong
  bool extTableCrc = false;     // CRC behind the extension descriptors wrong
  bool lengthOffByOne = false;  // first used main slot's ulFileLen one too large
  std::vector<uint32_t> memberCrcIds;  // body CRC wrong in the first member of each ID
};

struct PackageLayoutOptions {
  bool allInExtension = false;  // put every member in the extension table
  PackageDefects defects;
};

// Members beyond the 255 main slots go to the extension table. Fails (with
// *error) when a defect cannot be applied or the package passes 4 GiB.
bool WritePackage(std::vector<PackageMember> members, const PackageLayoutOptions &options,
                  std::vector<uint8_t> *package, std::string *error);

}  // namespace ccpack

#endif  // CCPACK_PACKAGE_WRITER_H_
