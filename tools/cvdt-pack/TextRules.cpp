// Checks of command-line texts and numbers, and the UTF-8 to UTF-16 conversion of index text.
#include "TextRules.h"

#include <cctype>
#include <limits>

#include "NCliNumber.h"
#include "PackError.h"

namespace cvdt::pack {

namespace {

// Reads one UTF-8 sequence at text[i]; false for a malformed, overlong or surrogate one.
bool decodeOne(const std::string& text, size_t& i, char32_t& out) {
  const auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
  const unsigned char lead = byte(i);
  size_t extra = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    out = lead;
    ++i;
    return true;
  } else if ((lead & 0xE0) == 0xC0) {
    extra = 1, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, value = lead & 0x07, minimum = 0x10000;
  } else {
    return false;
  }
  if (i + extra >= text.size()) return false;
  for (size_t k = 1; k <= extra; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return false;
    value = (value << 6) | (byte(i + k) & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
  out = value;
  i += extra + 1;
  return true;
}

}  // namespace

bool TextRules::toUtf16(const std::string& text, std::u16string& out) {
  out.clear();
  for (size_t i = 0; i < text.size();) {
    char32_t c = 0;
    if (!decodeOne(text, i, c)) return false;
    if (c < 0x10000) {
      out.push_back(static_cast<char16_t>(c));
    } else {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
  }
  return true;
}

int64_t TextRules::number(const std::string& text, const std::string& what, int64_t low,
                          int64_t high) {
  int64_t value = 0;
  if (!cli::NCliNumber::parse(text, low, high, value)) {
    throw PackError(what + " must be a number from " + std::to_string(low) + " to " +
                    std::to_string(high) + ", not '" + text + "'");
  }
  return value;
}

uint64_t TextRules::byteCount(const std::string& text, const std::string& what) {
  std::string digits = text;
  uint64_t unit = 1;
  if (!digits.empty()) {
    const char suffix = static_cast<char>(std::toupper(static_cast<unsigned char>(digits.back())));
    const size_t shift = suffix == 'K' ? 10 : suffix == 'M' ? 20 : suffix == 'G' ? 30 : 0;
    if (shift != 0) {
      unit = uint64_t{1} << shift;
      digits.pop_back();
    }
  }
  const int64_t limit = std::numeric_limits<int64_t>::max() / static_cast<int64_t>(unit);
  try {
    return static_cast<uint64_t>(number(digits, what, 1, limit)) * unit;
  } catch (const PackError&) {
    throw PackError(what + " must be a positive byte count (a number, optionally followed by"
                    " K, M or G), not '" + text + "'");
  }
}

void TextRules::field(const std::string& text, const std::string& what, size_t maxBytes,
                      const std::vector<std::string>& separators) {
  std::u16string wide;
  if (!toUtf16(text, wide)) throw PackError(what + " is not valid UTF-8 text");
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) throw PackError(what + " holds a control character");
  }
  for (const std::string& separator : separators) {
    if (text.find(separator) != std::string::npos) {
      throw PackError(what + " must not contain \"" + separator + "\"");
    }
  }
  if (text.size() > maxBytes) {
    throw PackError(what + " is longer than " + std::to_string(maxBytes) + " bytes");
  }
}

void TextRules::letter(const std::string& text, const std::string& what,
                       const std::string& allowed) {
  if (text.size() != 1 || allowed.find(text[0]) == std::string::npos) {
    std::string choices;
    for (char c : allowed) choices += (choices.empty() ? "" : ", ") + std::string(1, c);
    throw PackError(what + " must be one of " + choices + ", not '" + text + "'");
  }
}

void TextRules::drivePath(const std::string& text, const std::string& what) {
  const bool drive = text.size() >= 3 && std::isalpha(static_cast<unsigned char>(text[0])) &&
                     text[1] == ':' && text[2] == '\\';
  const std::string rest = drive ? text.substr(3) : std::string();
  if (!drive || rest.find_first_of("<>/:*?\"|") != std::string::npos ||
      (!rest.empty() && (rest[0] == '\\' || rest[0] == '.'))) {
    throw PackError(what + " must be a drive path such as C:\\App, not '" + text + "'");
  }
}

std::string TextRules::windowsRelative(const std::string& path, const std::string& what) {
  std::string result;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of("/\\", start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    if (part == "..") throw PackError(what + " must stay inside the package: " + path);
    if (!part.empty() && part != ".") result += (result.empty() ? "" : "\\") + part;
    if (part.empty() && start == 0 && !path.empty()) {
      throw PackError(what + " must be relative to the package folder: " + path);
    }
    start = end + 1;
  }
  if (result.empty()) throw PackError(what + " names no file: '" + path + "'");
  if (result.size() >= 2 && result[1] == ':') {
    throw PackError(what + " must be relative to the package folder: " + path);
  }
  return result;
}

}  // namespace cvdt::pack
