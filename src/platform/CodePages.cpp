// The code pages Windows gives each system language, and the UTF-8 conversions every backend
// shares.
#include <cstdint>
#include <string>

#include "platform/PlatformText.h"

namespace plat {
namespace {

struct LanguagePages {
  uint16_t language;  // a full LANGID, or a primary language id (below 0x400)
  CodePages pages;
};

// Languages whose pages differ from those of their primary language.
constexpr LanguagePages kFullLanguages[] = {
    {0x0409, {1252, 437}},  // English (United States)
    {0x0404, {950, 950}},   // Chinese (Taiwan)
    {0x0C04, {950, 950}},   // Chinese (Hong Kong)
    {0x1404, {950, 950}},   // Chinese (Macao)
    {0x0804, {936, 936}},   // Chinese (PRC)
    {0x1004, {936, 936}},   // Chinese (Singapore)
    {0x0C1A, {1251, 855}},  // Serbian (Cyrillic)
    {0x201A, {1251, 855}},  // Bosnian (Cyrillic)
    {0x082C, {1251, 866}},  // Azerbaijani (Cyrillic)
    {0x0843, {1251, 866}},  // Uzbek (Cyrillic)
};

constexpr LanguagePages kPrimaryLanguages[] = {
    {0x12, {949, 949}},   {0x11, {932, 932}},   {0x04, {936, 936}},   {0x09, {1252, 850}},
    {0x07, {1252, 850}},  {0x0C, {1252, 850}},  {0x0A, {1252, 850}},  {0x10, {1252, 850}},
    {0x13, {1252, 850}},  {0x16, {1252, 850}},  {0x06, {1252, 850}},  {0x1D, {1252, 850}},
    {0x14, {1252, 850}},  {0x0B, {1252, 850}},  {0x0F, {1252, 850}},  {0x03, {1252, 850}},
    {0x2D, {1252, 850}},  {0x56, {1252, 850}},  {0x38, {1252, 850}},  {0x3E, {1252, 850}},
    {0x21, {1252, 850}},  {0x36, {1252, 850}},  {0x41, {1252, 437}},  {0x05, {1250, 852}},
    {0x15, {1250, 852}},  {0x0E, {1250, 852}},  {0x1B, {1250, 852}},  {0x24, {1250, 852}},
    {0x1A, {1250, 852}},  {0x18, {1250, 852}},  {0x1C, {1250, 852}},  {0x19, {1251, 866}},
    {0x22, {1251, 866}},  {0x23, {1251, 866}},  {0x02, {1251, 866}},  {0x2F, {1251, 866}},
    {0x3F, {1251, 866}},  {0x40, {1251, 866}},  {0x44, {1251, 866}},  {0x50, {1251, 866}},
    {0x08, {1253, 737}},  {0x1F, {1254, 857}},  {0x2C, {1254, 857}},  {0x43, {1254, 857}},
    {0x0D, {1255, 862}},  {0x01, {1256, 720}},  {0x29, {1256, 720}},  {0x20, {1256, 720}},
    {0x25, {1257, 775}},  {0x26, {1257, 775}},  {0x27, {1257, 775}},  {0x2A, {1258, 1258}},
    {0x1E, {874, 874}},
};

void appendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Decodes one UTF-8 sequence at text[i]; an invalid byte decodes as U+FFFD and advances one.
uint32_t decodeUtf8(const std::string& text, size_t& i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char lead = byte(i);
  if (lead < 0x80) {
    ++i;
    return lead;
  }
  int extra = (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : -1;
  if (extra < 0) {
    ++i;
    return 0xFFFD;
  }
  uint32_t cp = lead & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    if (i + k >= text.size() || (byte(i + k) & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  i += extra + 1;
  return cp;
}

}  // namespace

CodePages codePagesForLanguage(uint16_t language) {
  for (const LanguagePages& entry : kFullLanguages)
    if (entry.language == language) return entry.pages;
  for (const LanguagePages& entry : kPrimaryLanguages)
    if (entry.language == (language & 0x3FF)) return entry.pages;
  return CodePages{};
}

std::string wideToUtf8(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t unit = text[i];
    if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit < 0xE000) {
      out.push_back('?');  // a lone surrogate has no character
    } else {
      appendUtf8(out, unit);
    }
  }
  return out;
}

std::u16string utf8ToWide(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    uint32_t cp = decodeUtf8(text, i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

}  // namespace plat
