// The machine's file system as Windows paths: drive mapping, folder and file operations,
// drive types, disk space and the per-thread WOW64 redirection switch.
//
// Paths are narrow Windows paths ("C:\Program Files\x"). Every function that fails sets
// plat::lastError() to a Windows error code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plat {

enum class PathKind { None = 0, File = 1, Directory = 2 };

// GetDriveType codes.
enum class DriveType : uint32_t {
  Unknown = 0,
  NoRootDir = 1,
  Removable = 2,
  Fixed = 3,
  Remote = 4,
  CdRom = 5,
  RamDisk = 6,
};

struct DirEntry {
  std::string name;  // name as stored on disk, in the ANSI code page, without the folder
  bool isDirectory = false;  // a link to a folder is not a directory here
  bool isLink = false;
  uint64_t size = 0;
};

// Host path (UTF-8) for a Windows path (ANSI); empty when the path names no drive of this machine.
// Components that do not exist as written are matched ignoring case; on a 64-bit machine the
// system folder is redirected for this 32-bit module unless the thread switched that off.
std::string toHostPath(const std::string& windowsPath);
// Windows path (ANSI; "?" for a character the code page lacks) for a host path: under a drive's folder it is "X:\...", anything else is "Z:\...".
std::string toWindowsPath(const std::string& hostPath);

PathKind pathKind(const std::string& windowsPath);
// What FindFirstFileA finds for a path: the kind of the first match. "*" and "?" in the last
// component match names ignoring case; a path ending in a backslash, a bare drive root and
// wildcards in a folder component find nothing.
PathKind findFirstKind(const std::string& windowsPath);
// Creates one folder level; fails (kErrorAlreadyExists) when something of that name exists.
bool createDirectory(const std::string& windowsPath);
// Removes an empty folder.
bool removeDirectory(const std::string& windowsPath);
// Deletes a file; a read-only file is refused (kErrorAccessDenied), as on Windows.
bool deleteFile(const std::string& windowsPath);
bool setReadOnly(const std::string& windowsPath, bool readOnly);
bool isReadOnly(const std::string& windowsPath);
// Clears the read-only attribute (FILE_ATTRIBUTE_NORMAL).
bool setNormalAttributes(const std::string& windowsPath);
// Copies a file; a read-only target is refused. With failIfExists, an existing target fails.
bool copyFile(const std::string& source, const std::string& target, bool failIfExists);
// Lists a folder's entries without "." and "..". False when the folder cannot be listed.
bool listDirectory(const std::string& windowsPath, std::vector<DirEntry>& entries);

DriveType driveType(char driveLetter);
// GetLogicalDrives: bit 0 for A: up to bit 25 for Z:, set for every drive the machine has.
uint32_t logicalDrives();
// Total free bytes (whoever may use them) and total bytes of the drive, as
// GetDiskFreeSpaceExA gives them. False (both 0) when the drive is unknown.
bool diskSpace(char driveLetter, uint64_t& freeBytes, uint64_t& totalBytes);

// WOW64 file-system redirection for the calling thread. Only meaningful on a 64-bit machine;
// old receives the previous state to pass to revertRedirection.
bool disableRedirection(void** old);
bool revertRedirection(void* old);
bool redirectionEnabled();

}  // namespace plat
