// Linux commands started through Wine, their output and exit status read from files.
#include "support/win32/LinuxCommand.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/TestMachine.h"

namespace cvdt::test {
namespace {

namespace fs = std::filesystem;

std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::wstring wide(const std::string& text) {
  int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring out(static_cast<size_t>(length > 0 ? length : 1), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, out.data(), length);
  out.resize(out.size() - 1);
  return out;
}

}  // namespace

std::string linuxPath(const std::string& windowsPath) {
  using UnixName = char*(CDECL*)(const wchar_t*);
  static const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (unixName == nullptr) return {};
  std::wstring full(MAX_PATH * 4, L'\0');
  DWORD length = GetFullPathNameW(wide(windowsPath).c_str(), static_cast<DWORD>(full.size()),
                                  full.data(), nullptr);
  full.resize(length);
  char* name = unixName(full.c_str());
  if (name == nullptr) return {};
  std::string path = name;
  HeapFree(GetProcessHeap(), 0, name);
  return path;
}

std::string shellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

LinuxCommand::LinuxCommand(const std::string& shellCommand) {
  m_strFolder = makeTempFolder("cvdt-linux");
  const std::string folder = linuxPath(m_strFolder);
  if (folder.empty()) return;
  // The status file appears whole, by a rename, once the command has ended.
  std::ofstream(m_strFolder + "\\run.sh", std::ios::binary)
      << "cd " << shellQuoted(folder) << " || exit 1\n"
      << "(\n"
      << shellCommand << "\n) </dev/null >out 2>err\n"
      << "echo $? >status.tmp && mv status.tmp status\n";
  std::string commandLine = "/bin/sh " + folder + "/run.sh";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  m_bStarted = CreateProcessA("Z:\\bin\\sh", commandLine.data(), nullptr, nullptr, FALSE, 0,
                              nullptr, nullptr, &startup, &process) != 0;
  // Wine hands back no handles for a Linux program; close any a newer one may give.
  if (process.hThread != nullptr) CloseHandle(process.hThread);
  if (process.hProcess != nullptr) CloseHandle(process.hProcess);
}

LinuxCommand::~LinuxCommand() {
  std::error_code ec;
  fs::remove_all(m_strFolder, ec);
}

int LinuxCommand::wait(std::chrono::milliseconds timeout) const {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  const std::string statusFile = m_strFolder + "\\status";
  while (m_bStarted) {
    std::ifstream status(statusFile);
    int code = 0;
    if (status >> code) return code;
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return -2;
}

std::string LinuxCommand::out() const { return fileText(m_strFolder + "\\out"); }

std::string LinuxCommand::err() const { return fileText(m_strFolder + "\\err"); }

ProcessResult runOnLinux(const std::string& shellCommand, std::chrono::milliseconds timeout) {
  LinuxCommand command(shellCommand);
  ProcessResult result;
  result.exitStatus = command.wait(timeout);
  result.out = command.out();
  result.err = command.err();
  return result;
}

}  // namespace cvdt::test
