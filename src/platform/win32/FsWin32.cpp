// Folders, files, drives and disk space of the win32 backend on the Windows API, and the
// per-thread WOW64 file-system redirection switch.
#include <cctype>

#include "platform/PlatformFs.h"
#include "platform/PlatformSystem.h"
#include "platform/WinError.h"
#include "platform/win32/WindowsApi.h"

namespace plat {
namespace {

thread_local bool t_redirectionDisabled = false;

bool hasReparsePoint(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

// A 32-bit process on 64-bit Windows: the only one whose system folder the system redirects.
bool isWow64Process() {
  using IsWow64Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
  auto isWow64 = win32::loadedFunction<IsWow64Fn>("kernel32.dll", "IsWow64Process");
  BOOL wow64 = FALSE;
  return isWow64 != nullptr && isWow64(GetCurrentProcess(), &wow64) && wow64;
}

std::string driveRoot(char driveLetter) { return std::string(1, driveLetter) + ":\\"; }

PathKind kindOf(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::Directory : PathKind::File;
}

// Clears or sets the read-only attribute, keeping the others.
bool changeReadOnly(const std::string& path, bool readOnly) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  DWORD wanted = readOnly ? (attributes | FILE_ATTRIBUTE_READONLY)
                          : (attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  if (wanted == 0) wanted = FILE_ATTRIBUTE_NORMAL;
  return wanted == attributes || SetFileAttributesA(path.c_str(), wanted) != 0;
}

}  // namespace

// The host path is the Windows path itself; a drive letter this machine lacks names nothing.
std::string toHostPath(const std::string& windowsPath) {
  if (windowsPath.empty()) {
    win32::failWith(ERROR_INVALID_NAME);
    return {};
  }
  if (windowsPath.size() >= 2 && windowsPath[1] == ':') {
    int letter = std::toupper(static_cast<unsigned char>(windowsPath[0]));
    if (letter < 'A' || letter > 'Z' || (GetLogicalDrives() & (1u << (letter - 'A'))) == 0) {
      win32::failWith(ERROR_PATH_NOT_FOUND);
      return {};
    }
  }
  return windowsPath;
}

std::string toWindowsPath(const std::string& hostPath) {
  char buffer[MAX_PATH * 4];
  DWORD length = GetFullPathNameA(hostPath.c_str(), sizeof buffer, buffer, nullptr);
  if (length == 0 || length >= sizeof buffer) return hostPath;
  return std::string(buffer, length);
}

PathKind pathKind(const std::string& windowsPath) {
  DWORD attributes = GetFileAttributesA(windowsPath.c_str());
  return attributes == INVALID_FILE_ATTRIBUTES ? PathKind::None : kindOf(attributes);
}

PathKind findFirstKind(const std::string& windowsPath) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(windowsPath.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return PathKind::None;
  FindClose(search);
  return kindOf(found.dwFileAttributes);
}

bool createDirectory(const std::string& windowsPath) {
  return CreateDirectoryA(windowsPath.c_str(), nullptr) != 0;
}

bool removeDirectory(const std::string& windowsPath) {
  return RemoveDirectoryA(windowsPath.c_str()) != 0;
}

bool deleteFile(const std::string& windowsPath) { return DeleteFileA(windowsPath.c_str()) != 0; }

bool setReadOnly(const std::string& windowsPath, bool readOnly) {
  return changeReadOnly(windowsPath, readOnly);
}

bool isReadOnly(const std::string& windowsPath) {
  DWORD attributes = GetFileAttributesA(windowsPath.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool setNormalAttributes(const std::string& windowsPath) {
  return SetFileAttributesA(windowsPath.c_str(), FILE_ATTRIBUTE_NORMAL) != 0;
}

bool copyFile(const std::string& source, const std::string& target, bool failIfExists) {
  return CopyFileA(source.c_str(), target.c_str(), failIfExists ? TRUE : FALSE) != 0;
}

bool listDirectory(const std::string& windowsPath, std::vector<DirEntry>& entries) {
  std::string pattern = windowsPath;
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
  pattern += '*';
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  entries.clear();
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    bool link = hasReparsePoint(found.dwFileAttributes);
    bool directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !link;
    uint64_t size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    entries.push_back({name, directory, link, size});
  } while (FindNextFileA(search, &found));
  DWORD error = GetLastError();
  FindClose(search);
  return error == ERROR_NO_MORE_FILES || win32::failWith(error);
}

DriveType driveType(char driveLetter) {
  return static_cast<DriveType>(GetDriveTypeA(driveRoot(driveLetter).c_str()));
}

uint32_t logicalDrives() { return GetLogicalDrives(); }

bool diskSpace(char driveLetter, uint64_t& freeBytes, uint64_t& totalBytes) {
  freeBytes = totalBytes = 0;
  std::string root = driveRoot(driveLetter);
  using FreeSpaceExFn = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
  auto freeSpaceEx = win32::loadedFunction<FreeSpaceExFn>("kernel32.dll", "GetDiskFreeSpaceExA");
  if (freeSpaceEx != nullptr) {
    ULARGE_INTEGER available, total, totalFree;
    if (!freeSpaceEx(root.c_str(), &available, &total, &totalFree)) return false;
    freeBytes = totalFree.QuadPart;
    totalBytes = total.QuadPart;
    return true;
  }
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
  if (!GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters))
    return false;
  uint64_t cluster = static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector;
  freeBytes = cluster * freeClusters;
  totalBytes = cluster * clusters;
  return true;
}

// Only a 32-bit process on 64-bit Windows is redirected; elsewhere the switch is the thread's
// flag alone, so that callers pair their calls the same way everywhere.
bool disableRedirection(void** old) {
  if (isWow64Process()) {
    using DisableFn = BOOL(WINAPI*)(PVOID*);
    auto disable = win32::loadedFunction<DisableFn>("kernel32.dll", "Wow64DisableWow64FsRedirection");
    if (disable == nullptr) return win32::failWith(ERROR_PROC_NOT_FOUND);
    if (!disable(old)) return false;
  } else if (old != nullptr) {
    *old = reinterpret_cast<void*>(static_cast<intptr_t>(t_redirectionDisabled));
  }
  t_redirectionDisabled = true;
  return true;
}

bool revertRedirection(void* old) {
  if (isWow64Process()) {
    using RevertFn = BOOL(WINAPI*)(PVOID);
    auto revert = win32::loadedFunction<RevertFn>("kernel32.dll", "Wow64RevertWow64FsRedirection");
    if (revert == nullptr) return win32::failWith(ERROR_PROC_NOT_FOUND);
    if (!revert(old)) return false;
    t_redirectionDisabled = false;
    return true;
  }
  t_redirectionDisabled = reinterpret_cast<intptr_t>(old) != 0;
  return true;
}

bool redirectionEnabled() { return !t_redirectionDisabled; }

}  // namespace plat
