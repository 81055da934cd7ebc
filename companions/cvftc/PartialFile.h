// PartialFile: a download in progress, written to a hidden temporary file beside its final path
// and renamed into place only once it is complete, so the final path never holds part of a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/UniqueFd.h"

namespace cvftc {

class PartialFile {
 public:
  PartialFile() = default;
  ~PartialFile();  // discards an uncommitted file
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;

  // Creates the temporary file in the folder of finalPath (a host path). False when the folder
  // is missing or not writable, or finalPath names a folder or a read-only file.
  bool open(const std::string& finalPath);
  // Appends bytes; false on a write error (the file is then useless).
  bool write(const char* data, size_t size);
  uint64_t size() const { return m_nSize; }
  // Closes the file, gives it the usual permissions and renames it over the final path.
  bool commit();
  // Removes the temporary file.
  void discard();

 private:
  plat::UniqueFd m_fd;
  uint64_t m_nSize = 0;
  std::string m_strFinalPath;
  std::string m_strTempPath;
};

}  // namespace cvftc
