// Readers of a file's version resource: the seven named text fields of its first translation
// and the numeric file version of its fixed part.
#include "detect/NFileVersion.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "platform/FixedText.h"
#include "platform/NMisc.h"
#include "platform/PlatformVersionInfo.h"

namespace {

// Spare bytes beyond the size the platform reports, as the resource reader allocates.
constexpr uint32_t kSpareBytes = 65000;

// Redirection off for the reads of one object, back on when it goes.
class RedirectionOff {
 public:
  RedirectionOff() {
    if (NMisc::is64BitWindows()) m_bOff = NMisc::disableWow64Redirection(&m_pOld);
  }
  ~RedirectionOff() {
    if (m_bOff) NMisc::revertWow64Redirection(m_pOld);
  }
  RedirectionOff(const RedirectionOff&) = delete;
  RedirectionOff& operator=(const RedirectionOff&) = delete;

 private:
  void* m_pOld = nullptr;
  bool m_bOff = false;
};

// The file's version block with the spare bytes, or null.
std::unique_ptr<unsigned char[]> readBlock(const char* path) {
  uint32_t size = plat::fileVersionInfoSize(path);
  if (size == 0) return nullptr;
  uint32_t total = size + kSpareBytes;
  std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[total]());
  if (!block || !plat::fileVersionInfo(path, block.get(), total)) return nullptr;
  return block;
}

// Reads "\StringFileInfo\<translation>\<name>" with the fall-backs for resources whose
// translation names no language; the field keeps its content when nothing is found.
void readEntry(void* block, const char* translation, const char* name, char* field) {
  if (std::strlen(translation) != 8) return;
  char query[200];
  const void* value = nullptr;
  uint32_t length = 0;
  std::snprintf(query, sizeof query, "\\StringFileInfo\\%s\\%s", translation, name);
  bool found = plat::queryVersionValue(block, query, &value, &length);
  if (!found && std::strcmp(translation, "00000000") == 0) {
    std::snprintf(query, sizeof query, "\\StringFileInfo\\040904e4\\%s", name);
    found = plat::queryVersionValue(block, query, &value, &length);
  } else if (!found && std::strncmp(translation, "0000", 4) == 0) {
    std::snprintf(query, sizeof query, "\\StringFileInfo\\0409%4.4s\\%s", translation + 4, name);
    found = plat::queryVersionValue(block, query, &value, &length);
  }
  if (!found || value == nullptr) return;
  std::snprintf(field, 256, "%.255s", static_cast<const char*>(value));
}

}  // namespace

NFileVersion::NFileVersion() {
  plat::setFixedText(m_szFileVersion, "None");
  m_szOriginalFileName[0] = m_szCompanyName[0] = m_szFileDescription[0] = '\0';
  m_szProductName[0] = m_szProductVersion[0] = m_szInternalName[0] = '\0';
  m_szFilePath[0] = m_szTranslation[0] = '\0';
}

NFileVersion::~NFileVersion() = default;

void NFileVersion::load(const char* path) {
  if (path == nullptr) return;
  plat::setFixedText(m_szFileVersion, "None");
  m_szOriginalFileName[0] = m_szCompanyName[0] = m_szFileDescription[0] = '\0';
  m_szProductName[0] = m_szProductVersion[0] = m_szInternalName[0] = '\0';
  m_szTranslation[0] = '\0';
  std::snprintf(m_szFilePath, sizeof m_szFilePath, "%.260s", path);
  RedirectionOff redirection;
  std::unique_ptr<unsigned char[]> block = readBlock(path);
  if (!block) return;
  const void* value = nullptr;
  uint32_t length = 0;
  if (!plat::queryVersionValue(block.get(), "\\VarFileInfo\\Translation", &value, &length) ||
      length < 4)
    return;
  const unsigned char* pair = static_cast<const unsigned char*>(value);
  std::snprintf(m_szTranslation, sizeof m_szTranslation, "%4.4x%4.4x", pair[0] | (pair[1] << 8),
                pair[2] | (pair[3] << 8));
  struct Target {
    const char* name;
    char* field;
  };
  const Target targets[] = {
      {"FileVersion", m_szFileVersion},  {"OriginalFileName", m_szOriginalFileName},
      {"CompanyName", m_szCompanyName},  {"FileDescription", m_szFileDescription},
      {"ProductName", m_szProductName},  {"ProductVersion", m_szProductVersion},
      {"InternalName", m_szInternalName}};
  for (const Target& target : targets)
    readEntry(block.get(), m_szTranslation, target.name, target.field);
}

NString getFileVersionNumber(const char* path) {
  if (path == nullptr) return NString("");
  RedirectionOff redirection;
  std::unique_ptr<unsigned char[]> block = readBlock(path);
  if (!block) return NString("");
  const void* value = nullptr;
  uint32_t length = 0;
  if (!plat::queryVersionValue(block.get(), "\\", &value, &length) || length < 52)
    return NString("");
  const unsigned char* fixed = static_cast<const unsigned char*>(value);
  auto dword = [fixed](int offset) {
    return static_cast<uint32_t>(fixed[offset]) | (static_cast<uint32_t>(fixed[offset + 1]) << 8) |
           (static_cast<uint32_t>(fixed[offset + 2]) << 16) |
           (static_cast<uint32_t>(fixed[offset + 3]) << 24);
  };
  uint32_t ms = dword(8), ls = dword(12);
  char text[100];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", static_cast<int>(ms >> 16),
                static_cast<int>(ms & 0xFFFF), static_cast<int>(ls >> 16),
                static_cast<int>(ls & 0xFFFF));
  return NString(text);
}
