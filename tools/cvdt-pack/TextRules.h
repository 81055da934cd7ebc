// TextRules: the checks every text and number from the command line passes before it is
// written into an index line, a contents text or an item entry.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cvdt::pack {

class TextRules {
 public:
  // A decimal number within [low, high]; throws PackError naming what otherwise.
  static int64_t number(const std::string& text, const std::string& what, int64_t low,
                        int64_t high);
  // A byte count with an optional K, M or G suffix (powers of 1024), at least 1.
  static uint64_t byteCount(const std::string& text, const std::string& what);
  // Throws unless text is valid UTF-8, holds no control character and none of separators,
  // and has at most maxBytes bytes (the module's field widths count bytes).
  static void field(const std::string& text, const std::string& what, size_t maxBytes,
                    const std::vector<std::string>& separators);
  // Throws unless text is one of the letters in allowed.
  static void letter(const std::string& text, const std::string& what, const std::string& allowed);
  // A path relative to the package folder ("a/b" or "a\b") in Windows form ("a\b"); throws for
  // an empty, absolute or ".."-holding path.
  static std::string windowsRelative(const std::string& path, const std::string& what);
  // Throws unless text is an absolute drive path ("C:\App"): a letter, a colon, a backslash,
  // and after them none of < > / : * ? " | and no leading backslash or full stop.
  static void drivePath(const std::string& text, const std::string& what);
  // The UTF-16 form of a UTF-8 text (no overlong forms, no surrogates); false when the text
  // is not valid UTF-8.
  static bool toUtf16(const std::string& text, std::u16string& out);
};

}  // namespace cvdt::pack
