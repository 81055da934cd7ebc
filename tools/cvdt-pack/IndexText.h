// IndexText: the bytes of an index file: UTF-16 little-endian, the mark FF FE first, every
// line ending in CR LF, fields joined by "|@".
#pragma once

#include <string>
#include <vector>

namespace cvdt::pack {

class IndexText {
 public:
  // The module reads at most this many UTF-16 units a line; a longer line would be cut in two.
  static constexpr size_t kMaxLineUnits = 2045;
  // The module's tokenizer keeps at most this many bytes of a field, the zero included.
  static constexpr size_t kMaxFieldBytes = 4096;
  static constexpr const char* kSeparator = "|@";

  IndexText();

  // Appends one line of fields (UTF-8). Throws PackError when a field holds "|@", CR or LF or
  // is not valid UTF-8, or when the line is longer than the module reads; what names the line.
  void addLine(const std::vector<std::string>& fields, const std::string& what);
  const std::string& bytes() const { return m_strBytes; }

 private:
  void addUnit(char16_t unit);

  std::string m_strBytes;
};

}  // namespace cvdt::pack
