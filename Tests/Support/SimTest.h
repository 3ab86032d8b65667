#pragma once

#include "Mmio/MmioBus.h"

namespace simtest {
// Adds a test failure for every access to an address no model owns.
void ExpectNoUnownedAccess(const sim::MmioBus &bus);
}  // namespace simtest
