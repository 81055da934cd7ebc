// FileWriter: writes the data of one regular file of the archive into the staging folder. Every
// failed or short write and a failed close fail the entry, so a full disk is never taken for a
// finished file; data that does not follow on without gaps (a sparse file) is refused.
#pragma once

#include <archive.h>
#include <archive_entry.h>

#include <cstdint>
#include <string>

#include "platform/Status.h"
#include "platform/UniqueFd.h"

namespace cvlgz {

class FileWriter {
 public:
  // Writes entry's data, read from reader, to the host path the entry names. Whatever stood at
  // that path in the staging folder (an earlier entry of the same name, a link, an empty folder)
  // is replaced; missing parent folders are created. The file gets the entry's permission bits
  // (less the umask) and modification time. A failure says what failed; the half-written file is
  // left for the caller's clean-up.
  // name: the entry's name in the archive, for the error texts.
  plat::Status write(struct archive* reader, struct archive_entry* entry, const std::string& name);

 private:
  // Opens path as a new file in fd.
  static plat::Status create(const std::string& path, const std::string& name, mode_t mode,
                             plat::UniqueFd& fd);
  static plat::Status copy(struct archive* reader, int fd, const std::string& name,
                           int64_t declared);
  static plat::Status writeAll(int fd, const char* data, size_t size, const std::string& name);
};

}  // namespace cvlgz
