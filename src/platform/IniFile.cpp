// Windows-rules ini parsing shared by machine.ini and the private-profile lookups.
#include "platform/IniFile.h"

#include <cctype>
#include <cstdint>
#include <fstream>
#include <sstream>

#include "platform/AsciiText.h"
#include "platform/PlatformText.h"

namespace plat {
namespace {

std::string trim(const std::string& text) {
  const char* blanks = " \t\r\n";
  size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

// Windows strips one pair of surrounding quotes from a value.
std::string unquote(const std::string& value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

std::string decodeUtf16Le(const std::string& bytes) {
  std::u16string wide;
  wide.reserve(bytes.size() / 2);
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return wideToAnsi(wide);
}

}  // namespace

void IniFile::parse(const std::string& raw) {
  m_sections.clear();
  std::string content = raw;
  if (content.size() >= 2 && static_cast<unsigned char>(content[0]) == 0xFF &&
      static_cast<unsigned char>(content[1]) == 0xFE)
    content = decodeUtf16Le(content);
  else if (content.rfind("\xEF\xBB\xBF", 0) == 0)
    content.erase(0, 3);

  std::istringstream lines(content);
  std::string line;
  Section* current = nullptr;
  while (std::getline(lines, line)) {
    line = trim(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      size_t close = line.find(']');
      if (close == std::string::npos) continue;
      m_sections.push_back({trim(line.substr(1, close - 1)), {}});
      current = &m_sections.back();
      continue;
    }
    size_t equals = line.find('=');
    if (current == nullptr || equals == std::string::npos) continue;
    current->entries.emplace_back(trim(line.substr(0, equals)),
                                  unquote(trim(line.substr(equals + 1))));
  }
}

bool IniFile::load(const std::string& hostPath) {
  std::ifstream in(hostPath, std::ios::binary);
  if (!in) {
    m_sections.clear();
    return false;
  }
  std::ostringstream content;
  content << in.rdbuf();
  parse(content.str());
  return true;
}

const IniFile::Section* IniFile::findSection(const std::string& name) const {
  for (const Section& section : m_sections) {
    if (equalsAsciiNoCase(section.name, name)) return &section;
  }
  return nullptr;
}

bool IniFile::hasSection(const std::string& section) const {
  return findSection(section) != nullptr;
}

bool IniFile::get(const std::string& section, const std::string& key, std::string& value) const {
  const Section* found = findSection(section);
  if (found == nullptr) return false;
  for (const auto& [name, text] : found->entries) {
    if (equalsAsciiNoCase(name, key)) {
      value = text;
      return true;
    }
  }
  return false;
}

std::string IniFile::getString(const std::string& section, const std::string& key,
                               const std::string& fallback) const {
  std::string value;
  return get(section, key, value) ? value : fallback;
}

long IniFile::getInt(const std::string& section, const std::string& key, long fallback) const {
  std::string value;
  return get(section, key, value) ? profileInt(value) : fallback;
}

std::vector<std::pair<std::string, std::string>> IniFile::entries(
    const std::string& section) const {
  const Section* found = findSection(section);
  return found ? found->entries : std::vector<std::pair<std::string, std::string>>{};
}

long IniFile::profileInt(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int base = 10;
  if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  unsigned long value = 0;
  for (; i < text.size(); ++i) {
    int digit;
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (std::isdigit(c)) digit = c - '0';
    else if (base == 16 && std::isxdigit(c)) digit = std::tolower(c) - 'a' + 10;
    else break;
    value = value * base + digit;  // wraps like the 32-bit Windows conversion
  }
  auto word = static_cast<uint32_t>(value);
  int32_t result = static_cast<int32_t>(word);
  return negative ? -static_cast<long>(result) : result;
}

}  // namespace plat
