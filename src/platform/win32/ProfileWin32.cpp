// Private-profile lookups of the win32 backend: GetPrivateProfileIntA itself.
#include "platform/PlatformProfile.h"
#include "platform/win32/WindowsApi.h"

namespace plat {

int getPrivateProfileInt(const std::string& section, const std::string& key, int fallback,
                         const std::string& windowsPath) {
  return static_cast<int>(
      GetPrivateProfileIntA(section.c_str(), key.c_str(), fallback, windowsPath.c_str()));
}

}  // namespace plat
