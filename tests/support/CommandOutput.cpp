// Shell commands for tests.
#include "support/CommandOutput.h"

#include <cstdio>

namespace cvdt::test {

std::string commandOutput(const std::string& command) {
  std::string output;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return output;
  char chunk[4096];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, n);
  pclose(pipe);
  return output;
}

}  // namespace cvdt::test
