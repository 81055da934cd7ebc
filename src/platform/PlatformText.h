// Text services of the machine: its ANSI and OEM code pages, the conversions between them, UTF-16
// and the host's own UTF-8 text, and the locale-aware case-insensitive comparison.
//
// Narrow text inside the module, and every narrow text the platform functions take or give
// (paths, registry names and strings, command lines), is in the machine's ANSI code page, as the
// A functions of Windows are. The backend converts where the machine meets the host (host file
// names, program arguments); tools that show narrow text to a person convert it to UTF-8.
// Every function is thread-safe and never fails: a character the target cannot hold becomes "?"
// (narrow) or U+FFFD (UTF-16), one for each character or undecodable byte.
#pragma once

#include <cstdint>
#include <string>

namespace plat {

inline constexpr uint32_t kCodePageUtf8 = 65001;

struct CodePages {
  uint32_t ansi = 1252;
  uint32_t oem = 437;
};

// The ANSI and OEM code pages Windows gives a system language (a LANGID such as 1042);
// 1252 and 437 for a language it does not know.
CodePages codePagesForLanguage(uint16_t language);

// GetACP / GetOEMCP of the machine.
uint32_t ansiCodePage();
uint32_t oemCodePage();

// WideCharToMultiByte(CP_ACP): UTF-16 code units to the machine's ANSI code page.
std::string wideToAnsi(const std::u16string& text);
// MultiByteToWideChar(CP_ACP).
std::u16string ansiToWide(const std::string& text);
// MultiByteToWideChar(CP_OEMCP).
std::u16string oemToWide(const std::string& text);
// True when conversions of this code page are available (65001 always is).
bool isCodePageAvailable(uint32_t codePage);
// Either direction for a given code page (65001 is UTF-8). A code page without conversions
// keeps ASCII and replaces everything else.
std::string wideToCodePage(uint32_t codePage, const std::u16string& text);
std::u16string codePageToWide(uint32_t codePage, const std::string& text);

// The host's own text, UTF-8: a malformed sequence decodes as U+FFFD per byte.
std::string wideToUtf8(const std::u16string& text);
std::u16string utf8ToWide(const std::string& text);
// The machine's ANSI text to and from UTF-8. On a UTF-8 machine (65001) both return the text
// unchanged, bytes that are no UTF-8 included.
std::string ansiToUtf8(const std::string& text);
std::string utf8ToAnsi(const std::string& text);

// lstrcmpiA: -1, 0 or 1.
int compareNoCase(const char* a, const char* b);

}  // namespace plat
