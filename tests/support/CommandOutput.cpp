// Shell commands for tests.
#include "support/CommandOutput.h"

#include "support/Subprocess.h"

namespace cvdt::test {

std::string commandOutput(const std::string& command) {
  return Subprocess::shell(command).mergeErrors().run().out;
}

}  // namespace cvdt::test
