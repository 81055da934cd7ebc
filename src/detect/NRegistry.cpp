// Registry access for detection, settings and the state shared with the progress dialogs.
#include "detect/NRegistry.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/NMisc.h"
#include "platform/PlatformText.h"
#include "platform/WinError.h"

namespace {

constexpr uint32_t kReadRights = 0x20019;
constexpr uint32_t kAllRights = 0xF003F;
constexpr uint32_t kReadValueSlack = 100;
// Enumeration errors other than the end skip one index; this many in a row end the search, so a
// broken store cannot keep the caller looping.
constexpr int kMaxEnumerationErrors = 64;

uint32_t accessFor(bool readOnly, bool view64) {
  uint32_t access = readOnly ? kReadRights : kAllRights;
  if (NMisc::is64BitWindows()) access |= view64 ? plat::kKeyWow64_64Key : plat::kKeyWow64_32Key;
  return access;
}

// The bytes of data up to the first zero, read through a zero-filled buffer one larger.
NString textUpToZero(const std::vector<uint8_t>& data, size_t limit) {
  std::vector<char> buffer(std::min(data.size(), limit) + 1, '\0');
  if (buffer.size() > 1) std::memcpy(buffer.data(), data.data(), buffer.size() - 1);
  return NString(buffer.data());
}

NString renderByType(uint32_t type, const std::vector<uint8_t>& data, size_t limit) {
  switch (type) {
    case plat::kRegNone:
    case plat::kRegSz:
    case plat::kRegExpandSz:
    case plat::kRegBinary:
    case plat::kRegLink:
    case plat::kRegMultiSz:
    case plat::kRegResourceList: return textUpToZero(data, limit);
    case plat::kRegDword: {
      uint8_t bytes[4] = {0, 0, 0, 0};
      std::memcpy(bytes, data.data(), std::min<size_t>(data.size(), 4));
      int32_t value = static_cast<int32_t>(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
                                           (static_cast<uint32_t>(bytes[3]) << 24));
      NString text;
      text.format("%d", value);
      return text;
    }
    default: return NString();
  }
}

}  // namespace

NRegistry::~NRegistry() { close(); }

bool NRegistry::open(plat::RegRoot root, const char* keyPath, bool openExisting, bool readOnly,
                     bool view64) {
  m_hRoot = root;
  m_strKeyPath = keyPath ? keyPath : "";
  close();
  uint32_t access = accessFor(readOnly, view64);
  uint32_t error = openExisting ? plat::RegKey::open(root, m_strKeyPath.text(), access, m_hKey)
                                : plat::RegKey::create(root, m_strKeyPath.text(), access, m_hKey);
  if (error != 0) m_hKey.close();
  return error == 0;
}

void NRegistry::close() { m_hKey.close(); }

NString NRegistry::readText(const char* valueName) {
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (!m_hKey.isOpen() || m_hKey.queryValue(valueName ? valueName : "", type, data) != 0)
    return NString();
  return textUpToZero(data, data.size());
}

NString NRegistry::readValue(const char* valueName) {
  uint32_t maxName = 0;
  uint32_t maxValue = 0;
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (!m_hKey.isOpen() || m_hKey.queryInfo(maxName, maxValue) != 0 ||
      m_hKey.queryValue(valueName ? valueName : "", type, data) != 0)
    return NString();
  return renderByType(type, data, static_cast<size_t>(maxValue) + kReadValueSlack - 1);
}

bool NRegistry::writeText(const char* valueName, const char* text) {
  const char* value = text ? text : "";
  return m_hKey.isOpen() &&
         m_hKey.setValue(valueName ? valueName : "", plat::kRegSz, value, std::strlen(value)) == 0;
}

bool NRegistry::writeBinary(const char* valueName, const void* bytes, uint32_t size) {
  return m_hKey.isOpen() && (bytes != nullptr || size == 0) &&
         m_hKey.setValue(valueName ? valueName : "", plat::kRegBinary, bytes, size) == 0;
}

bool NRegistry::deleteValue(const char* valueName) {
  return m_hKey.isOpen() && m_hKey.deleteValue(valueName ? valueName : "") == 0;
}

bool hasValueName(const plat::RegKey* key, const char* name) {
  uint32_t maxName = 0;
  uint32_t maxValue = 0;
  if (key == nullptr || name == nullptr || key->queryInfo(maxName, maxValue) != 0) return false;
  int errorsInRow = 0;
  for (uint32_t index = 0;; ++index) {
    std::string valueName;
    uint32_t error = key->enumValue(index, valueName);
    if (error == plat::kErrorNoMoreItems) return false;
    if (error != 0) {
      if (++errorsInRow >= kMaxEnumerationErrors) return false;
      continue;
    }
    errorsInRow = 0;
    if (plat::compareNoCase(valueName.c_str(), name) == 0) return true;
  }
}
