// Element extraction, key operands, path macros and levels, versions and local addresses for
// the detection conditions.
#include "detect/NDetectRoutines.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "detect/NRegistry.h"
#include "platform/NMisc.h"
#include "platform/PlatformHost.h"
#include "platform/PlatformText.h"

namespace {

constexpr size_t kMaxVersionText = 199;
constexpr int kMaxVersionParts = 30;
constexpr size_t kMaxStripPath = 259;
constexpr size_t kMaxLocalAddresses = 20;
constexpr const char* kVersionKey = "Software\\Microsoft\\Windows\\CurrentVersion";

bool isTrimmed(char c) { return c == ' ' || c == '\t' || c == '\n'; }

std::string_view trimView(std::string_view text) {
  while (!text.empty() && isTrimmed(text.front())) text.remove_prefix(1);
  while (!text.empty() && isTrimmed(text.back())) text.remove_suffix(1);
  return text;
}

void dropTrailingBackslash(std::string& text) {
  if (!text.empty() && text.back() == '\\') text.pop_back();
}

std::string macroValue(const std::string& name, bool view64) {
  NString macro(name.c_str());
  if (macro.equalsNoCase("csidl_system")) return NMisc::getSystemFolder(view64 ? 0 : 1).text();
  if (macro.equalsNoCase("csidl_windows")) return NMisc::getWindowsFolder().text();
  const char* valueName = macro.equalsNoCase("csidl_program_files_common") ? "CommonFilesDir"
                          : macro.equalsNoCase("csidl_program_files")      ? "ProgramFilesDir"
                                                                           : nullptr;
  if (valueName == nullptr) return std::string();
  NRegistry registry;
  if (!registry.open(plat::RegRoot::LocalMachine, kVersionKey, true, true, view64)) return "";
  return registry.readValue(valueName).text();
}

// Parts of a version text: separated by "." and ","; a last part counts only when non-empty.
std::vector<long> versionParts(const char* text) {
  std::vector<long> parts;
  std::string_view view(text != nullptr ? text : "");
  if (view.size() > kMaxVersionText) view = view.substr(0, kMaxVersionText);
  size_t start = 0;
  for (;;) {
    size_t sep = view.find_first_of(".,", start);
    std::string piece(view.substr(start, sep == std::string_view::npos ? sep : sep - start));
    if (sep == std::string_view::npos && piece.empty()) break;
    errno = 0;
    long value = std::strtol(piece.c_str(), nullptr, 10);
    if (errno == ERANGE || value > INT32_MAX || value < INT32_MIN) value = value < 0 ? INT32_MIN : INT32_MAX;
    parts.push_back(value);
    if (sep == std::string_view::npos) break;
    start = sep + 1;
  }
  return parts;
}

}  // namespace

NString getElementText(const char* text, const char* openTag, const char* closeTag) {
  if (text == nullptr || openTag == nullptr || closeTag == nullptr) return NString();
  const char* open = std::strstr(text, openTag);
  const char* close = std::strstr(text, closeTag);
  if (open == nullptr || close == nullptr) return NString();
  const char* inner = open + std::strlen(openTag);
  if (close < inner) return NString();
  return NString(std::string(inner, close).c_str());
}

NString getElement(const char* text, const char* openTag, const char* closeTag, int* endPos) {
  if (endPos != nullptr) *endPos = -1;
  if (text == nullptr || openTag == nullptr || closeTag == nullptr) return NString();
  const char* open = std::strstr(text, openTag);
  const char* close = std::strstr(text, closeTag);
  if (open == nullptr || close == nullptr) return NString();
  const char* end = close + std::strlen(closeTag);
  if (end <= open) return NString();
  if (endPos != nullptr) *endPos = static_cast<int>(end - text);
  return NString(std::string(open, end).c_str());
}

NString trimOperand(const NString& text) {
  return NString(std::string(trimView(text.text())).c_str());
}

