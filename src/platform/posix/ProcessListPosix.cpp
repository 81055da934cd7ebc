// Process listing of the Linux backend from /proc: the image is the target of /proc/<id>/exe as
// a Windows path; the executable name is the file name of the first command-line word (which
// keeps long names such as "cvdtndlg.exe" whole), or the kernel's short name. A machine's list
// holds only the processes started under that machine (CVDT_MACHINE in their environment), so
// two machines on one host never see each other's dialogs or programs.
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <climits>
#include <cstdlib>

#include "platform/PlatformFs.h"
#include "platform/PlatformProcessList.h"
#include "platform/posix/MachineConfig.h"

namespace plat {
namespace {

std::string fileNameOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string executableName(uint32_t id) {
  std::string base = "/proc/" + std::to_string(id);
  std::ifstream cmdline(base + "/cmdline", std::ios::binary);
  std::string first;
  if (cmdline && std::getline(cmdline, first, '\0') && !first.empty()) return fileNameOf(first);
  std::ifstream comm(base + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

bool isNumber(const char* text) {
  if (*text == '\0') return false;
  for (; *text != '\0'; ++text) {
    if (!std::isdigit(static_cast<unsigned char>(*text))) return false;
  }
  return true;
}

std::string realFolder(const std::string& folder) {
  char resolved[PATH_MAX];
  return realpath(folder.c_str(), resolved) != nullptr ? std::string(resolved) : folder;
}

// The machine root named in a process's environment; empty when it names none or cannot be read.
std::string machineOf(uint32_t id) {
  static const std::string kPrefix = "CVDT_MACHINE=";
  std::ifstream environ("/proc/" + std::to_string(id) + "/environ", std::ios::binary);
  for (std::string entry; std::getline(environ, entry, '\0');) {
    if (entry.rfind(kPrefix, 0) == 0) return entry.substr(kPrefix.size());
  }
  return {};
}

// True when the process belongs to the machine whose resolved root is given (every process
// belongs to a host without a machine).
bool onMachine(uint32_t id, const std::string& root) {
  if (root.empty() || id == static_cast<uint32_t>(getpid())) return true;
  std::string other = machineOf(id);
  return !other.empty() && (other == root || realFolder(other) == root);
}

}  // namespace

bool listProcesses(std::vector<ProcessEntry>& processes) {
  processes.clear();
  std::string root = posix::currentMachine()->root;
  if (!root.empty()) root = realFolder(root);
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return false;
  while (dirent* entry = readdir(proc)) {
    if (!isNumber(entry->d_name)) continue;
    uint32_t id = static_cast<uint32_t>(std::stoul(entry->d_name));
    if (!onMachine(id, root)) continue;
    std::string name = executableName(id);
    if (!name.empty()) processes.push_back({id, name});
  }
  closedir(proc);
  std::sort(processes.begin(), processes.end(),
            [](const ProcessEntry& a, const ProcessEntry& b) { return a.id < b.id; });
  return true;
}

bool processImagePath(uint32_t processId, std::string& path) {
  char target[4096];
  std::string link = "/proc/" + std::to_string(processId) + "/exe";
  ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
  if (n <= 0) return false;
  target[n] = '\0';
  std::string host = target;
  const std::string deleted = " (deleted)";
  if (host.size() > deleted.size() && host.ends_with(deleted)) host.resize(host.size() - deleted.size());
  path = toWindowsPath(host);
  return true;
}

}  // namespace plat

#include <csignal>

namespace plat {

bool terminateProcess(uint32_t processId, uint32_t) {
  return processId > 0 && kill(static_cast<pid_t>(processId), SIGKILL) == 0;
}

}  // namespace plat
