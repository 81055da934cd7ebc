// NStrtok: splits a text at every occurrence of a separator string, keeping empty fields.
#pragma once

#include <cstddef>

#include "platform/NStringArray.h"

class NStrtok {
 public:
  // Field buffer of the two-argument split: longer fields are cut to one byte less.
  static constexpr int kFieldBufferSize = 4096;
  // Largest field buffer of the four-argument split.
  static constexpr int kMaxFieldBufferSize = 0x200000;

  NStrtok() = default;
  NStrtok(const NStrtok&) = delete;
  NStrtok& operator=(const NStrtok&) = delete;
  virtual ~NStrtok();

  // Clears the array and fills it with the fields of text cut at separator: n separators give
  // n + 1 fields, empty ones included. A null text or separator returns the array unchanged;
  // an empty separator is never found, so the whole text is one field. The array stays valid
  // until the next split or the tokenizer's end.
  NStringArray& split(const char* text, const char* separator);
  // The same with a field buffer of max(fieldLimit, length of text + 1) bytes. A buffer over
  // kMaxFieldBufferSize is clamped to it when clamp is non-zero (longer fields are cut);
  // otherwise the array is returned unchanged.
  NStringArray& split(const char* text, int fieldLimit, const char* separator, int clamp);

  NStringArray& fields() { return m_arrFields; }

 private:
  void cut(const char* text, const char* separator, size_t fieldBufferSize);

  NStringArray m_arrFields;
};
