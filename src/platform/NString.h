// NString: the module's narrow (ANSI code page) string. The length is always the position of
// the first zero byte; there is no separate length field.
#pragma once

#include <cstdint>

#include "platform/Compiler.h"

class NString {
 public:
  NString();
  NString(const char* text);  // NOLINT: implicit, as texts are passed everywhere
  NString(const NString& other);
  NString(NString&& other) noexcept;
  ~NString();

  // A null text leaves the string unchanged.
  NString& operator=(const char* text);
  NString& operator=(const NString& other);
  NString& operator=(NString&& other) noexcept;

  int length() const;
  bool isEmpty() const;
  // Replaces the buffer with n + 1 zero bytes; the old text is lost.
  void allocate(int n);
  // Bytes of the buffer (at least length() + 1).
  uint32_t capacity() const { return m_capacity; }
  // Byte i; 0xFF when i > length() (i == length() gives the terminating zero).
  char getAt(int i) const;
  // Stores c at i when i <= length(), else nothing.
  void setAt(int i, char c);
  // The zero-terminated text; never null.
  const char* text() const;
  // The writable buffer of capacity() bytes, for callers that fill it directly.
  char* buffer();

  int compare(const char* text) const;        // byte-wise: -1, 0 or 1
  int compareNoCase(const char* text) const;  // lstrcmpiA
  bool equalsNoCase(const char* text) const;
  bool equalsNoCase(const NString& other) const;
  bool differsNoCase(const char* text) const;
  bool operator==(const char* text) const { return compare(text) == 0; }
  bool operator==(const NString& other) const { return compare(other.text()) == 0; }

  void makeUpper();  // ASCII letters only
  void makeLower();
  void trimLeft();   // line feeds, spaces and tabs; a carriage return stays
  void trimRight();

  int findChar(char c, int from = 0) const;
  // -1 also when the string is empty or from >= length().
  int find(const char* text, int from = 0) const;
  // printf-style; returns the new length.
  int format(const char* templ, ...) CVDT_PRINTF(2, 3);
  int replaceChar(char a, char b);
  // Deletes count bytes at index; a range past the end cuts the text at index.
  void remove(int index, int count);

  NString& operator+=(const char* text);
  NString& operator+=(const NString& other);
  NString operator+(const char* text) const;
  NString operator+(const NString& other) const;

  NString left(int n) const;
  NString right(int n) const;
  // Empty when count < 0 or start + count > length() (no clamping).
  NString mid(int start, int count) const;
  NString mid(int start) const;
  // Inserts at index (appends when index >= length()); returns the new length.
  int insert(int index, const char* text);
  // Replaces every occurrence, scanning on after each inserted text; returns the count.
  int replace(const char* oldText, const char* newText);

 private:
  char* m_pBuffer = nullptr;
  uint32_t m_capacity = 0;
};
