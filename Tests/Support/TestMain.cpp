// Shared test main and helpers for tests on the simulated board.
#include <gtest/gtest.h>

#include "Support/SimTest.h"

namespace simtest {

void ExpectNoUnownedAccess(const sim::MmioBus &bus) {
  for (const sim::UnownedAccess &a : bus.Unowned()) {
    ADD_FAILURE() << "register " << (a.write ? "write" : "read") << " of width " << a.width
                  << " at unowned address 0x" << std::hex << a.address;
  }
}

}  // namespace simtest

int main(int argc, char **argv) {
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
