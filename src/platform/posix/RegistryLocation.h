// RegistryLocation: where the registry store keeps the key that a root, a path and a view name:
// HKEY_CLASSES_ROOT as the merged view of the machine's and the current user's classes,
// HKEY_CURRENT_USER as the process account's hive under HKEY_USERS, and the 32-bit view of a
// 64-bit machine with the keys that Windows 7 and later share between the views.
#pragma once

#include <cstdint>
#include <string>

#include "platform/PlatformRegistry.h"

namespace plat::posix {

struct RegistryLocation {
  // The stored key ("HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\X"): creation and reads go here;
  // value writes too, unless the overlay key exists.
  std::string path;
  // HKEY_CLASSES_ROOT only: the user's classes key of the same name, which wins on reads and
  // takes value writes when it exists; empty for every other root.
  std::string overlayPath;
  // The path named the root itself (no key name below it).
  bool isRoot = false;
};

// Maps root\path in the view that access asks for (kKeyWow64_32Key, kKeyWow64_64Key, or neither:
// the process's own view). Empty key names in path are skipped.
RegistryLocation locateRegistryKey(RegRoot root, const std::string& path, uint32_t access);

// The stored key HKEY_CURRENT_USER stands for in this process: "HKEY_USERS\.DEFAULT" for the
// system account, which a process running as root is (the host agent and the module run as
// root on a real installation, as they run as the system account on Windows), and
// "HKEY_USERS\<user name>" for a process of any other Linux user.
std::string currentUserHive();

}  // namespace plat::posix
