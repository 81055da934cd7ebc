// Private-profile lookups of the Linux backend: the ini file is read on every call, as Windows
// does for files that are not mapped to the registry.
#include "platform/IniFile.h"
#include "platform/PlatformFs.h"
#include "platform/PlatformProfile.h"

namespace plat {

int getPrivateProfileInt(const std::string& section, const std::string& key, int fallback,
                         const std::string& windowsPath) {
  std::string host = toHostPath(windowsPath);
  IniFile ini;
  if (host.empty() || !ini.load(host)) return fallback;
  return static_cast<int>(ini.getInt(section, key, fallback));
}

}  // namespace plat
