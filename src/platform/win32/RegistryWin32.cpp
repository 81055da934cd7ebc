// The registry of the win32 backend on advapi. A RegKey keeps its root, path and access (view
// flags included) and opens the key for each call, so copies of a RegKey share no handle; the
// system applies the views, HKEY_CLASSES_ROOT's merge and HKEY_CURRENT_USER itself.
#include <utility>
#include <vector>

#include "platform/PlatformRegistry.h"
#include "platform/WinError.h"
#include "platform/win32/WindowsApi.h"

namespace plat {
namespace {

constexpr DWORD kViewFlags = KEY_WOW64_32KEY | KEY_WOW64_64KEY;
constexpr DWORD kLongestValueName = 16383;
constexpr DWORD kLongestKeyName = 255;

HKEY rootKey(RegRoot root) {
  switch (root) {
    case RegRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
    case RegRoot::CurrentUser: return HKEY_CURRENT_USER;
    case RegRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
    case RegRoot::Users: return HKEY_USERS;
    case RegRoot::CurrentConfig: return HKEY_CURRENT_CONFIG;
  }
  return nullptr;
}

// An open key, closed when the object goes.
class OpenKey {
 public:
  OpenKey() = default;
  ~OpenKey() {
    if (m_hKey != nullptr) RegCloseKey(m_hKey);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  HKEY* out() { return &m_hKey; }
  HKEY get() const { return m_hKey; }

 private:
  HKEY m_hKey = nullptr;
};

// Splits "HKEY_LOCAL_MACHINE\SOFTWARE\X" into its root and the path below it.
bool splitFullPath(const std::string& full, HKEY& root, std::string& path) {
  size_t slash = full.find('\\');
  RegRoot named;
  if (!regRootFromName(full.substr(0, slash), named)) return false;
  root = rootKey(named);
  path = slash == std::string::npos ? std::string() : full.substr(slash + 1);
  return root != nullptr;
}

std::string fullPathOf(RegRoot root, const std::string& path) {
  std::string full = regRootName(root);
  return path.empty() ? full : full + "\\" + path;
}

// Reopens the key that a RegKey names, with the rights and view it was opened with.
uint32_t reopen(const std::string& full, uint32_t access, OpenKey& key) {
  HKEY root = nullptr;
  std::string path;
  if (!splitFullPath(full, root, path)) return kErrorInvalidHandle;
  return static_cast<uint32_t>(RegOpenKeyExA(root, path.c_str(), 0, access, key.out()));
}

}  // namespace

void closeRegistryConnections() {}

uint32_t RegKey::open(RegRoot root, const std::string& path, uint32_t access, RegKey& out) {
  out.close();
  HKEY rootHandle = rootKey(root);
  if (rootHandle == nullptr) return kErrorInvalidHandle;
  OpenKey key;
  LONG result = RegOpenKeyExA(rootHandle, path.c_str(), 0, access, key.out());
  if (result != ERROR_SUCCESS) return static_cast<uint32_t>(result);
  out.m_path = fullPathOf(root, path);
  out.m_access = access;
  out.m_open = true;
  return kErrorSuccess;
}

uint32_t RegKey::create(RegRoot root, const std::string& path, uint32_t access, RegKey& out,
                        bool* created) {
  out.close();
  HKEY rootHandle = rootKey(root);
  if (rootHandle == nullptr) return kErrorInvalidHandle;
  OpenKey key;
  DWORD disposition = 0;
  char keyClass[] = "REG_SZ";
  LONG result = RegCreateKeyExA(rootHandle, path.c_str(), 0, keyClass, REG_OPTION_NON_VOLATILE,
                                access, nullptr, key.out(), &disposition);
  if (result != ERROR_SUCCESS) return static_cast<uint32_t>(result);
  if (created != nullptr) *created = disposition == REG_CREATED_NEW_KEY;
  out.m_path = fullPathOf(root, path);
  out.m_access = access;
  out.m_open = true;
  return kErrorSuccess;
}

// RegDeleteTreeA empties the key; the key itself goes with RegDeleteKeyExA in the same view.
uint32_t RegKey::deleteTree(RegRoot root, const std::string& path, uint32_t access) {
  HKEY rootHandle = rootKey(root);
  if (rootHandle == nullptr) return kErrorInvalidHandle;
  if (path.empty()) return kErrorAccessDenied;  // a root stays
  using DeleteTreeFn = LONG(WINAPI*)(HKEY, LPCSTR);
  using DeleteKeyExFn = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);
  auto deleteTreeCall = win32::loadedFunction<DeleteTreeFn>("advapi32.dll", "RegDeleteTreeA");
  auto deleteKeyEx = win32::loadedFunction<DeleteKeyExFn>("advapi32.dll", "RegDeleteKeyExA");
  if (deleteTreeCall == nullptr) return ERROR_PROC_NOT_FOUND;
  DWORD view = access & kViewFlags;
  {
    OpenKey key;
    LONG result = RegOpenKeyExA(rootHandle, path.c_str(), 0, KEY_ALL_ACCESS | view, key.out());
    if (result != ERROR_SUCCESS) return static_cast<uint32_t>(result);
    result = deleteTreeCall(key.get(), nullptr);
    if (result != ERROR_SUCCESS) return static_cast<uint32_t>(result);
  }
  LONG result = deleteKeyEx != nullptr ? deleteKeyEx(rootHandle, path.c_str(), view, 0)
                                       : RegDeleteKeyA(rootHandle, path.c_str());
  return static_cast<uint32_t>(result);
}

uint32_t RegKey::queryValue(const std::string& name, uint32_t& type,
                            std::vector<uint8_t>& data) const {
  if (!m_open) return kErrorInvalidHandle;
  OpenKey key;
  uint32_t error = reopen(m_path, m_access, key);
  if (error != kErrorSuccess) return error;
  std::vector<uint8_t> buffer(256);
  for (;;) {
    DWORD valueType = 0;
    DWORD size = static_cast<DWORD>(buffer.size());
    LONG result = RegQueryValueExA(key.get(), name.c_str(), nullptr, &valueType, buffer.data(), &size);
    if (result == ERROR_MORE_DATA) {
      buffer.resize(size > buffer.size() ? size : buffer.size() * 2);
      continue;
    }
    if (result != ERROR_SUCCESS) return static_cast<uint32_t>(result);
    buffer.resize(size);
    type = valueType;
    data = std::move(buffer);
    return kErrorSuccess;
  }
}

uint32_t RegKey::setValue(const std::string& name, uint32_t type, const void* data, size_t size) {
  if (!m_open) return kErrorInvalidHandle;
  OpenKey key;
  uint32_t error = reopen(m_path, m_access, key);
  if (error != kErrorSuccess) return error;
  return static_cast<uint32_t>(RegSetValueExA(key.get(), name.c_str(), 0, type,
                                              static_cast<const BYTE*>(data),
                                              static_cast<DWORD>(size)));
}

uint32_t RegKey::deleteValue(const std::string& name) {
  if (!m_open) return kErrorInvalidHandle;
  OpenKey key;
  uint32_t error = reopen(m_path, m_access, key);
  if (error != kErrorSuccess) return error;
  return static_cast<uint32_t>(RegDeleteValueA(key.get(), name.c_str()));
}

uint32_t RegKey::enumValue(uint32_t index, std::string& name) const {
  if (!m_open) return kErrorInvalidHandle;
  OpenKey key;
  uint32_t error = reopen(m_path, m_access, key);
  if (error != kErrorSuccess) return error;
  std::vector<char> buffer(kLongestValueName + 1);
  DWORD length = static_cast<DWORD>(buffer.size());
  LONG result = RegEnumValueA(key.get(), index, buffer.data(), &length, nullptr, nullptr, nullptr,
                              nullptr);
  if (result != ERROR_SUCCESS) return static_cast<uint32_t>(result);
  name.assign(buffer.data(), length);
  return kErrorSuccess;
}

uint32_t RegKey::enumSubKey(uint32_t index, std::string& name) const {
  if (!m_open) return kErrorInvalidHandle;
  OpenKey key;
  uint32_t error = reopen(m_path, m_access, key);
  if (error != kErrorSuccess) return error;
  char buffer[kLongestKeyName + 1];
  DWORD length = sizeof buffer;
  LONG result = RegEnumKeyExA(key.get(), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
  if (result != ERROR_SUCCESS) return static_cast<uint32_t>(result);
  name.assign(buffer, length);
  return kErrorSuccess;
}

uint32_t RegKey::queryInfo(uint32_t& maxValueNameLength, uint32_t& maxValueLength) const {
  if (!m_open) return kErrorInvalidHandle;
  OpenKey key;
  uint32_t error = reopen(m_path, m_access, key);
  if (error != kErrorSuccess) return error;
  DWORD nameLength = 0, valueLength = 0;
  LONG result = RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, &nameLength, &valueLength, nullptr, nullptr);
  if (result != ERROR_SUCCESS) return static_cast<uint32_t>(result);
  maxValueNameLength = nameLength;
  maxValueLength = valueLength;
  return kErrorSuccess;
}

}  // namespace plat
