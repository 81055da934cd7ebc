// NUnicodeFileReader: buffered reading of UTF-16 LE lines with the module's line-break rules.
#include "platform/NUnicodeFileReader.h"

#include "platform/PlatformText.h"

namespace {

constexpr size_t kReadChunk = 64 * 1024;

bool isBreakUnit(char16_t unit) { return unit == u'\r' || unit == u'\n'; }

}  // namespace

NUnicodeFileReader::NUnicodeFileReader() = default;

NUnicodeFileReader::~NUnicodeFileReader() { close(); }

bool NUnicodeFileReader::openFile(const char* path) {
  close();
  if (!path) return false;
  return m_file.open(path, plat::FileMode::Read);
}

int NUnicodeFileReader::open(const char* path) {
  if (!openFile(path)) return 0;
  uint8_t low = 0;
  uint8_t high = 0;
  if (nextByte(low) && nextByte(high) && low == 0xFF && high == 0xFE) return 1;
  close();
  return 0;
}

int NUnicodeFileReader::openSkippingMark(const char* path) {
  if (!openFile(path)) return 0;
  uint8_t skipped = 0;
  nextByte(skipped);
  nextByte(skipped);
  return 1;
}

void NUnicodeFileReader::close() {
  m_file.close();
  m_vecBuffer.clear();
  m_nBufferPos = 0;
  m_nBufferFill = 0;
}

bool NUnicodeFileReader::nextByte(uint8_t& byte) {
  if (m_nBufferPos == m_nBufferFill) {
    if (!m_file.isOpen()) return false;
    m_vecBuffer.resize(kReadChunk);
    m_nBufferFill = m_file.read(m_vecBuffer.data(), m_vecBuffer.size());
    m_nBufferPos = 0;
    if (m_nBufferFill == 0) return false;
  }
  byte = m_vecBuffer[m_nBufferPos++];
  return true;
}

bool NUnicodeFileReader::nextUnit(char16_t& unit) {
  uint8_t low = 0;
  uint8_t high = 0;
  bool gotLow = nextByte(low);
  bool gotHigh = nextByte(high);
  if (!gotLow && !gotHigh) return false;
  unit = static_cast<char16_t>(low | (high << 8));
  return true;
}

int NUnicodeFileReader::readWideLine(std::u16string& line, int& endOfFile) {
  line.clear();
  endOfFile = 1;
  bool breakPending = false;
  char16_t unit = 0;
  while (line.size() < kMaxLineUnits && nextUnit(unit)) {
    endOfFile = 0;
    if (!isBreakUnit(unit)) {
      line.push_back(unit);
      breakPending = false;
    } else if (breakPending) {
      break;
    } else {
      breakPending = true;
    }
  }
  return endOfFile ? 0 : 1;
}

int NUnicodeFileReader::readLine(NString& line, int& endOfFile) {
  std::u16string wide;
  int read = readWideLine(wide, endOfFile);
  line = wide.empty() ? "" : plat::wideToAnsi(wide).c_str();
  return read;
}
