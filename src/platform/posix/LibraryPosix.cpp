// Dynamic libraries of the Linux backend: ELF shared objects under their Windows names.
#include <dlfcn.h>

#include <vector>

#include "platform/PlatformFs.h"
#include "platform/PlatformLibrary.h"
#include "platform/PlatformSystem.h"

namespace plat {
namespace {

// A bare file name is searched for as LoadLibrary does: the host program's folder, the system
// folder, the Windows folder, then the current folder. Anything else is taken as it stands.
std::string resolveLibraryPath(const std::string& windowsPath) {
  if (windowsPath.find_first_of("\\/:") != std::string::npos) return toHostPath(windowsPath);
  std::string program = moduleFileName(nullptr);
  size_t slash = program.rfind('\\');
  std::vector<std::string> folders;
  if (slash != std::string::npos) folders.push_back(program.substr(0, slash));
  folders.push_back(systemFolder());
  folders.push_back(windowsFolder());
  for (const std::string& folder : folders) {
    if (folder.empty()) continue;
    std::string candidate = folder + "\\" + windowsPath;
    if (pathKind(candidate) == PathKind::File) return toHostPath(candidate);
  }
  return toHostPath(windowsPath);
}

}  // namespace

bool Library::load(const std::string& windowsPath) {
  unload();
  std::string host = resolveLibraryPath(windowsPath);
  if (host.empty()) {
    m_strError = "no such drive: " + windowsPath;
    return false;
  }
  m_pHandle = dlopen(host.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (m_pHandle == nullptr) {
    const char* message = dlerror();
    m_strError = message ? message : "cannot load " + host;
  }
  return m_pHandle != nullptr;
}

void* Library::symbol(const char* name) const {
  return m_pHandle != nullptr && name != nullptr ? dlsym(m_pHandle, name) : nullptr;
}

void Library::unload() {
  if (m_pHandle != nullptr) dlclose(m_pHandle);
  m_pHandle = nullptr;
}

}  // namespace plat
