// `ccpack info`: prints a package's header, both file tables and every
// member, and checks every rule the board applies to a package.
#ifndef CCPACK_PACKAGE_INSPECTOR_H_
#define CCPACK_PACKAGE_INSPECTOR_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace ccpack {

// Writes the report to out, one line per inconsistency after the tables
// ("INCONSISTENT: ...") and a last line "result: ...". Returns the
// inconsistencies found.
std::vector<std::string> InspectPackage(const std::vector<uint8_t> &package, const std::string &name, FILE *out);

}  // namespace ccpack

#endif  // CCPACK_PACKAGE_INSPECTOR_H_
