// Bounded copies into the fixed text fields of the automatic records: at most the field's width
// minus one characters, the rest of the field zero (records are published byte for byte).
#pragma once

#include <cstddef>
#include <cstring>

template <size_t N>
void copyField(char (&field)[N], const char* text) {
  std::memset(field, 0, N);
  if (text != nullptr) std::memcpy(field, text, strnlen(text, N - 1));
}
