// Windows paths on the Linux backend: drive letters map to the machine's drive folders, Z: to
// the host root; names match ignoring case when the exact name is absent; a 32-bit program on a
// 64-bit machine is redirected as Windows redirects it (System32, lastgood\System32 and
// regedit.exe to their 32-bit copies, Sysnative to the real System32) unless its thread
// switched that off.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <vector>

#include "platform/AsciiText.h"
#include "platform/PlatformFs.h"
#include "platform/PlatformSystem.h"
#include "platform/PlatformText.h"
#include "platform/WinError.h"
#include "platform/posix/ErrorPosix.h"
#include "platform/posix/MachineConfig.h"

namespace plat {
namespace {

thread_local bool t_redirectionDisabled = false;

struct WindowsPath {
  char drive = 0;
  std::vector<std::string> parts;
};

void splitComponents(const std::string& rest, std::vector<std::string>& parts) {
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = rest.find('\\', start);
    if (end == std::string::npos) end = rest.size();
    std::string part = rest.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();  // never above the drive's root
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
}

bool parseWindowsPath(std::string path, WindowsPath& out) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  if (path.rfind("\\\\?\\", 0) == 0) path.erase(0, 4);
  if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
    out.drive = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
    splitComponents(path.substr(2), out.parts);
    return true;
  }
  if (path.rfind("\\\\", 0) == 0 || path.empty()) return false;  // UNC shares: no such drive
  if (path[0] == '\\') {
    std::string windows = windowsFolder();
    out.drive = windows.empty() ? 'C' : static_cast<char>(std::toupper(windows[0]));
    splitComponents(path, out.parts);
    return true;
  }
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd) == nullptr) return false;
  return parseWindowsPath(toWindowsPath(cwd) + "\\" + path, out);
}

// Windows 7 and later keep one DriverStore for both views; earlier versions redirect it.
bool isWindows7OrLater(const OsVersion& version) {
  return version.major > 6 || (version.major == 6 && version.minor >= 1);
}

// The Sysnative alias exists from Vista on.
bool hasSysnative(const OsVersion& version) { return version.major >= 6; }

// Folders below System32 that stay the real ones for 32-bit programs.
bool isRedirectionExempt(const std::vector<std::string>& parts, size_t next,
                         const OsVersion& version) {
  if (next >= parts.size()) return false;
  static const char* const kExempt[] = {"catroot", "catroot2", "logfiles", "spool"};
  for (const char* name : kExempt) {
    if (equalsAsciiNoCase(parts[next], name)) return true;
  }
  if (equalsAsciiNoCase(parts[next], "driverstore")) return isWindows7OrLater(version);
  return equalsAsciiNoCase(parts[next], "drivers") && next + 1 < parts.size() &&
         equalsAsciiNoCase(parts[next + 1], "etc");
}

// Number of leading components of path that name the Windows folder, or 0 when it is not
// below it.
size_t windowsFolderDepth(const posix::MachineConfig& machine, const WindowsPath& path) {
  WindowsPath windows;
  if (!parseWindowsPath(machine.windowsFolder, windows) || windows.drive != path.drive) return 0;
  size_t depth = windows.parts.size();
  if (depth == 0 || path.parts.size() <= depth) return 0;
  for (size_t i = 0; i < depth; ++i) {
    if (!equalsAsciiNoCase(path.parts[i], windows.parts[i])) return 0;
  }
  return depth;
}

// What the redirector changes below the Windows folder, from parts[depth] on.
void redirectBelowWindows(std::vector<std::string>& parts, size_t depth, const OsVersion& version) {
  std::string& first = parts[depth];
  bool last = depth + 1 == parts.size();
  if (equalsAsciiNoCase(first, "System32")) {
    if (!isRedirectionExempt(parts, depth + 1, version)) first = "SysWOW64";
  } else if (last && equalsAsciiNoCase(first, "regedit.exe")) {
    parts.insert(parts.begin() + static_cast<std::ptrdiff_t>(depth), "SysWOW64");
  } else if (!last && equalsAsciiNoCase(first, "lastgood") &&
             equalsAsciiNoCase(parts[depth + 1], "System32")) {
    parts[depth + 1] = "SysWOW64";
  }
}

