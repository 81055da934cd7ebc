// Loading the module and resolving its exports by name.
#include "HostModule.h"

namespace cvdt::host {

bool HostModule::load(const std::string& windowsPath, std::string& error) {
  if (!m_library.load(windowsPath)) {
    error = "cannot load " + windowsPath + ": " + m_library.error();
    return false;
  }
  auto find = [&](const char* name) {
    void* symbol = m_library.symbol(name);
    if (symbol == nullptr) error = std::string("the module lacks ") + name;
    return symbol;
  };
  aDistFunc = reinterpret_cast<CommonFn>(find("cvfADistFunc"));
  aDistCmd = reinterpret_cast<CommonFn>(find("cvfADistCmd"));
  aDistNow = reinterpret_cast<CommonFn>(find("cvfADistNow"));
  nDistFunc = reinterpret_cast<FuncFn>(find("cvfNDistFunc"));
  nDistCmd = reinterpret_cast<CommonFn>(find("cvfNDistCmd"));
  nDistCmdOuterRequest = reinterpret_cast<BlockFn>(find("cvfNDistCmdOuterRequest"));
  nDistUrgentTopCancelForceCmd = reinterpret_cast<BlockFn>(find("cvfNDistUrgentTopCancelForceCmd"));
  if (!error.empty()) m_library.unload();
  return error.empty();
}

}  // namespace cvdt::host
