// Private-profile (ini file) lookups on files named by Windows paths.
#pragma once

#include <string>

namespace plat {

// GetPrivateProfileIntA: the integer under [section] key of the file, or fallback when the
// file, the section or the key is absent. Sections and keys compare ignoring case.
int getPrivateProfileInt(const std::string& section, const std::string& key, int fallback,
                         const std::string& windowsPath);

}  // namespace plat