void applyRedirection(const posix::MachineConfig& machine, WindowsPath& path) {
  if (!machine.is64Bit || isProcess64Bit()) return;
  size_t depth = windowsFolderDepth(machine, path);
  if (depth == 0) return;
  if (equalsAsciiNoCase(path.parts[depth], "Sysnative")) {
    if (hasSysnative(machine.version)) path.parts[depth] = "System32";
  } else if (!t_redirectionDisabled) {
    redirectBelowWindows(path.parts, depth, machine.version);
  }
}

std::string join(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

bool exists(const std::string& hostPath) {
  struct stat info {};
  return lstat(hostPath.c_str(), &info) == 0;
}

// The entry of folder whose name equals name ignoring case, or empty.
std::string findNoCase(const std::string& folder, const std::string& name) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return {};
  std::string match;
  while (dirent* entry = readdir(dir)) {
    if (equalsAsciiNoCase(entry->d_name, name)) {
      match = entry->d_name;
      break;
    }
  }
  closedir(dir);
  return match;
}

std::string resolveOnHost(const std::string& root, const std::vector<std::string>& parts) {
  std::string exact = root;
  for (const std::string& part : parts) exact = join(exact, part);
  if (exists(exact)) return exact;
  std::string host = root;
  size_t i = 0;
  for (; i < parts.size(); ++i) {
    std::string candidate = join(host, parts[i]);
    if (exists(candidate)) {
      host = candidate;
      continue;
    }
    std::string match = findNoCase(host, parts[i]);
    if (match.empty()) break;
    host = join(host, match);
  }
  for (; i < parts.size(); ++i) host = join(host, parts[i]);
  return host;
}

}  // namespace

std::string toHostPath(const std::string& windowsPath) {
  // Host file names are UTF-8, Windows paths ANSI. Converted before it is parsed: a trail byte
  // of a double-byte character may be a backslash.
  WindowsPath path;
  if (!parseWindowsPath(ansiToUtf8(windowsPath), path)) {
    posix::failWith(kErrorInvalidName);
    return {};
  }
  auto machine = posix::currentMachine();
  auto drive = machine->drives.find(path.drive);
  if (drive == machine->drives.end()) {
    posix::failWith(kErrorPathNotFound);
    return {};
  }
  applyRedirection(*machine, path);
  return resolveOnHost(drive->second.folder, path.parts);
}

std::string toWindowsPath(const std::string& hostPath) {
  std::filesystem::path path(hostPath);
  if (path.is_relative()) path = std::filesystem::current_path() / path;
  std::string absolute = path.lexically_normal().string();
  while (absolute.size() > 1 && absolute.back() == '/') absolute.pop_back();

  auto machine = posix::currentMachine();
  char letter = 'Z';
  std::string rest = absolute;
  size_t longest = 0;
  for (const auto& [driveLetter, drive] : machine->drives) {
    const std::string& folder = drive.folder;
    if (folder == "/" || folder.size() <= longest) continue;
    if (absolute == folder || absolute.rfind(folder + "/", 0) == 0) {
      letter = driveLetter;
      rest = absolute.substr(folder.size());
      longest = folder.size();
    }
  }
  for (char& c : rest) {
    if (c == '/') c = '\\';
  }
  if (rest.empty()) rest = "\\";
  return utf8ToAnsi(std::string(1, letter) + ":" + rest);
}

bool disableRedirection(void** old) {
  if (old != nullptr) *old = reinterpret_cast<void*>(static_cast<intptr_t>(t_redirectionDisabled));
  t_redirectionDisabled = true;
  return true;
}

bool revertRedirection(void* old) {
  t_redirectionDisabled = reinterpret_cast<intptr_t>(old) != 0;
  return true;
}

bool redirectionEnabled() { return !t_redirectionDisabled; }

}  // namespace plat
