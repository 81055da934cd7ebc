// Text services of the Linux backend: the machine's ANSI and OEM code pages come from its
// system language (or machine.ini names them), and conversions go through the C library's iconv.
#include <errno.h>
#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>
#include <type_traits>

#include "platform/PlatformText.h"
#include "platform/posix/MachineConfig.h"

namespace plat {
namespace {

constexpr size_t kChunk = 4096;

bool isAscii(const std::string& text) {
  for (unsigned char c : text)
    if (c >= 0x80) return false;
  return true;
}

bool isAscii(const std::u16string& text) {
  for (char16_t unit : text)
    if (unit >= 0x80) return false;
  return true;
}

std::string iconvName(uint32_t codePage) {
  char name[16];
  std::snprintf(name, sizeof name, "CP%u", codePage);
  return name;
}

bool isDoubleByte(uint32_t codePage) {
  return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

// One iconv conversion descriptor, closed with the object.
class Converter {
 public:
  Converter(const std::string& to, const std::string& from) : m_hIconv(iconv_open(to.c_str(), from.c_str())) {}
  ~Converter() {
    if (ok()) iconv_close(m_hIconv);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return m_hIconv != reinterpret_cast<iconv_t>(-1); }

  // Converts input, calling bad(in, left) for each spot the converter refuses; bad appends
  // its replacement and returns how many input bytes to skip.
  template <typename Out, typename Bad>
  void run(const std::string& input, Out& out, Bad bad) {
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    char buffer[kChunk];
    while (inLeft > 0) {
      char* next = buffer;
      size_t room = sizeof buffer;
      size_t done = iconv(m_hIconv, &in, &inLeft, &next, &room);
      int error = errno;
      append(out, buffer, static_cast<size_t>(next - buffer));
      if (done != static_cast<size_t>(-1) || error == E2BIG) continue;
      size_t skip = bad(in, inLeft);
      in += skip;
      inLeft -= skip;
      iconv(m_hIconv, nullptr, nullptr, nullptr, nullptr);
    }
  }

 private:
  static void append(std::string& out, const char* bytes, size_t n) { out.append(bytes, n); }
  static void append(std::u16string& out, const char* bytes, size_t n) {
    for (size_t i = 0; i + 1 < n; i += 2)
      out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  iconv_t m_hIconv;
};

std::string toUtf16Bytes(const std::u16string& text) {
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

template <typename Text>
int compareFolded(const Text& a, const Text& b) {
  auto fold = [](auto c) -> uint32_t {
    uint32_t unit = static_cast<std::make_unsigned_t<decltype(c)>>(c);
    return unit >= 'A' && unit <= 'Z' ? unit + 32 : unit;
  };
  for (size_t i = 0;; ++i) {
    uint32_t ca = i < a.size() ? fold(a[i]) : 0;
    uint32_t cb = i < b.size() ? fold(b[i]) : 0;
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
}

uint32_t machineCodePage(bool ansi) {
  CodePages pages = posix::currentMachine()->codePages();
  return ansi ? pages.ansi : pages.oem;
}

}  // namespace

uint32_t ansiCodePage() { return machineCodePage(true); }
uint32_t oemCodePage() { return machineCodePage(false); }

bool isCodePageAvailable(uint32_t codePage) {
  return codePage == kCodePageUtf8 || (codePage != 0 && Converter("UTF-16LE", iconvName(codePage)).ok());
}

std::u16string codePageToWide(uint32_t codePage, const std::string& text) {
  if (codePage == kCodePageUtf8) return utf8ToWide(text);
  std::u16string out;
  if (isAscii(text)) return out.assign(text.begin(), text.end());
  Converter converter("UTF-16LE", iconvName(codePage));
  if (!converter.ok()) {
    for (unsigned char c : text) out.push_back(c < 0x80 ? c : 0xFFFD);
    return out;
  }
  // A byte the code page leaves undefined, or half a double-byte character (a text cut in
  // the middle of one), decodes as U+FFFD; the five holes of 1252 keep their byte value, as
  // Windows maps them.
  converter.run(text, out, [&](const char* at, size_t) {
    unsigned char c = static_cast<unsigned char>(*at);
    out.push_back(codePage == 1252 ? c : 0xFFFD);
    return size_t{1};
  });
  return out;
}

std::string wideToCodePage(uint32_t codePage, const std::u16string& text) {
  if (codePage == kCodePageUtf8) return wideToUtf8(text);
  std::string out;
  if (isAscii(text)) return out.assign(text.begin(), text.end());
  Converter converter(iconvName(codePage), "UTF-16LE");
  if (!converter.ok()) {
    for (char16_t unit : text) out.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    return out;
  }
  converter.run(toUtf16Bytes(text), out, [&](const char* at, size_t left) {
    out.push_back('?');
    unsigned high = static_cast<unsigned char>(at[1]);
    bool pair = left >= 4 && high >= 0xD8 && high < 0xDC &&
                (static_cast<unsigned char>(at[3]) & 0xFC) == 0xDC;
    return std::min<size_t>(left, pair ? 4 : 2);
  });
  return out;
}

std::string wideToAnsi(const std::u16string& text) { return wideToCodePage(ansiCodePage(), text); }
std::u16string ansiToWide(const std::string& text) { return codePageToWide(ansiCodePage(), text); }
std::u16string oemToWide(const std::string& text) { return codePageToWide(oemCodePage(), text); }

std::string ansiToUtf8(const std::string& text) {
  uint32_t codePage = ansiCodePage();
  if (codePage == kCodePageUtf8 || isAscii(text)) return text;
  return wideToUtf8(codePageToWide(codePage, text));
}

std::string utf8ToAnsi(const std::string& text) {
  uint32_t codePage = ansiCodePage();
  if (codePage == kCodePageUtf8 || isAscii(text)) return text;
  return wideToCodePage(codePage, utf8ToWide(text));
}

int compareNoCase(const char* a, const char* b) {
  if (a == nullptr) a = "";
  if (b == nullptr) b = "";
  std::string left(a), right(b);
  uint32_t codePage = ansiCodePage();
  if (!isDoubleByte(codePage) || (isAscii(left) && isAscii(right)))
    return compareFolded(left, right);
  // A trail byte of a double-byte character may look like an ASCII letter; only whole
  // characters are folded.
  return compareFolded(codePageToWide(codePage, left), codePageToWide(codePage, right));
}

}  // namespace plat
