// Remembering and restoring the folders and keys that Windows tests write into.
#include "support/win32/MachineSnapshot.h"

#include <filesystem>

#include "platform/PlatformFs.h"
#include "platform/PlatformRegistry.h"
#include "platform/PlatformSystem.h"

namespace cvdt::test {
namespace {

namespace fs = std::filesystem;

// Folders that tests lay files into (System32 as itself: this test program is 64-bit).
std::vector<std::string> watchedFolders() {
  std::string windows = plat::windowsFolder();
  std::vector<std::string> folders = {
      "C:\\",  "C:\\Program Files", "C:\\Program Files\\Common Files",
      windows, windows + "\\Temp",  plat::systemFolder()};
  if (plat::isNative64Bit()) {
    folders.push_back("C:\\Program Files (x86)");
    folders.push_back("C:\\Program Files (x86)\\Common Files");
    folders.push_back(plat::systemWow64Folder());
  }
  return folders;
}

void removeTree(const fs::path& path) {
  std::error_code ec;
  fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
  for (auto it = fs::recursive_directory_iterator(path, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path, ec);
}

}  // namespace

MachineSnapshot::MachineSnapshot() {
  for (const std::string& path : watchedFolders()) m_folders.push_back({path, folderNames(path)});
  const uint32_t views[] = {plat::kKeyWow64_32Key, plat::kKeyWow64_64Key};
  for (uint32_t view : views) {
    m_keys.push_back({static_cast<int>(plat::RegRoot::LocalMachine), view, "SOFTWARE", {}});
    m_keys.push_back({static_cast<int>(plat::RegRoot::CurrentUser), view, "Software", {}});
  }
  for (Key& key : m_keys) key.subKeys = subKeyNames(key);
  // The product type that the server-edition tests rewrite and delete.
  Value productType;
  productType.key = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
  productType.name = "ProductType";
  plat::RegKey options;
  if (plat::RegKey::open(plat::RegRoot::LocalMachine, productType.key,
                         plat::kKeyRead | plat::kKeyWow64_64Key, options) == 0)
    productType.present =
        options.queryValue(productType.name, productType.type, productType.data) == 0;
  m_values.push_back(productType);
}

std::set<std::string> MachineSnapshot::folderNames(const std::string& path) {
  std::set<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(path, ec))
    names.insert(entry.path().filename().string());
  return names;
}

std::set<std::string> MachineSnapshot::subKeyNames(const Key& key) {
  std::set<std::string> names;
  plat::RegKey handle;
  if (plat::RegKey::open(static_cast<plat::RegRoot>(key.root), key.path, plat::kKeyRead | key.view,
                         handle) != 0)
    return names;
  std::string name;
  for (uint32_t i = 0; handle.enumSubKey(i, name) == 0; ++i) names.insert(name);
  return names;
}

void MachineSnapshot::restore() const {
  for (const Folder& folder : m_folders) {
    for (const std::string& name : folderNames(folder.path)) {
      if (folder.names.count(name) == 0) removeTree(fs::path(folder.path) / name);
    }
  }
  for (const Key& key : m_keys) {
    for (const std::string& name : subKeyNames(key)) {
      if (key.subKeys.count(name) != 0) continue;
      plat::RegKey::deleteTree(static_cast<plat::RegRoot>(key.root), key.path + "\\" + name,
                               plat::kKeyAllAccess | key.view);
    }
  }
  for (const Value& value : m_values) {
    plat::RegKey handle;
    if (plat::RegKey::open(plat::RegRoot::LocalMachine, value.key,
                           plat::kKeyAllAccess | plat::kKeyWow64_64Key, handle) != 0)
      continue;
    if (value.present)
      handle.setValue(value.name, value.type, value.data.data(), value.data.size());
    else handle.deleteValue(value.name);
  }
}

}  // namespace cvdt::test
