// MachineSnapshot: what a Windows test may add to the one machine that every test of a run
// shares (Wine's prefix): the entries of the usual folders, the subkeys of the usual registry
// keys and the system values that tests rewrite, remembered at construction; restore() removes
// whatever was added since and writes those values back, so each test starts on the machine as
// the run found it.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace cvdt::test {

class MachineSnapshot {
 public:
  MachineSnapshot();
  // Removes the folder entries and registry keys added since construction and writes the
  // remembered values back.
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

  struct Value {
    std::string key;  // under HKEY_LOCAL_MACHINE, 64-bit view
    std::string name;
    bool present = false;
    uint32_t type = 0;
    std::vector<uint8_t> data;
  };

  static std::set<std::string> folderNames(const std::string& path);
  static std::set<std::string> subKeyNames(const Key& key);

  std::vector<Folder> m_folders;
  std::vector<Key> m_keys;
  std::vector<Value> m_values;
};

}  // namespace cvdt::test
