// MachineSnapshot: what a Windows test may add to the one machine that every test of a run
// shares (Wine's prefix): the entries of the usual folders and the subkeys of the usual registry
// keys, remembered at construction; restore() removes whatever was added since, so each test
// starts on the machine as the run found it.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace cvdt::test {

class MachineSnapshot {
 public:
  MachineSnapshot();
  // Removes the folder entries and registry keys added since construction.
  void restore() const;

 private:
  struct Folder {
    std::string path;
    std::set<std::string> names;
  };
  struct Key {
    int root;       // plat::RegRoot
    uint32_t view;  // 0, kKeyWow64_32Key or kKeyWow64_64Key
    std::string path;
    std::set<std::string> subKeys;
  };

  static std::set<std::string> folderNames(const std::string& path);
  static std::set<std::string> subKeyNames(const Key& key);

  std::vector<Folder> m_folders;
  std::vector<Key> m_keys;
};

}  // namespace cvdt::test
