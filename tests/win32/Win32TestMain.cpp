// Entry of the Windows test program: GoogleTest, or a child program when a test re-runs this
// program ("--child-exit N" ends with exit code N).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "platform/PlatformProcess.h"

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--child-exit") == 0)
    plat::exitProcess(static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
