// Loading the module and resolving its exports by name.
#include "HostModule.h"

namespace cvdt::host {

plat::Status HostModule::load(const std::string& windowsPath) {
  if (!m_library.load(windowsPath))
    return plat::Status::failure("cannot load " + windowsPath + ": " + m_library.error());
  std::string missing;
  auto find = [&](const char* name) {
    void* symbol = m_library.symbol(name);
    if (symbol == nullptr) missing = std::string("the module lacks ") + name;
    return symbol;
  };
  aDistFunc = reinterpret_cast<CommonFn>(find("cvfADistFunc"));
  aDistCmd = reinterpret_cast<CommonFn>(find("cvfADistCmd"));
  aDistNow = reinterpret_cast<CommonFn>(find("cvfADistNow"));
  nDistFunc = reinterpret_cast<FuncFn>(find("cvfNDistFunc"));
  nDistCmd = reinterpret_cast<CommonFn>(find("cvfNDistCmd"));
  nDistCmdOuterRequest = reinterpret_cast<BlockFn>(find("cvfNDistCmdOuterRequest"));
  nDistUrgentTopCancelForceCmd = reinterpret_cast<BlockFn>(find("cvfNDistUrgentTopCancelForceCmd"));
  if (missing.empty()) return {};
  m_library.unload();
  return plat::Status::failure(missing);
}

}  // namespace cvdt::host
