// LgzExtraction: the object behind an extraction handle of cvlgz.dll. It unpacks a gzip-compressed
// tar archive, with its volumes, into a destination folder, all or nothing. One thread at a time.
#pragma once

#include <archive.h>

#include <string>
#include <vector>

#include "platform/Status.h"

namespace cvlgz {

class DiskBudget;
class EntryPolicy;

class LgzExtraction {
 public:
  // The libarchive options of the disk writer (folders, links): modification times are kept,
  // nothing is written through a symbolic link or along a ".." path, and an existing file is
  // replaced rather than written into (it may be a hard link to a file elsewhere).
  static constexpr int kDiskFlags = ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                    ARCHIVE_EXTRACT_SECURE_SYMLINKS | ARCHIVE_EXTRACT_UNLINK;

  // Unpacks archive into destination (both Windows paths). The archive's tree is built in a
  // staging folder beside the destination and moved into place only once the whole archive has
  // been read, checked and written. The destination is created when it is missing. False on
  // any failure; the destination is then as it was before (folders created for it are removed
  // again) and the staging folder is gone.
  bool extract(const char* destination, const char* archive);
  // Why the last extraction failed; empty after a success.
  const std::string& lastError() const { return m_strError; }

 private:
  bool prepareRoot(const char* destination, std::string& root);
  bool extractInto(const std::string& root, const char* archive);
  bool unpack(struct archive* reader, struct archive* writer, EntryPolicy& policy,
              DiskBudget& budget);
  bool writeEntry(struct archive* reader, struct archive* writer, struct archive_entry* entry,
                  const std::string& name, DiskBudget& budget);
  bool copyData(struct archive* reader, struct archive* writer);
  bool fail(const std::string& message);
  // True on success; a failure is kept as the extraction's error, as with fail.
  bool succeeded(const plat::Status& status);
  void removeCreatedFolders();

  std::string m_strError;
  std::vector<std::string> m_created;  // folders created for the destination, deepest first
};

}  // namespace cvlgz
