// Texts and settings of the replacement V3 libraries.
#include "V3Text.h"

#include "platform/IniFile.h"
#include "platform/PlatformFs.h"
#include "platform/PlatformSystem.h"
#include "platform/PlatformText.h"

namespace cvdt::v3 {

std::string fromLibraryText(const V3Char* text) {
  if (text == nullptr) return std::string();
  std::u16string wide;
  for (const V3Char* p = text; *p != 0; ++p) wide.push_back(static_cast<char16_t>(*p));
  return plat::wideToAnsi(wide);
}

int readSetting(const V3Char* name, int defaultValue, const V3Char* settingsPath) {
  std::string host = plat::toHostPath(fromLibraryText(settingsPath));
  plat::IniFile settings;
  if (host.empty() || !settings.load(host)) return defaultValue;
  return static_cast<int>(settings.getInt("V3Sec", fromLibraryText(name), defaultValue));
}

std::string ownFolder() {
  std::string path = plat::moduleFileName(plat::thisModule());
  // The answer is cached by this library's own copy of the platform layer, which the caller
  // unloads after each call: release it now.
  plat::forgetModuleFileNames();
  size_t slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace cvdt::v3
