// The stand-in mode of the Windows gendist test program: a copy of the program under the
// stand-in's name (Windows runs no links to it), its exit code in a file beside it.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "gendist/StandInProgram.h"
#include "platform/PlatformProcess.h"

namespace cvdt::test {
namespace {

namespace fs = std::filesystem;

std::string exitCodeFile(const std::string& program) { return program + ".exitcode"; }

std::string ownPath() {
  char path[MAX_PATH * 2] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  return path;
}

std::string narrow(const wchar_t* text) {
  int length = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(length > 0 ? length : 1), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), length, nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

// What the Linux stand-in records, in Windows' terms: the user's name for the uid, the show
// state the starter asked for ("-" when none) and the session.
void record(const std::string& file) {
  char user[256] = {};
  DWORD userLength = sizeof user;
  GetUserNameA(user, &userLength);
  STARTUPINFOA startup{};
  GetStartupInfoA(&startup);
  DWORD session = 0;
  ProcessIdToSessionId(GetCurrentProcessId(), &session);
  std::ofstream out(file + ".tmp", std::ios::binary);
  out << "uid=" << user << "\ncwd=" << fs::current_path().string() << "\nshow="
      << ((startup.dwFlags & STARTF_USESHOWWINDOW) ? std::to_string(startup.wShowWindow) : "-")
      << "\nsession=" << session << "\n";
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  for (int i = 1; args != nullptr && i < count; ++i) out << "arg=" << narrow(args[i]) << "\n";
  LocalFree(args);
}

struct StandInMode {
  StandInMode() {
    const std::string self = ownPath();
    std::ifstream code(exitCodeFile(self));
    uint32_t exitCode = 0;
    if (!(code >> exitCode)) return;
    const std::string file = standInRecordFile(self);
    record(file);
    std::error_code ec;
    fs::rename(file + ".tmp", file, ec);
    plat::exitProcess(exitCode);
  }
} g_standInMode;

}  // namespace

void installStandIn(const std::string& hostPath, uint32_t exitCode) {
  fs::path path(hostPath);
  fs::create_directories(path.parent_path());
  std::error_code ec;
  fs::remove(standInRecordFile(hostPath), ec);
  fs::copy_file(ownPath(), path, fs::copy_options::overwrite_existing, ec);
  if (ec) ADD_FAILURE() << "cannot install the stand-in " << hostPath << ": " << ec.message();
  std::ofstream(exitCodeFile(hostPath)) << exitCode << "\n";
}

}  // namespace cvdt::test
