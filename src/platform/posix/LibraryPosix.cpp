// Dynamic libraries of the posix backend: ELF shared objects under their Windows names.
#include <dlfcn.h>

#include "platform/PlatformFs.h"
#include "platform/PlatformLibrary.h"

namespace plat {

bool Library::load(const std::string& windowsPath) {
  unload();
  std::string host = toHostPath(windowsPath);
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
