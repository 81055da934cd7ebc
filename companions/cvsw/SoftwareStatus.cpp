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

SoftwareStatus::Lookup SoftwareStatus::lookUp(uint32_t view, const std::string& name,
                                              uint32_t& flags) {
  plat::RegKey key;
  uint32_t rc = plat::RegKey::open(plat::RegRoot::LocalMachine, kKeyPath, plat::kKeyRead | view, key);
  if (rc == plat::kErrorFileNotFound) return Lookup::Missing;
  if (rc != plat::kErrorSuccess) return Lookup::Failed;
  uint32_t type = 0;
  std::vector<uint8_t> data;
  rc = key.queryValue(name, type, data);
  if (rc == plat::kErrorFileNotFound) return Lookup::Missing;
  if (rc != plat::kErrorSuccess || type != plat::kRegDword || data.size() != 4) return Lookup::Failed;
  flags = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
          static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
  return Lookup::Found;
}

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
  uint32_t flags = 0;
  // The agent's own view first; a 64-bit installer or regedit writes the other one.
  for (uint32_t view : {plat::kKeyWow64_32Key, plat::kKeyWow64_64Key}) {
    Lookup found = lookUp(view, name, flags);
    if (found == Lookup::Found) return flags;
    if (found == Lookup::Failed) return kSwStatusUnknown;
  }
  return 0;
}
