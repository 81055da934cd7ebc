// Folder and file operations of the Linux backend. The read-only attribute is a file without
// write permission bits; as on Windows, such a file can be neither deleted nor overwritten.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <optional>

#include "platform/PlatformFile.h"
#include "platform/PlatformFs.h"
#include "platform/PlatformText.h"
#include "platform/WinError.h"
#include "platform/posix/ErrorPosix.h"
#include "platform/posix/MachineConfig.h"

namespace plat {
namespace {

using posix::failWith;
using posix::failWithErrno;

// Maps a Windows path, or fails with the mapping's error.
bool mapPath(const std::string& windowsPath, std::string& host) {
  host = toHostPath(windowsPath);
  return !host.empty();
}

bool statPath(const std::string& host, struct stat& info) {
  if (stat(host.c_str(), &info) == 0) return true;
  return failWithErrno();
}

bool readOnlyMode(const struct stat& info) { return (info.st_mode & 0222) == 0; }

bool copyContent(File& source, File& target) {
  static constexpr size_t kChunk = 1 << 18;
  std::string buffer(kChunk, '\0');
  for (;;) {
    size_t n = source.read(buffer.data(), kChunk);
    if (n == 0) return lastError() == kErrorSuccess || failWith(kErrorReadFault);
    if (target.write(buffer.data(), n) != n) return false;
  }
}

std::optional<posix::DriveConfig> findDrive(char letter) {
  auto machine = posix::currentMachine();
  auto drive = machine->drives.find(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
  if (drive == machine->drives.end()) return std::nullopt;
  return drive->second;
}

// Windows wildcard match ignoring case: "*" any run of characters, "?" one character; a
// trailing ".*" also matches a name without an extension.
bool matchesWildcard(const char* pattern, const char* name) {
  const char* star = nullptr;
  const char* resume = nullptr;
  auto same = [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  };
  while (*name != '\0') {
    if (*pattern == '?' || (*pattern != '*' && same(*pattern, *name))) {
      ++pattern;
      ++name;
    } else if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (star != nullptr) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0' || (pattern[0] == '.' && pattern[1] == '*' && pattern[2] == '\0');
}

bool hasWildcard(const std::string& text) { return text.find_first_of("*?") != std::string::npos; }

bool lessIgnoringCase(const DirEntry& a, const DirEntry& b) {
  return std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
                                      [](char x, char y) {
                                        return std::tolower(static_cast<unsigned char>(x)) <
                                               std::tolower(static_cast<unsigned char>(y));
                                      });
}

}  // namespace

PathKind pathKind(const std::string& windowsPath) {
  std::string host;
  struct stat info {};
  if (!mapPath(windowsPath, host) || stat(host.c_str(), &info) != 0) return PathKind::None;
  return S_ISDIR(info.st_mode) ? PathKind::Directory : PathKind::File;
}

PathKind findFirstKind(const std::string& windowsPath) {
  if (windowsPath.empty() || windowsPath.back() == '\\' || windowsPath.back() == '/') {
    return PathKind::None;
  }
  size_t slash = windowsPath.find_last_of("\\/");
  std::string folder = slash == std::string::npos ? std::string() : windowsPath.substr(0, slash);
  std::string last = slash == std::string::npos ? windowsPath : windowsPath.substr(slash + 1);
  bool bareDrive = folder.empty() && last.size() == 2 && last[1] == ':';
  if (bareDrive || hasWildcard(folder)) return PathKind::None;
  if (!hasWildcard(last)) return pathKind(windowsPath);
  std::vector<DirEntry> entries;
  if (folder.empty() || !listDirectory(folder, entries)) return PathKind::None;
  std::sort(entries.begin(), entries.end(), lessIgnoringCase);
  for (const DirEntry& entry : entries) {
    if (matchesWildcard(last.c_str(), entry.name.c_str())) return pathKind(folder + "\\" + entry.name);
  }
  return PathKind::None;
}

bool createDirectory(const std::string& windowsPath) {
  std::string host;
  if (!mapPath(windowsPath, host)) return false;
  if (mkdir(host.c_str(), 0755) == 0) return true;
  if (errno == ENOENT) return failWith(kErrorPathNotFound);
  return failWithErrno();
}

bool removeDirectory(const std::string& windowsPath) {
  std::string host;
  if (!mapPath(windowsPath, host)) return false;
  return rmdir(host.c_str()) == 0 || failWithErrno();
}

bool deleteFile(const std::string& windowsPath) {
  std::string host;
  struct stat info {};
  if (!mapPath(windowsPath, host)) return false;
  if (lstat(host.c_str(), &info) != 0) return failWithErrno();
  if (S_ISDIR(info.st_mode) || (S_ISREG(info.st_mode) && readOnlyMode(info)))
    return failWith(kErrorAccessDenied);
  return unlink(host.c_str()) == 0 || failWithErrno();
}

bool setReadOnly(const std::string& windowsPath, bool readOnly) {
  std::string host;
  struct stat info {};
  if (!mapPath(windowsPath, host) || !statPath(host, info)) return false;
  mode_t mode = readOnly ? (info.st_mode & ~0222) : (info.st_mode | 0200);
  return chmod(host.c_str(), mode & 07777) == 0 || failWithErrno();
}

bool isReadOnly(const std::string& windowsPath) {
  std::string host;
  struct stat info {};
  return mapPath(windowsPath, host) && statPath(host, info) && readOnlyMode(info);
}

bool setNormalAttributes(const std::string& windowsPath) { return setReadOnly(windowsPath, false); }

bool copyFile(const std::string& source, const std::string& target, bool failIfExists) {
  std::string sourceHost;
  std::string targetHost;
  struct stat sourceInfo {};
  struct stat targetInfo {};
  if (!mapPath(source, sourceHost) || !mapPath(target, targetHost)) return false;
  if (!statPath(sourceHost, sourceInfo)) return false;
  if (S_ISDIR(sourceInfo.st_mode)) return failWith(kErrorAccessDenied);
  if (stat(targetHost.c_str(), &targetInfo) == 0) {
    if (failIfExists) return failWith(kErrorFileExists);
    if (S_ISDIR(targetInfo.st_mode) || readOnlyMode(targetInfo))
      return failWith(kErrorAccessDenied);
  }
  File in;
  File out;
  if (!in.openHost(sourceHost, FileMode::Read) || !out.openHost(targetHost, FileMode::Write))
    return false;
  setLastError(kErrorSuccess);
  if (!copyContent(in, out)) return false;
  out.close();
  // The copy carries the source's attributes, read-only included.
  return chmod(targetHost.c_str(), sourceInfo.st_mode & 07777) == 0 || failWithErrno();
}

bool listDirectory(const std::string& windowsPath, std::vector<DirEntry>& entries) {
  std::string host;
  if (!mapPath(windowsPath, host)) return false;
  DIR* dir = opendir(host.c_str());
  if (dir == nullptr) return failWithErrno();
  entries.clear();
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat info {};
    std::string child = host == "/" ? "/" + name : host + "/" + name;
    if (lstat(child.c_str(), &info) != 0) continue;
    entries.push_back({utf8ToAnsi(name), S_ISDIR(info.st_mode), S_ISLNK(info.st_mode),
                       static_cast<uint64_t>(info.st_size)});
  }
  closedir(dir);
  return true;
}

DriveType driveType(char driveLetter) {
  auto drive = findDrive(driveLetter);
  return drive ? drive->type : DriveType::NoRootDir;
}

uint32_t logicalDrives() {
  uint32_t mask = 0;
  for (const auto& [letter, drive] : posix::currentMachine()->drives) {
    if (letter >= 'A' && letter <= 'Z') mask |= 1u << (letter - 'A');
  }
  return mask;
}

bool diskSpace(char driveLetter, uint64_t& freeBytes, uint64_t& totalBytes) {
  freeBytes = totalBytes = 0;
  auto drive = findDrive(driveLetter);
  if (!drive) return failWith(kErrorPathNotFound);
  struct statvfs info {};
  if (statvfs(drive->folder.c_str(), &info) != 0) return failWithErrno();
  // The drive's total free bytes, as GetDiskFreeSpaceExA's third result gives them.
  freeBytes = static_cast<uint64_t>(info.f_bfree) * info.f_frsize;
  totalBytes = static_cast<uint64_t>(info.f_blocks) * info.f_frsize;
  return true;
}

}  // namespace plat
