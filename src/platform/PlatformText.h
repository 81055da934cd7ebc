// Text services of the machine: the ANSI code page conversions and the locale-aware
// case-insensitive comparison.
#pragma once

#include <string>

namespace plat {

// WideCharToMultiByte(CP_ACP): UTF-16 code units to the machine's ANSI code page. Units that
// the code page cannot hold become "?".
std::string wideToAnsi(const std::u16string& text);
// MultiByteToWideChar(CP_ACP).
std::u16string ansiToWide(const std::string& text);
// lstrcmpiA: -1, 0 or 1.
int compareNoCase(const char* a, const char* b);

}  // namespace plat
