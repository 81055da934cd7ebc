// Building the UTF-16 text of an index file.
#include "IndexText.h"

#include "PackError.h"
#include "TextRules.h"

namespace cvdt::pack {

IndexText::IndexText() { m_strBytes = "\xFF\xFE"; }

void IndexText::addUnit(char16_t unit) {
  m_strBytes.push_back(static_cast<char>(unit & 0xFF));
  m_strBytes.push_back(static_cast<char>(unit >> 8));
}

void IndexText::addLine(const std::vector<std::string>& fields, const std::string& what) {
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].find(kSeparator) != std::string::npos ||
        fields[i].find_first_of("\r\n") != std::string::npos) {
      throw PackError(what + ": '" + fields[i] + "' must not contain \"|@\" or a line break");
    }
    if (fields[i].size() >= kMaxFieldBytes) {
      throw PackError(what + ": a field is longer than the module reads");
    }
    line += (i == 0 ? "" : kSeparator) + fields[i];
  }
  std::u16string wide;
  if (!TextRules::toUtf16(line, wide)) throw PackError(what + " is not valid UTF-8 text");
  if (wide.size() > kMaxLineUnits) {
    throw PackError(what + " is longer than the " + std::to_string(kMaxLineUnits) +
                    " characters an index line may hold");
  }
  for (char16_t unit : wide) addUnit(unit);
  addUnit(u'\r');
  addUnit(u'\n');
}

}  // namespace cvdt::pack
