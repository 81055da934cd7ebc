// The progress record reader of cvdtndlg.exe.
#include "DialogRecordReader.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "gendist/NDtDlgRecord.h"
#include "platform/PlatformRegistry.h"
#include "platform/PlatformText.h"

namespace {

// Text of a fixed field up to its first zero, never past its end.
std::string fieldText(const char* field, size_t width) {
  const void* end = std::memchr(field, '\0', width);
  // The record holds the machine's ANSI text; the terminal shows UTF-8.
  return plat::ansiToUtf8(std::string(field, end ? static_cast<const char*>(end) - field : width));
}

}  // namespace

DialogRecordReader::DialogRecordReader(const std::string& distId)
    : m_strRecordName(std::string(kNDtDlgRecordPrefix) + distId),
      m_strCounterName(std::string(kNDtDlgCounterPrefix) + distId) {}

bool DialogRecordReader::read(DialogFrame& frame) const {
  plat::RegKey key;
  if (plat::RegKey::open(plat::RegRoot::LocalMachine, kAgentKey,
                         plat::kKeyRead | plat::kKeyWow64_32Key, key) != 0)
    return false;
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (key.queryValue(m_strRecordName, type, data) != 0 || type != plat::kRegBinary ||
      data.size() != sizeof(NDtDlgRecord))
    return false;
  NDtDlgRecord record;
  std::memcpy(&record, data.data(), sizeof record);
  DialogFrame read;
  read.progress = record.m_nProgress;
  read.status = fieldText(record.m_szStatus, sizeof record.m_szStatus);
  read.message = fieldText(record.m_szMessage, sizeof record.m_szMessage);
  std::vector<uint8_t> counter;
  if (key.queryValue(m_strCounterName, type, counter) == 0 && type == plat::kRegSz) {
    counter.push_back(0);
    read.counter = static_cast<uint32_t>(std::strtoul(reinterpret_cast<char*>(counter.data()), nullptr, 10));
  }
  frame = read;
  return true;
}
