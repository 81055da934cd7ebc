// Shell commands of the Windows test programs: POSIX shell commands, run on the Linux host
// (paths in them are Linux paths, see linuxPath).
#include "support/CommandOutput.h"
#include "support/win32/LinuxCommand.h"

namespace cvdt::test {

std::string commandOutput(const std::string& command) {
  return runOnLinux("{\n" + command + "\n} 2>&1").out;
}

}  // namespace cvdt::test
