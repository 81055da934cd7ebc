// Machine and process facts of the Linux backend, taken from machine.ini and the host system.
#include <dlfcn.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <strings.h>
#include <list>
#include <map>
#include <mutex>
#include <random>

#include "platform/PlatformFs.h"
#include "platform/PlatformSystem.h"
#include "platform/posix/MachineConfig.h"

namespace plat {
namespace {

std::atomic<bool> g_process64Bit{false};

std::string hostExecutablePath() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  path[n] = '\0';
  return path;
}

std::string baseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct FakeModules {
  std::mutex mutex;
  std::list<std::string> paths;  // stable addresses: a handle points at its path
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

// The host file of the loaded object that holds an address. Answers are kept: the loader's lock
// that dladdr takes is held while a module is being unloaded, and a module's threads that trace
// during its unload must not wait for it.
std::mutex g_knownMutex;
std::map<ModuleHandle, std::string>* g_known = nullptr;  // released by forgetModuleFileNames

std::string loadedFileOf(ModuleHandle module) {
  std::lock_guard<std::mutex> lock(g_knownMutex);
  if (g_known == nullptr) g_known = new std::map<ModuleHandle, std::string>;
  auto found = g_known->find(module);
  if (found != g_known->end()) return found->second;
  Dl_info info{};
  if (dladdr(module, &info) == 0) return {};
  std::string file = info.dli_fname ? info.dli_fname : "";
  if (file.empty() || file[0] != '/') file = hostExecutablePath();
  g_known->emplace(module, file);
  return file;
}

}  // namespace

bool osVersion(OsVersion& out) {
  out = posix::currentMachine()->version;
  return true;
}

bool isNative64Bit() { return posix::currentMachine()->is64Bit; }
bool isProcess64Bit() { return g_process64Bit.load(); }
void setProcess64Bit(bool native64) { g_process64Bit.store(native64); }
uint16_t systemLanguage() { return posix::currentMachine()->language; }

std::string windowsFolder() { return posix::currentMachine()->windowsFolder; }

bool environmentVariable(const std::string& name, std::string& value) {
  auto is = [&name](const char* other) { return strcasecmp(name.c_str(), other) == 0; };
  if (is("windir") || is("SystemRoot")) {
    value = windowsFolder();
    return !value.empty();
  }
  if (is("ProgramFiles")) {
    // A 32-bit program on 64-bit Windows sees the (x86) folder, as machine init lays it out.
    value = isNative64Bit() && !isProcess64Bit() ? "C:\\Program Files (x86)" : "C:\\Program Files";
    return true;
  }
  const char* text = std::getenv(name.c_str());
  if (text == nullptr) return false;
  value = text;
  return true;
}

std::string systemFolder() {
  std::string windows = windowsFolder();
  return windows.empty() ? windows : windows + "\\System32";
}

std::string systemWow64Folder() {
  std::string windows = windowsFolder();
  return windows.empty() || !isNative64Bit() ? std::string() : windows + "\\SysWOW64";
}

uint32_t processId() { return static_cast<uint32_t>(getpid()); }
uint32_t threadId() { return static_cast<uint32_t>(syscall(SYS_gettid)); }

uint32_t tickCount() {
  auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

bool localTime(std::time_t when, std::tm& out) { return localtime_r(&when, &out) != nullptr; }

std::time_t makeLocalTime(std::tm fields) {
  fields.tm_isdst = -1;
  return std::mktime(&fields);
}

bool createUuidText(std::string& out) {
  char text[64] = {};
  if (FILE* file = std::fopen("/proc/sys/kernel/random/uuid", "r")) {
    size_t n = std::fread(text, 1, 36, file);
    std::fclose(file);
    if (n == 36) {
      out.assign(text, 36);
      return true;
    }
  }
  std::random_device device;
  uint8_t bytes[16];
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(device());
  bytes[6] = (bytes[6] & 0x0F) | 0x40;
  bytes[8] = (bytes[8] & 0x3F) | 0x80;
  std::snprintf(text, sizeof text,
                "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", bytes[0],
                bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8],
                bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
  out = text;
  return true;
}

void forgetModuleFileNames() {
  std::lock_guard<std::mutex> lock(g_knownMutex);
  delete g_known;
  g_known = nullptr;
}

ModuleHandle thisModule() {
  static const char marker = 0;
  return &marker;
}

std::string moduleFileName(ModuleHandle module) {
  if (module == nullptr) {
    std::string agent = posix::currentMachine()->agentFolder;
    std::string exe = hostExecutablePath();
    if (!agent.empty()) return agent + "\\" + baseName(exe);
    return exe.empty() ? std::string() : toWindowsPath(exe);
  }
  if (const std::string* fake = fakeModulePath(module)) return *fake;
  std::string file = loadedFileOf(module);
  return file.empty() ? std::string() : toWindowsPath(file);
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
