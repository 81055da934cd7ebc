// Facts about the running machine and process: Windows version, processor, language, the
// Windows folders, ids, clocks, unique ids and module file names.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace plat {

// What GetVersionExA (OSVERSIONINFOEXA) reports.
struct OsVersion {
  uint32_t platformId = 2;  // 0 Win32s, 1 Windows 9x, 2 NT
  uint32_t major = 10;
  uint32_t minor = 0;
  uint32_t build = 19045;
  std::string csdVersion;  // "Service Pack 3", or empty
  uint16_t servicePackMajor = 0;
  uint16_t servicePackMinor = 0;
  uint16_t suiteMask = 0x100;
  uint8_t productType = 1;  // 1 workstation, 2 domain controller, 3 server
};

inline constexpr uint32_t kPlatformWin32s = 0;
inline constexpr uint32_t kPlatformWindows9x = 1;
inline constexpr uint32_t kPlatformNt = 2;

// Returns false, with out untouched, when the version cannot be read.
bool osVersion(OsVersion& out);
// True when the native processor architecture is AMD64 (the machine runs 64-bit Windows).
bool isNative64Bit();
// Whether this process runs as a native 64-bit program. The module is a 32-bit program, so by
// default it sees the 32-bit registry view and a redirected system folder on a 64-bit machine;
// tools that stand for 64-bit Windows programs (regedit.exe) switch this on at start.
bool isProcess64Bit();
void setProcess64Bit(bool native64);
// GetSystemDefaultLangID.
uint16_t systemLanguage();

// GetEnvironmentVariableA as this module sees it: false when the variable is not set. The
// machine's own variables ("windir", "SystemRoot", "ProgramFiles") come from the machine, not
// from the host process.
bool environmentVariable(const std::string& name, std::string& value);

// GetWindowsDirectoryA / GetSystemDirectoryA / GetSystemWow64DirectoryA; empty on failure
// (the last one is empty on a 32-bit machine).
std::string windowsFolder();
std::string systemFolder();
std::string systemWow64Folder();

uint32_t processId();
uint32_t threadId();
// Milliseconds since an arbitrary start, wrapping at 2^32 (GetTickCount).
uint32_t tickCount();

// Local calendar time of a time_t; false when it cannot be converted (out then holds nothing
// to rely on).
bool localTime(std::time_t when, std::tm& out);
// time_t of a local calendar time (fields as std::mktime takes them); -1 on failure.
std::time_t makeLocalTime(std::tm fields);

// UuidCreate + UuidToStringA: lower-case "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx"; false, with out
// untouched, when no identifier can be made.
bool createUuidText(std::string& out);

// An instance handle: names a module file of this process.
using ModuleHandle = const void*;
// Handle of the module that holds this code (the cvdt library, or a test program).
ModuleHandle thisModule();
// Windows path of a module's file (GetModuleFileNameA). A null handle names the host
// program. Empty when the handle is unknown.
std::string moduleFileName(ModuleHandle module);
// Forgets the module file names learnt so far (a library that is about to be unloaded).
void forgetModuleFileNames();
// A handle that names the given Windows path as its module file, so that tests and tools can
// place a module inside a machine. The handle stays valid for the life of the process.
ModuleHandle moduleHandleForFile(const std::string& windowsPath);

}  // namespace plat
