// LgzExtraction: the object behind an extraction handle of cvlgz.dll. It unpacks a gzip-compressed
// tar archive, with its volumes, into a destination folder. One thread at a time.
#pragma once

#include <archive.h>

#include <string>
#include <vector>

namespace cvlgz {

class EntryPolicy;

class LgzExtraction {
 public:
  // The libarchive options of the disk writer: modification times are kept, nothing is written
  // through a symbolic link or along a ".." path, and an existing file is replaced rather than
  // written into (it may be a hard link to a file elsewhere).
  static constexpr int kDiskFlags = ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                    ARCHIVE_EXTRACT_SECURE_SYMLINKS | ARCHIVE_EXTRACT_UNLINK;

  // Unpacks archive into destination (both Windows paths). The destination is created when it
  // is missing. False on any failure; the files this extraction wrote are then removed again
  // (folders stay), since nothing vouches for their content once the archive fails its check.
  bool extract(const char* destination, const char* archive);
  // Why the last extraction failed (for debugging; nothing is printed).
  const std::string& lastError() const { return m_strError; }

 private:
  bool prepareRoot(const char* destination, std::string& root);
  bool unpack(struct archive* reader, struct archive* writer, const EntryPolicy& policy);
  bool writeEntry(struct archive* reader, struct archive* writer, struct archive_entry* entry);
  bool copyData(struct archive* reader, struct archive* writer);
  bool fail(const std::string& message);
  void removeWritten();

  std::string m_strError;
  std::vector<std::string> m_written;  // files and links written by the current extraction
};

}  // namespace cvlgz
