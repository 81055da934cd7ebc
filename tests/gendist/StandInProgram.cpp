// The stand-in mode of the gendist test program.
#include "StandInProgram.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/PlatformProcess.h"

namespace cvdt::test {
namespace {

namespace fs = std::filesystem;

std::string exitCodeFile(const std::string& program) { return program + ".exitcode"; }

std::string variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "-";
}

std::vector<std::string> ownArguments() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::vector<std::string> args;
  std::string arg;
  while (std::getline(in, arg, '\0')) args.push_back(arg);
  return args;
}

// Run under a stand-in's name (an exit-code file lies beside it): record and exit.
struct StandInMode {
  StandInMode() {
    std::vector<std::string> args = ownArguments();
    if (args.empty()) return;
    std::ifstream code(exitCodeFile(args[0]));
    uint32_t exitCode = 0;
    if (!(code >> exitCode)) return;
    std::string record = standInRecordFile(args[0]);
    {
      std::ofstream out(record + ".tmp");
      out << "uid=" << getuid() << "\ncwd=" << fs::current_path().string()
          << "\nshow=" << variable("CVDT_SHOW_WINDOW") << "\nsession=" << variable("CVDT_SESSION")
          << "\n";
      for (size_t i = 1; i < args.size(); ++i) out << "arg=" << args[i] << "\n";
    }
    fs::rename(record + ".tmp", record);
    plat::exitProcess(exitCode);
  }
} g_standInMode;

}  // namespace

void installStandIn(const std::string& hostPath, uint32_t exitCode) {
  fs::path path(hostPath);
  fs::create_directories(path.parent_path());
  fs::permissions(path.parent_path(), fs::perms::all);
  std::error_code ec;
  fs::remove(path, ec);
  fs::remove(standInRecordFile(hostPath), ec);
  fs::create_symlink(fs::read_symlink("/proc/self/exe"), path);
  std::ofstream(exitCodeFile(hostPath)) << exitCode << "\n";
}

}  // namespace cvdt::test
