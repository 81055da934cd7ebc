// The machine's registry: keys and values under the predefined roots, with the 32- and 64-bit
// views of a 64-bit machine. Key and value names compare ignoring case. As on Windows,
// HKEY_CLASSES_ROOT is the merged view of HKLM\SOFTWARE\Classes and the current user's
// Software\Classes, and HKEY_CURRENT_USER is the calling account's key under HKEY_USERS.
//
// Every call returns a Windows error code (kErrorSuccess = 0). A RegKey is used by one thread;
// several threads and processes may use the registry at once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plat {

enum class RegRoot : uint32_t {
  ClassesRoot = 0x80000000u,
  CurrentUser = 0x80000001u,
  LocalMachine = 0x80000002u,
  Users = 0x80000003u,
  CurrentConfig = 0x80000005u,
};

inline constexpr uint32_t kKeyRead = 0x20019;
inline constexpr uint32_t kKeyAllAccess = 0xF003F;
inline constexpr uint32_t kKeyWow64_64Key = 0x0100;
inline constexpr uint32_t kKeyWow64_32Key = 0x0200;
inline constexpr uint32_t kKeySetValue = 0x0002;

inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegDwordBigEndian = 5;
inline constexpr uint32_t kRegLink = 6;
inline constexpr uint32_t kRegMultiSz = 7;
inline constexpr uint32_t kRegResourceList = 8;
inline constexpr uint32_t kRegQword = 11;

// Full name of a root as regedit writes it ("HKEY_LOCAL_MACHINE"); false for an unknown name.
const char* regRootName(RegRoot root);
bool regRootFromName(const std::string& name, RegRoot& root);

// Closes the idle connections this library keeps. A library that is about to be unloaded calls
// it last; the next registry call opens a connection again.
void closeRegistryConnections();

class RegKey {
 public:
  RegKey() = default;
  ~RegKey() = default;
  RegKey(const RegKey&) = default;
  RegKey& operator=(const RegKey&) = default;

  // Every method returns a Windows error code (kErrorSuccess, 0, on success). On failure the
  // out-parameters are left as they were, except `out` of open and create, which is closed
  // first.
  //
  // RegOpenKeyExA: the key must exist. access carries the rights and the view flags.
  static uint32_t open(RegRoot root, const std::string& path, uint32_t access, RegKey& out);
  // RegCreateKeyExA: creates the key and any missing parents, or opens it when it exists;
  // *created (when given) tells which, and is set only on success.
  static uint32_t create(RegRoot root, const std::string& path, uint32_t access, RegKey& out,
                         bool* created = nullptr);
  // RegDeleteTreeA on root\path: the key and everything below it.
  static uint32_t deleteTree(RegRoot root, const std::string& path, uint32_t access);

  // RegQueryValueExA. An empty name is the key's default value.
  uint32_t queryValue(const std::string& name, uint32_t& type, std::vector<uint8_t>& data) const;
  // RegSetValueExA.
  uint32_t setValue(const std::string& name, uint32_t type, const void* data, size_t size);
  uint32_t deleteValue(const std::string& name);
  // RegEnumValueA / RegEnumKeyExA by index; kErrorNoMoreItems past the end.
  uint32_t enumValue(uint32_t index, std::string& name) const;
  uint32_t enumSubKey(uint32_t index, std::string& name) const;
  // RegQueryInfoKeyA: longest value name (characters) and longest value data (bytes).
  uint32_t queryInfo(uint32_t& maxValueNameLength, uint32_t& maxValueLength) const;

  void close() { m_open = false; }
  bool isOpen() const { return m_open; }
  // The key's full path after view mapping ("HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\X"); for
  // a key under HKEY_CLASSES_ROOT, the machine's classes key that new keys are made in.
  const std::string& fullPath() const { return m_path; }

 private:
  // The key merged over m_path on reads, or m_path when there is none.
  const std::string& readOverlay() const { return m_overlayPath.empty() ? m_path : m_overlayPath; }

  std::string m_path;
  std::string m_overlayPath;  // HKEY_CLASSES_ROOT: the user's classes key; empty otherwise
  uint32_t m_access = 0;
  bool m_open = false;
};

}  // namespace plat
