// Text services of the win32 backend: the system's ANSI code page conversions and lstrcmpiA.
#include "platform/PlatformText.h"
#include "platform/win32/WindowsApi.h"

namespace plat {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

std::string wideToAnsi(const std::u16string& text) {
  if (text.empty()) return {};
  auto wide = reinterpret_cast<const wchar_t*>(text.data());
  int units = static_cast<int>(text.size());
  int size = WideCharToMultiByte(CP_ACP, 0, wide, units, nullptr, 0, "?", nullptr);
  std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) WideCharToMultiByte(CP_ACP, 0, wide, units, out.data(), size, "?", nullptr);
  return out;
}

std::u16string ansiToWide(const std::string& text) {
  if (text.empty()) return {};
  int bytes = static_cast<int>(text.size());
  int size = MultiByteToWideChar(CP_ACP, 0, text.data(), bytes, nullptr, 0);
  std::u16string out(static_cast<size_t>(size > 0 ? size : 0), u'\0');
  if (size > 0)
    MultiByteToWideChar(CP_ACP, 0, text.data(), bytes, reinterpret_cast<wchar_t*>(out.data()), size);
  return out;
}

int compareNoCase(const char* a, const char* b) {
  int result = lstrcmpiA(a != nullptr ? a : "", b != nullptr ? b : "");
  return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

}  // namespace plat
