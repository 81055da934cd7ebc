// setFixedText: text into a fixed-size text field of a record (the host block, queue and report
// records, the automatic state block, file and version records). The field always ends up
// terminated, and its bytes never depend on what it held before, because records cross process
// and file boundaries byte for byte.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

namespace plat {

// At most width - 1 bytes of text, then zeros to the end of the field. A null text leaves an
// empty field. Nothing is written when width is 0.
inline void setFixedText(char* field, size_t width, const char* text) {
  if (width == 0) return;
  size_t length = text == nullptr ? 0 : strnlen(text, width - 1);
  if (length > 0) std::memcpy(field, text, length);
  std::memset(field + length, 0, width - length);
}

inline void setFixedText(char* field, size_t width, const std::string& text) {
  setFixedText(field, width, text.c_str());
}

template <size_t N>
void setFixedText(char (&field)[N], const char* text) {
  setFixedText(field, N, text);
}

template <size_t N>
void setFixedText(char (&field)[N], const std::string& text) {
  setFixedText(field, N, text.c_str());
}

}  // namespace plat
