// Shared helpers of the replacement V3 libraries: texts from the caller and the settings file.
#pragma once

#include <string>

#include "detect/V3Library.h"

namespace cvdt::v3 {

// The caller's UTF-16 text in the machine's ANSI code page; empty for null.
std::string fromLibraryText(const V3Char* text);
// The integer of key name in section [V3Sec] of the ini-style settings file at a Windows
// path, or defaultValue when the file or the key is absent.
int readSetting(const V3Char* name, int defaultValue, const V3Char* settingsPath);
// The Windows folder of the library that holds this code, with a trailing backslash.
std::string ownFolder();

}  // namespace cvdt::v3
