// NString: the module's narrow string, on an owned zero-terminated buffer.
#include "platform/NString.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "platform/PlatformText.h"

namespace {

constexpr uint32_t kEmptyCapacity = 64;

bool isTrimmed(char c) { return c == '\n' || c == ' ' || c == '\t'; }

int safeLength(const char* text) { return text ? static_cast<int>(std::strlen(text)) : 0; }

// A fresh zeroed buffer of size bytes, or null when memory is short.
char* newBuffer(uint32_t size) {
  char* p = new (std::nothrow) char[size];
  if (p) std::memset(p, 0, size);
  return p;
}

}  // namespace

NString::NString() {
  m_pBuffer = newBuffer(kEmptyCapacity);
  m_capacity = m_pBuffer ? kEmptyCapacity : 0;
}

NString::NString(const char* text) : NString() {
  if (text && *text) *this = text;
}

NString::NString(const NString& other) : NString(other.text()) {}

NString::NString(NString&& other) noexcept : m_pBuffer(other.m_pBuffer), m_capacity(other.m_capacity) {
  other.m_pBuffer = nullptr;
  other.m_capacity = 0;
}

NString::~NString() { delete[] m_pBuffer; }

NString& NString::operator=(const char* text) {
  if (!text) return *this;
  // The new buffer is filled before the old one goes, so a text inside this string is safe.
  uint32_t size = static_cast<uint32_t>(std::strlen(text)) + 1;
  char* p = newBuffer(size);
  if (!p) return *this;
  std::memcpy(p, text, size);
  delete[] m_pBuffer;
  m_pBuffer = p;
  m_capacity = size;
  return *this;
}

NString& NString::operator=(const NString& other) {
  if (this != &other) *this = other.text();
  return *this;
}

NString& NString::operator=(NString&& other) noexcept {
  if (this != &other) {
    delete[] m_pBuffer;
    m_pBuffer = other.m_pBuffer;
    m_capacity = other.m_capacity;
    other.m_pBuffer = nullptr;
    other.m_capacity = 0;
  }
  return *this;
}

int NString::length() const {
  if (!m_pBuffer) return 0;
  // Bounded by the buffer, so a caller that filled buffer() without a zero cannot run us over.
  const void* zero = std::memchr(m_pBuffer, 0, m_capacity);
  return zero ? static_cast<int>(static_cast<const char*>(zero) - m_pBuffer) : static_cast<int>(m_capacity);
}

bool NString::isEmpty() const { return !m_pBuffer || m_pBuffer[0] == 0; }

void NString::allocate(int n) {
  uint32_t size = static_cast<uint32_t>(n < 0 ? 0 : n) + 1;
  char* p = newBuffer(size);
  if (!p) return;
  delete[] m_pBuffer;
  m_pBuffer = p;
  m_capacity = size;
}

char NString::getAt(int i) const {
  if (i < 0 || i > length()) return static_cast<char>(0xFF);
  return m_pBuffer ? m_pBuffer[i] : 0;
}

void NString::setAt(int i, char c) {
  int len = length();
  if (i < 0 || i > len) return;
  if (i == len && c != 0 && static_cast<uint32_t>(len) + 1 >= m_capacity) {
    // Overwriting the terminator: keep room for a new one.
    char* p = newBuffer(static_cast<uint32_t>(len) + 2);
    if (!p) return;
    if (m_pBuffer) std::memcpy(p, m_pBuffer, static_cast<size_t>(len));
    delete[] m_pBuffer;
    m_pBuffer = p;
    m_capacity = static_cast<uint32_t>(len) + 2;
  }
  m_pBuffer[i] = c;
}

const char* NString::text() const { return m_pBuffer ? m_pBuffer : ""; }

char* NString::buffer() {
  if (!m_pBuffer) allocate(kEmptyCapacity - 1);
  return m_pBuffer;
}

