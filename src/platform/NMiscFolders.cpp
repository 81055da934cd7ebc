// NMisc folder helpers: the module's and the host's folders, the Windows and system folders.
#include <atomic>

#include "platform/NMisc.h"
#include "platform/PlatformSystem.h"

namespace NMisc {
namespace {
std::atomic<plat::ModuleHandle> g_thisModule{nullptr};
constexpr size_t kMaxModulePath = 259;  // MAX_PATH less the terminator
}  // namespace

plat::ModuleHandle thisModule() {
  plat::ModuleHandle module = g_thisModule.load();
  return module != nullptr ? module : plat::thisModule();
}

void setThisModule(plat::ModuleHandle module) { g_thisModule.store(module); }

NString getModuleFolder(plat::ModuleHandle module) {
  std::string file = plat::moduleFileName(module);
  if (file.size() > kMaxModulePath) file.resize(kMaxModulePath);
  size_t slash = file.rfind('\\');
  if (slash != std::string::npos) file.resize(slash);
  return NString(file.c_str());
}

NString getWindowsFolder() { return NString(plat::windowsFolder().c_str()); }

NString getSystemFolder(int wow64Flag) {
  if (wow64Flag != 0 && is64BitWindows()) return NString(plat::systemWow64Folder().c_str());
  return NString(plat::systemFolder().c_str());
}

}  // namespace NMisc
