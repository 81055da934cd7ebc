// CMD.EXE: "CMD.EXE /c BATCHFILE [arguments]" runs the batch file (a POSIX shell script on
// Linux) with /bin/sh in the current folder and ends with the script's exit code.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BatchCommand.h"
#include "platform/PlatformProcess.h"

namespace {

// Windows' code for a command that cannot be found.
constexpr uint32_t kExitNotFound = 9009;
constexpr uint32_t kExitUsage = 1;

[[noreturn]] void runScript(const BatchCommand& command) {
  std::string script = BatchCommand::hostPath(command.batchPath());
  std::vector<std::string> words = {"sh", script};
  words.insert(words.end(), command.arguments().begin(), command.arguments().end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  // The script replaces this program, so the channel through which a parent reads a whole
  // 32-bit exit code must not reach it or the programs it starts: they would answer in our name.
  plat::dropExitCodeChannel();
  execv("/bin/sh", argv.data());
  std::perror("CMD.EXE: cannot run /bin/sh");
  std::exit(126);
}

}  // namespace

int main(int argc, char** argv) {
  BatchCommand command;
  if (plat::Status s =
          BatchCommand::parse(std::vector<std::string>(argv + 1, argv + argc), command);
      !s) {
    std::fprintf(stderr, "CMD.EXE: %s\n", s.message().c_str());
    plat::exitProcess(kExitUsage);
  }
  if (!BatchCommand::isFile(command.batchPath())) {
    std::fprintf(stderr, "CMD.EXE: '%s' is not recognized as a batch file: no such file\n",
                 command.batchPath().c_str());
    plat::exitProcess(kExitNotFound);
  }
  runScript(command);
}
