// Text services of the win32 backend: the system's code pages (GetACP, GetOEMCP) and their
// conversions (WideCharToMultiByte, MultiByteToWideChar), and lstrcmpiA.
#include "platform/PlatformText.h"
#include "platform/win32/WindowsApi.h"

namespace plat {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

bool isAscii(const std::string& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// "?" for what the code page cannot hold; UTF-8 takes no default character.
std::string toCodePage(UINT codePage, const std::u16string& text) {
  if (text.empty()) return {};
  auto wide = reinterpret_cast<const wchar_t*>(text.data());
  int units = static_cast<int>(text.size());
  const char* fallback = codePage == CP_UTF8 ? nullptr : "?";
  int size = WideCharToMultiByte(codePage, 0, wide, units, nullptr, 0, fallback, nullptr);
  std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) WideCharToMultiByte(codePage, 0, wide, units, out.data(), size, fallback, nullptr);
  return out;
}

std::u16string fromCodePage(UINT codePage, const std::string& text) {
  if (text.empty()) return {};
  int bytes = static_cast<int>(text.size());
  int size = MultiByteToWideChar(codePage, 0, text.data(), bytes, nullptr, 0);
  std::u16string out(static_cast<size_t>(size > 0 ? size : 0), u'\0');
  if (size > 0)
    MultiByteToWideChar(codePage, 0, text.data(), bytes, reinterpret_cast<wchar_t*>(out.data()), size);
  return out;
}

}  // namespace

uint32_t ansiCodePage() { return GetACP(); }
uint32_t oemCodePage() { return GetOEMCP(); }

bool isCodePageAvailable(uint32_t codePage) {
  return codePage == kCodePageUtf8 || IsValidCodePage(codePage) != 0;
}

// A code page the system cannot convert keeps ASCII and replaces everything else.
std::string wideToCodePage(uint32_t codePage, const std::u16string& text) {
  if (codePage == kCodePageUtf8) return wideToUtf8(text);
  if (isCodePageAvailable(codePage)) return toCodePage(codePage, text);
  std::string out;
  for (char16_t unit : text) out += unit < 0x80 ? static_cast<char>(unit) : '?';
  return out;
}

std::u16string codePageToWide(uint32_t codePage, const std::string& text) {
  if (codePage == kCodePageUtf8) return utf8ToWide(text);
  if (isCodePageAvailable(codePage)) return fromCodePage(codePage, text);
  std::u16string out;
  for (char c : text) out += static_cast<unsigned char>(c) < 0x80 ? static_cast<char16_t>(c) : u'\xFFFD';
  return out;
}

std::string wideToAnsi(const std::u16string& text) { return toCodePage(CP_ACP, text); }
std::u16string ansiToWide(const std::string& text) { return fromCodePage(CP_ACP, text); }
std::u16string oemToWide(const std::string& text) { return fromCodePage(CP_OEMCP, text); }

std::string ansiToUtf8(const std::string& text) {
  if (ansiCodePage() == kCodePageUtf8 || isAscii(text)) return text;
  return wideToUtf8(ansiToWide(text));
}

std::string utf8ToAnsi(const std::string& text) {
  if (ansiCodePage() == kCodePageUtf8 || isAscii(text)) return text;
  return wideToAnsi(utf8ToWide(text));
}

int compareNoCase(const char* a, const char* b) {
  int result = lstrcmpiA(a != nullptr ? a : "", b != nullptr ? b : "");
  return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

}  // namespace plat
