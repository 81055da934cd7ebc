// Decoding and line joining of .reg files.
#include "RegFileText.h"

#include "platform/PlatformText.h"

namespace {

std::string trimRight(const std::string& text) {
  size_t end = text.find_last_not_of(" \t\r");
  return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

bool continues(const std::string& line) {
  size_t start = line.find_first_not_of(" \t");
  if (start == std::string::npos || line[start] == ';' || line[start] == '[') return false;
  return !line.empty() && line.back() == '\\';
}

}  // namespace

plat::Status RegFileText::decode(const std::string& bytes, std::string& text) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    if (bytes.size() % 2 != 0)
      return plat::Status::failure("a UTF-16 file with an odd number of bytes");
    std::u16string wide;
    for (size_t i = 2; i < bytes.size(); i += 2) {
      wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                           static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    text = plat::wideToAnsi(wide);
    return {};
  }
  bool utf8Mark = bytes.rfind("\xEF\xBB\xBF", 0) == 0;
  // An 8-bit file is in the machine's ANSI code page; one marked as UTF-8 is converted to it.
  text = utf8Mark ? plat::utf8ToAnsi(bytes.substr(3)) : bytes;
  return {};
}

std::vector<RegLine> RegFileText::lines(const std::string& text) {
  std::vector<RegLine> lines;
  bool joining = false;
  size_t number = 0;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = trimRight(text.substr(start, end - start));
    start = end + 1;
    ++number;
    if (joining) {
      size_t first = line.find_first_not_of(" \t");
      lines.back().text.pop_back();  // the backslash
      lines.back().text += first == std::string::npos ? "" : line.substr(first);
    } else {
      lines.push_back({number, line});
    }
    joining = continues(lines.back().text);
  }
  if (joining) lines.back().text.pop_back();
  return lines;
}
