// The software status lookup of cvsw.dll.
#include "SoftwareStatus.h"

#include <cstring>
#include <vector>

#include "gendist/SwStatusApi.h"
#include "platform/PlatformRegistry.h"
#include "platform/WinError.h"

namespace {
constexpr size_t kMaxIdDigits = 20;
}  // namespace

bool SoftwareStatus::valueName(const char* softwareIdText, std::string& name) {
  if (softwareIdText == nullptr) return false;
  size_t length = std::strlen(softwareIdText);
  if (length == 0 || length > kMaxIdDigits) return false;
  if (std::strspn(softwareIdText, "0123456789") != length) return false;
  std::string digits(softwareIdText + std::strspn(softwareIdText, "0"));
  if (digits.empty()) return false;  // id 0 names no software
  name = digits;
  return true;
}

uint32_t SoftwareStatus::query(const char* softwareIdText) {
  std::string name;
  if (!valueName(softwareIdText, name)) return kSwStatusUnknown;
  plat::RegKey key;
  uint32_t rc = plat::RegKey::open(plat::RegRoot::LocalMachine, kKeyPath,
                                   plat::kKeyRead | plat::kKeyWow64_32Key, key);
  if (rc == plat::kErrorFileNotFound) return 0;
  if (rc != plat::kErrorSuccess) return kSwStatusUnknown;
  uint32_t type = 0;
  std::vector<uint8_t> data;
  rc = key.queryValue(name, type, data);
  if (rc == plat::kErrorFileNotFound) return 0;
  if (rc != plat::kErrorSuccess || type != plat::kRegDword || data.size() != 4)
    return kSwStatusUnknown;
  return static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
         static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
}
