// Machine and process facts of the win32 backend: version and processor queries, the Windows
// folders, ids, clocks, UUIDs and module file names. Functions that older Windows versions lack
// are looked up by name; a missing one answers as a failed call.
#include <ctime>
#include <list>
#include <mutex>

#include "platform/PlatformSystem.h"
#include "platform/win32/WindowsApi.h"

namespace plat {
namespace {

// Module handles that tests and tools made for files of their choice: each points at its path.
struct FakeModules {
  std::mutex mutex;
  std::list<std::string> paths;  // stable addresses
};

FakeModules& fakeModules() {
  static FakeModules modules;
  return modules;
}

const std::string* fakeModulePath(ModuleHandle module) {
  FakeModules& modules = fakeModules();
  std::lock_guard<std::mutex> lock(modules.mutex);
  for (const std::string& path : modules.paths) {
    if (static_cast<const void*>(&path) == module) return &path;
  }
  return nullptr;
}

// Calls a GetXxxDirectoryA-shaped function; empty on failure.
template <typename Query>
std::string folderFrom(Query query) {
  char buffer[MAX_PATH + 1] = {};
  UINT length = query(buffer, MAX_PATH);
  return length == 0 || length > MAX_PATH ? std::string() : std::string(buffer, length);
}

}  // namespace

bool osVersion(OsVersion& out) {
  OSVERSIONINFOEXA info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) return false;
  out.platformId = info.dwPlatformId;
  out.major = info.dwMajorVersion;
  out.minor = info.dwMinorVersion;
  out.build = info.dwBuildNumber;
  out.csdVersion = info.szCSDVersion;
  out.servicePackMajor = info.wServicePackMajor;
  out.servicePackMinor = info.wServicePackMinor;
  out.suiteMask = info.wSuiteMask;
  out.productType = info.wProductType;
  return true;
}

bool isNative64Bit() {
  using NativeInfoFn = void(WINAPI*)(LPSYSTEM_INFO);
  auto nativeInfo = win32::loadedFunction<NativeInfoFn>("kernel32.dll", "GetNativeSystemInfo");
  if (nativeInfo == nullptr) return false;
  SYSTEM_INFO info{};
  nativeInfo(&info);
  return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
}

// A Windows program's width is fixed when it is built.
bool isProcess64Bit() { return sizeof(void*) == 8; }
void setProcess64Bit(bool) {}

uint16_t systemLanguage() { return GetSystemDefaultLangID(); }

bool environmentVariable(const std::string& name, std::string& value) {
  SetLastError(ERROR_SUCCESS);
  DWORD size = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
  if (size == 0) {
    if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
    value.clear();
    return true;
  }
  std::string buffer(size, '\0');
  DWORD length = GetEnvironmentVariableA(name.c_str(), buffer.data(), size);
  if (length >= size) return false;  // changed between the two calls
  buffer.resize(length);
  value = buffer;
  return true;
}

std::string windowsFolder() { return folderFrom(GetWindowsDirectoryA); }
std::string systemFolder() { return folderFrom(GetSystemDirectoryA); }

std::string systemWow64Folder() {
  using Wow64FolderFn = UINT(WINAPI*)(LPSTR, UINT);
  auto query = win32::loadedFunction<Wow64FolderFn>("kernel32.dll", "GetSystemWow64DirectoryA");
  return query == nullptr ? std::string() : folderFrom(query);
}

uint32_t processId() { return GetCurrentProcessId(); }
uint32_t threadId() { return GetCurrentThreadId(); }
uint32_t tickCount() { return GetTickCount(); }

bool localTime(std::time_t when, std::tm& out) {
  __time64_t time = when;
  return _localtime64_s(&out, &time) == 0;
}

std::time_t makeLocalTime(std::tm fields) {
  fields.tm_isdst = -1;
  return std::mktime(&fields);
}

bool createUuidText(std::string& out) {
  UUID uuid;
  RPC_STATUS status = UuidCreate(&uuid);
  if (status != RPC_S_OK && status != RPC_S_UUID_LOCAL_ONLY) return win32::failWith(status);
  RPC_CSTR text = nullptr;
  status = UuidToStringA(&uuid, &text);
  if (status != RPC_S_OK || text == nullptr) return win32::failWith(status);
  out = reinterpret_cast<const char*>(text);
  RpcStringFreeA(&text);
  return true;
}

void forgetModuleFileNames() {}

ModuleHandle thisModule() {
  static const char marker = 0;
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     &marker, &module);
  return module;
}

std::string moduleFileName(ModuleHandle module) {
  if (module != nullptr) {
    if (const std::string* fake = fakeModulePath(module)) return *fake;
  }
  char buffer[1024] = {};
  auto handle = static_cast<HMODULE>(const_cast<void*>(module));
  DWORD length = GetModuleFileNameA(handle, buffer, sizeof buffer);
  return length == 0 || length >= sizeof buffer ? std::string() : std::string(buffer, length);
}

ModuleHandle moduleHandleForFile(const std::string& windowsPath) {
  FakeModules& modules = fakeModules();
  std::lock_guard<std::mutex> lock(modules.mutex);
  for (const std::string& path : modules.paths) {
    if (path == windowsPath) return &path;
  }
  modules.paths.push_back(windowsPath);
  return &modules.paths.back();
}

}  // namespace plat