int NString::compare(const char* other) const {
  int r = std::strcmp(text(), other ? other : "");
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int NString::compareNoCase(const char* other) const {
  return plat::compareNoCase(text(), other ? other : "");
}

bool NString::equalsNoCase(const char* other) const { return compareNoCase(other) == 0; }

bool NString::equalsNoCase(const NString& other) const { return compareNoCase(other.text()) == 0; }

bool NString::differsNoCase(const char* other) const { return compareNoCase(other) != 0; }

void NString::makeUpper() {
  for (int i = 0, n = length(); i < n; ++i) {
    if (m_pBuffer[i] >= 'a' && m_pBuffer[i] <= 'z') m_pBuffer[i] = static_cast<char>(m_pBuffer[i] - 32);
  }
}

void NString::makeLower() {
  for (int i = 0, n = length(); i < n; ++i) {
    if (m_pBuffer[i] >= 'A' && m_pBuffer[i] <= 'Z') m_pBuffer[i] = static_cast<char>(m_pBuffer[i] + 32);
  }
}

void NString::trimLeft() {
  int n = length();
  int skip = 0;
  while (skip < n && isTrimmed(m_pBuffer[skip])) ++skip;
  if (skip > 0) std::memmove(m_pBuffer, m_pBuffer + skip, static_cast<size_t>(n - skip) + 1);
}

void NString::trimRight() {
  int n = length();
  while (n > 0 && isTrimmed(m_pBuffer[n - 1])) m_pBuffer[--n] = 0;
}

int NString::findChar(char c, int from) const {
  if (from < 0) from = 0;
  for (int i = from, n = length(); i < n; ++i) {
    if (m_pBuffer[i] == c) return i;
  }
  return -1;
}

int NString::find(const char* needle, int from) const {
  int n = length();
  if (!needle || n == 0 || from >= n) return -1;
  if (from < 0) from = 0;
  const char* hit = std::strstr(m_pBuffer + from, needle);
  return hit ? static_cast<int>(hit - m_pBuffer) : -1;
}

int NString::format(const char* templ, ...) {
  if (!templ) return length();
  va_list args;
  va_start(args, templ);
  va_list again;
  va_copy(again, args);
  int needed = std::vsnprintf(nullptr, 0, templ, args);
  va_end(args);
  // Formatted aside first: the arguments may point into this string's own buffer.
  char* p = needed < 0 ? nullptr : newBuffer(static_cast<uint32_t>(needed) + 1);
  if (p) std::vsnprintf(p, static_cast<size_t>(needed) + 1, templ, again);
  va_end(again);
  if (!p) {
    allocate(0);
    return 0;
  }
  if (m_pBuffer && static_cast<uint32_t>(needed) + 1 <= m_capacity) {
    std::memcpy(m_pBuffer, p, static_cast<size_t>(needed) + 1);
    delete[] p;
  } else {
    delete[] m_pBuffer;
    m_pBuffer = p;
    m_capacity = static_cast<uint32_t>(needed) + 1;
  }
  return needed;
}

int NString::replaceChar(char a, char b) {
  if (a == 0) return 0;
  int count = 0;
  for (int i = 0, n = length(); i < n; ++i) {
    if (m_pBuffer[i] == a) {
      m_pBuffer[i] = b;
      ++count;
    }
  }
  return count;
}

void NString::remove(int index, int count) {
  int n = length();
  if (index < 0 || index >= n || count <= 0) return;
  if (count >= n - index) {
    m_pBuffer[index] = 0;
    return;
  }
  std::memmove(m_pBuffer + index, m_pBuffer + index + count, static_cast<size_t>(n - index - count) + 1);
}

NString& NString::operator+=(const char* other) {
  insert(length(), other);
  return *this;
}

NString& NString::operator+=(const NString& other) {
  if (this == &other) {
    NString copy(other);
    return *this += copy.text();
  }
  return *this += other.text();
}

NString NString::operator+(const char* other) const {
  NString result(*this);
  result += other;
  return result;
}

NString NString::operator+(const NString& other) const { return *this + other.text(); }

NString NString::left(int n) const {
  int len = length();
  if (n >= len) return *this;
  return mid(0, n);
}

NString NString::right(int n) const {
  int len = length();
  if (n >= len) return *this;
  return mid(len - n, n);
}

NString NString::mid(int start, int count) const {
  NString result;
  int64_t end = static_cast<int64_t>(start) + count;
  if (start < 0 || count <= 0 || end > length()) return result;
  result.allocate(count);
  if (result.m_pBuffer) std::memcpy(result.m_pBuffer, m_pBuffer + start, static_cast<size_t>(count));
  return result;
}

NString NString::mid(int start) const { return mid(start, length() - start); }

int NString::insert(int index, const char* other) {
  int len = length();
  int add = safeLength(other);
  if (add == 0) return len;
  if (index < 0) index = 0;
  if (index > len) index = len;
  uint32_t size = static_cast<uint32_t>(len) + static_cast<uint32_t>(add) + 1;
  // Built in a new buffer so that a text taken from this string stays readable.
  char* p = newBuffer(size);
  if (!p) return len;
  if (m_pBuffer) std::memcpy(p, m_pBuffer, static_cast<size_t>(index));
  std::memcpy(p + index, other, static_cast<size_t>(add));
  if (m_pBuffer) std::memcpy(p + index + add, m_pBuffer + index, static_cast<size_t>(len - index));
  delete[] m_pBuffer;
  m_pBuffer = p;
  m_capacity = size;
  return len + add;
}

int NString::replace(const char* oldText, const char* newText) {
  int oldLen = safeLength(oldText);
  if (oldLen == 0 || isEmpty()) return 0;
  // One pass over the original text: inserted texts are never scanned again.
  std::string result;
  const char* src = text();
  const char* to = newText ? newText : "";
  int count = 0;
  for (const char* hit = std::strstr(src, oldText); hit; hit = std::strstr(src, oldText)) {
    result.append(src, hit);
    result.append(to);
    src = hit + oldLen;
    ++count;
  }
  if (count > 0) {
    result.append(src);
    *this = result.c_str();
  }
  return count;
}
