// NUnicodeFileReader: reads a UTF-16 little-endian text file line by line as ANSI text. It
// holds the one set of line rules shared by the index files and the message catalogue.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/NString.h"
#include "platform/PlatformFile.h"

class NUnicodeFileReader {
 public:
  // A line holds at most this many UTF-16 units (4,090 bytes); the rest follows as the next line.
  static constexpr size_t kMaxLineUnits = 2045;

  NUnicodeFileReader();
  NUnicodeFileReader(const NUnicodeFileReader&) = delete;
  NUnicodeFileReader& operator=(const NUnicodeFileReader&) = delete;
  virtual ~NUnicodeFileReader();

  // Opens a file (Windows path) whose first two bytes are FF FE. Returns 1 when open; any other
  // start, or a file that cannot be opened, gives 0 with the reader closed.
  int open(const char* path);
  // Opens a file and skips its first two bytes whatever they are. Returns 1 when open.
  int openSkippingMark(const char* path);

  // Reads the next line into line, converted to the ANSI code page. A line ends at two
  // consecutive CR/LF units; a single CR or LF is dropped. When nothing at all could be read,
  // or the reader is closed, line is empty and endOfFile is 1; otherwise endOfFile is 0.
  // Returns 1 when a line was read, else 0.
  int readLine(NString& line, int& endOfFile);
  // The same, leaving the line as UTF-16 units.
  int readWideLine(std::u16string& line, int& endOfFile);

  bool isOpen() const { return m_file.isOpen(); }
  void close();

 private:
  bool openFile(const char* path);
  // The next byte of the file; false at its end or on a read error.
  bool nextByte(uint8_t& byte);
  // The next unit, low byte first; a lone last byte counts as a unit with a zero high byte.
  bool nextUnit(char16_t& unit);

  plat::File m_file;
  std::vector<uint8_t> m_vecBuffer;
  size_t m_nBufferPos = 0;
  size_t m_nBufferFill = 0;
};
