// SourceTree: the folders and files below a package's source folder, checked for names that a
// Windows machine can hold, in the byte order of their Windows paths (the module's index order).
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace cvdt::pack {

class SourceTree {
 public:
  struct Entry {
    std::string relative;  // "a/b c.txt": the archive name
    std::string windows;   // "a\b c.txt": the index name
    std::string host;      // host path of the file or folder
    bool folder = false;
    uint64_t size = 0;     // 0 for a folder
    time_t modified = 0;
  };

  // Walks hostFolder. Throws PackError when it is not a readable folder, for a symbolic link
  // or special file below it, for a name that is not valid UTF-8 or that Windows cannot hold,
  // and for two names in one folder that differ only in letter case.
  explicit SourceTree(const std::string& hostFolder);

  const std::vector<Entry>& entries() const { return m_entries; }
  // The entry whose Windows path equals windows (compared exactly), or null.
  const Entry* find(const std::string& windows) const;
  // Sum of the file sizes.
  uint64_t contentBytes() const;
  // The latest modification time of any entry (0 when there is none): a stable time stamp for
  // files made from the tree, so that packing the same tree twice gives the same bytes.
  time_t newest() const;

 private:
  void walk(const std::string& hostFolder, const std::string& relative, int depth);
  static void checkName(const std::string& name, const std::string& hostPath);

  std::vector<Entry> m_entries;
};

}  // namespace cvdt::pack
