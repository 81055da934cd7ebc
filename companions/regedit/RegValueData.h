// The data of one value line of a .reg file: what follows "name"= .
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Status.h"

class RegValueData {
 public:
  // Parses "text" (a string), dword:XXXXXXXX, hex:BB,BB,.. (binary), hex(N):BB,.. (type N, hex),
  // or - (delete the value); a ";" comment may follow the data. In a version 5.00 file
  // (unicodeFile) the bytes of hex(1), hex(2) and hex(7) are UTF-16LE text and are stored as
  // ANSI text, as the registry's ANSI functions would read them. A failure says why for
  // anything else; out is then unchanged.
  static plat::Status parse(const std::string& text, bool unicodeFile, RegValueData& out);

  // Reads a quoted text starting at text[pos] == '"': \\ is a backslash and \" a quote; any
  // other backslash stays as written. pos ends past the closing quote. False when unterminated.
  static bool readQuoted(const std::string& text, size_t& pos, std::string& out);

  bool isDeletion() const { return m_bDelete; }
  uint32_t type() const { return m_type; }
  const std::vector<uint8_t>& bytes() const { return m_bytes; }

 private:
  plat::Status parseDword(const std::string& digits);
  plat::Status parseHex(const std::string& text, bool unicodeFile);

  bool m_bDelete = false;
  uint32_t m_type = 0;
  std::vector<uint8_t> m_bytes;
};
