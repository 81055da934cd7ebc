// Fuzz target: the UTF-16 line reader, with and without the byte-order mark check, as wide
// lines and as lines converted to the ANSI code page of a Korean system (code page 949).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/NUnicodeFileReader.h"
#include "support/FuzzScratch.h"

namespace {

cvdt::fuzz::FuzzScratch& scratch() {
  static cvdt::fuzz::FuzzScratch folder(1042);
  return folder;
}

// Every call must take at least one unit from the file, so a file of size bytes ends within
// size / 2 + 1 calls, and no line may be longer than its limit.
void readAll(NUnicodeFileReader& reader, size_t size, bool wide) {
  size_t limit = size / 2 + 2;
  for (size_t calls = 0;; ++calls) {
    if (calls > limit) std::abort();
    int endOfFile = 0;
    if (wide) {
      std::u16string line;
      reader.readWideLine(line, endOfFile);
      if (line.size() > NUnicodeFileReader::kMaxLineUnits) std::abort();
      if (endOfFile && !line.empty()) std::abort();
    } else {
      NString line;
      reader.readLine(line, endOfFile);
      if (endOfFile && !line.isEmpty()) std::abort();
    }
    if (endOfFile) return;
  }
}

// The line rules written out once more: units low byte first (a lone last byte is a unit of its
// own), a line ends at the second of two consecutive CR/LF units, a single one is dropped, and
// a line holds at most kMaxLineUnits units.
std::vector<std::u16string> referenceLines(const uint8_t* data, size_t size) {
  std::vector<char16_t> units;
  for (size_t i = 2; i < size; i += 2)
    units.push_back(static_cast<char16_t>(data[i] | (i + 1 < size ? data[i + 1] << 8 : 0)));
  std::vector<std::u16string> lines;
  size_t next = 0;
  while (next < units.size()) {
    std::u16string line;
    bool pending = false;
    while (line.size() < NUnicodeFileReader::kMaxLineUnits && next < units.size()) {
      char16_t unit = units[next++];
      bool isBreak = unit == u'\r' || unit == u'\n';
      if (!isBreak) {
        line.push_back(unit);
        pending = false;
      } else if (pending) {
        break;
      } else {
        pending = true;
      }
    }
    lines.push_back(line);
  }
  return lines;
}

void compareWithReference(NUnicodeFileReader& reader, const uint8_t* data, size_t size) {
  for (const std::u16string& expected : referenceLines(data, size)) {
    std::u16string line;
    int endOfFile = 0;
    if (reader.readWideLine(line, endOfFile) != 1 || endOfFile || line != expected) std::abort();
  }
  std::u16string line;
  int endOfFile = 0;
  if (reader.readWideLine(line, endOfFile) != 0 || !endOfFile) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = scratch().windows("input.txt");
  scratch().write("input.txt", data, size);
  NUnicodeFileReader reader;
  bool marked = size >= 2 && data[0] == 0xFF && data[1] == 0xFE;
  if (reader.open(path.c_str()) != (marked ? 1 : 0)) std::abort();
  if (marked) readAll(reader, size, false);
  if (reader.openSkippingMark(path.c_str()) != 1) std::abort();
  readAll(reader, size, true);
  if (reader.openSkippingMark(path.c_str()) != 1) std::abort();
  compareWithReference(reader, data, size);
  return 0;
}
