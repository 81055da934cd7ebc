// Names of the registry's predefined roots, long as regedit writes them and short as .reg
// files and tools may give them.
#include "platform/AsciiText.h"
#include "platform/PlatformRegistry.h"

namespace plat {
namespace {

struct RootName {
  RegRoot root;
  const char* name;
  const char* shortName;
};

constexpr RootName kRoots[] = {
    {RegRoot::ClassesRoot, "HKEY_CLASSES_ROOT", "HKCR"},
    {RegRoot::CurrentUser, "HKEY_CURRENT_USER", "HKCU"},
    {RegRoot::LocalMachine, "HKEY_LOCAL_MACHINE", "HKLM"},
    {RegRoot::Users, "HKEY_USERS", "HKU"},
    {RegRoot::CurrentConfig, "HKEY_CURRENT_CONFIG", "HKCC"},
};

}  // namespace

const char* regRootName(RegRoot root) {
  for (const RootName& entry : kRoots) {
    if (entry.root == root) return entry.name;
  }
  return "";
}

bool regRootFromName(const std::string& name, RegRoot& root) {
  for (const RootName& entry : kRoots) {
    if (equalsAsciiNoCase(name, entry.name) || equalsAsciiNoCase(name, entry.shortName)) {
      root = entry.root;
      return true;
    }
  }
  return false;
}

}  // namespace plat