bool splitKeyOperand(const char* key, plat::RegRoot& root, NString& path) {
  std::string_view text(key != nullptr ? key : "");
  size_t slash = text.find('\\');
  size_t comma = text.find(',');
  size_t cut = comma < slash ? comma : slash;
  std::string hive(text.substr(0, cut));
  path = cut == std::string_view::npos ? "" : std::string(text.substr(cut + 1)).c_str();
  static const struct {
    const char* name;
    plat::RegRoot root;
  } kHives[] = {{"HKEY_CLASSES_ROOT", plat::RegRoot::ClassesRoot},
                {"HKEY_CURRENT_CONFIG", plat::RegRoot::CurrentConfig},
                {"HKEY_CURRENT_USER", plat::RegRoot::CurrentUser},
                {"HKEY_LOCAL_MACHINE", plat::RegRoot::LocalMachine},
                {"HKEY_USERS", plat::RegRoot::Users}};
  for (const auto& entry : kHives) {
    if (hive == entry.name) {
      root = entry.root;
      return true;
    }
  }
  return false;
}

NString resolvePathMacro(const char* path, bool view64) {
  std::string text(trimView(path != nullptr ? path : ""));
  size_t first = text.find('%');
  size_t second = first == std::string::npos ? first : text.find('%', first + 1);
  if (second == std::string::npos) {
    dropTrailingBackslash(text);
    return NString(text.c_str());
  }
  std::string rest = text.substr(second + 1);
  dropTrailingBackslash(rest);
  rest = std::string(trimView(rest));
  std::string value = macroValue(text.substr(first + 1, second - first - 1), view64);
  return NString((text.substr(0, first) + value + rest).c_str());
}

NString stripPathLevels(const char* path, int levels) {
  std::string text(path != nullptr ? path : "");
  if (levels < 1) return NString(text.c_str());
  if (text.empty()) return NString();
  if (text.size() > kMaxStripPath) text.resize(kMaxStripPath);
  dropTrailingBackslash(text);
  int seen = 0;
  for (size_t i = text.size(); i-- > 0;) {
    if (text[i] != '\\' || ++seen < levels) continue;
    return i == 0 ? NString() : NString(text.substr(0, i).c_str());
  }
  return NString();
}

int readPathLevel(const char* text) {
  int value = 0;
  for (const char* p = text != nullptr ? text : ""; *p >= '0' && *p <= '9'; ++p) {
    if (value > 100000000) break;
    value = value * 10 + (*p - '0');
  }
  return value;
}

int compareVersion(const char* installed, const char* required) {
  std::vector<long> a = versionParts(installed);
  std::vector<long> b = versionParts(required);
  size_t count = std::max(a.size(), b.size());
  if (count > kMaxVersionParts) count = kMaxVersionParts;
  for (size_t i = 0; i < count; ++i) {
    long x = i < a.size() ? a[i] : 0;
    long y = i < b.size() ? b[i] : 0;
    if (x != y) return x > y ? 1 : -1;
  }
  return 0;
}

int judgeVersionStatus(const char* status, int r) {
  std::string_view text = trimView(status != nullptr ? status : "");
  if (text == "HIGHER") return r > 0 ? 1 : 0;
  if (text == "HIGHER_OR_SAME") return r >= 0 ? 1 : 0;
  if (text == "LOWER") return r < 0 ? 1 : 0;
  if (text == "LOWER_OR_SAME") return r <= 0 ? 1 : 0;
  if (text == "SAME") return r == 0 ? 1 : 0;
  return -1;
}

void getLocalAddresses(NStringArray& list) {
  list.clear();
  std::string name;
  std::vector<uint32_t> addresses;
  if (!plat::localHostName(name) || !plat::lookupHostIpv4(name, addresses)) return;
  for (size_t i = 0; i < addresses.size() && i < kMaxLocalAddresses; ++i) {
    uint32_t a = addresses[i];
    NString text;
    text.format("%u.%u.%u.%u", a >> 24, (a >> 16) & 0xFF, (a >> 8) & 0xFF, a & 0xFF);
    NMisc::padIpAddress(text);
    list.add(text);
  }
}
