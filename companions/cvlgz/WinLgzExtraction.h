// WinLgzExtraction: the object behind an extraction handle of cvlgz.dll on Windows. The same
// steps as the Linux build: the volumes are read as one gzip member (GzipMemberStream, the same
// volume-end rule), our tar reader takes the entries from it, every entry passes the same
// EntryPolicy and DiskBudget and is written into the staging folder, the trailer and the links
// are checked at the end, and only then is the tree moved into the destination. Symbolic links
// are refused here: creating one takes a privilege that Windows gives only to administrators.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "DiskBudget.h"
#include "EntryPolicy.h"
#include "TarReader.h"
#include "platform/Status.h"

namespace cvlgz {

class WinLgzExtraction {
 public:
  // Unpacks archive into destination (both Windows paths); see LgzExtraction::extract.
  bool extract(const char* destination, const char* archive);
  // Why the last extraction failed; empty after a success.
  const std::string& lastError() const { return m_strError; }

 private:
  struct FolderTime {
    std::string path;
    int64_t mtime;
  };

  bool prepareRoot(const char* destination, std::string& root);
  bool extractInto(const std::string& root, const char* archive);
  bool unpack(TarReader& reader, EntryPolicy& policy, DiskBudget& budget);
  bool writeEntry(TarReader& reader, const TarEntry& entry, const StagedNames& staged);
  bool writeFile(TarReader& reader, const TarEntry& entry, const std::string& path);
  bool copyData(TarReader& reader, HANDLE file, const TarEntry& entry);
  bool writeFolder(const TarEntry& entry, const std::string& path);
  bool writeHardlink(const TarEntry& entry, const StagedNames& staged);
  void setFolderTimes();
  bool fail(const std::string& message);
  // True on success; a failure is kept as the extraction's error, as with fail.
  bool succeeded(const plat::Status& status);
  void removeCreatedFolders();

  std::string m_strError;
  std::vector<std::string> m_created;  // folders created for the destination, deepest first
  std::vector<FolderTime> m_folderTimes;
};

}  // namespace cvlgz
