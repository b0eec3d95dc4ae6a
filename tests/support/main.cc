// The main of every test program: GoogleTest's own arguments, then
// --host=memory|automation (see support/hosts.h).

#include <gtest/gtest.h>

#include <cstdio>

#include "support/hosts.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!palvane::testing::ChooseTestHost(argc, argv)) {
    std::fprintf(stderr, "unknown or unavailable --host (memory, or automation on Windows)\n");
    return 2;
  }
  if (palvane::testing::TestHost() == palvane::testing::HostKind::kAutomation) {
    std::printf("Operations through the COM adapter over the automation facade\n");
  }
  return RUN_ALL_TESTS();
}
