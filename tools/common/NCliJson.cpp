// JSON output of the tools.
#include "NCliJson.h"

namespace cvdt::cli {
namespace {

// Length of the valid UTF-8 sequence at text[at], or 0 when there is none.
size_t sequenceLength(const std::string& text, size_t at) {
  unsigned char lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) return 1;
  size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xC2 && lead <= 0xDF ? 2 : 0;
  if (length == 0 || at + length > text.size()) return 0;
  unsigned char second = static_cast<unsigned char>(text[at + 1]);
  // Overlong forms, surrogates and code points beyond U+10FFFF are not UTF-8.
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
      (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
    return 0;
  for (size_t i = 1; i < length; ++i)
    if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 0;
  return length;
}

}  // namespace

std::string NCliJson::utf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    size_t length = sequenceLength(text, i);
    if (length == 0) {
      unsigned char byte = static_cast<unsigned char>(text[i]);
      out += static_cast<char>(0xC0 | (byte >> 6));
      out += static_cast<char>(0x80 | (byte & 0x3F));
      ++i;
    } else {
      out.append(text, i, length);
      i += length;
    }
  }
  return out;
}

std::string NCliJson::line(const NJson& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace cvdt::cli
