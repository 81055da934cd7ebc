// LgzWriter: writes a gzip-compressed tar archive (the ".lgz" format the extraction library
// reads) into a VolumeSink, so the archive comes out already cut into parts.
#pragma once

#include <archive.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

namespace cvdt::pack {

class VolumeSink;

// Entries are written as GNU tar with their names as raw UTF-8 bytes, so no reader's locale
// changes a name. The gzip header carries no time stamp and the output is not padded, so the
// same content always gives the same parts (and the same digests, which lets agents keep the
// parts they already have). Every failure throws PackError.
class LgzWriter {
 public:
  explicit LgzWriter(VolumeSink& sink);
  ~LgzWriter();
  LgzWriter(const LgzWriter&) = delete;
  LgzWriter& operator=(const LgzWriter&) = delete;

  // name: the entry's path inside the archive, "/"-separated, without a trailing "/".
  void addFolder(const std::string& name, time_t modified);
  // Streams a host file into the archive; returns the digest text of its content (empty for an
  // empty file). A file that changes size while it is read is refused.
  std::string addFile(const std::string& name, const std::string& hostPath);
  void addBytes(const std::string& name, const std::string& bytes, time_t modified);
  // Ends the archive and the last part.
  void finish();
  // Called with the byte count of each piece of file content addFile has archived.
  void setProgress(std::function<void(uint64_t)> progress) { m_progress = std::move(progress); }

 private:
  static la_ssize_t onWrite(struct archive* writer, void* self, const void* data, size_t size);
  void writeHeader(struct archive_entry* entry, const std::string& name);
  void writeData(const void* data, size_t size, const std::string& name);
  [[noreturn]] void fail(const std::string& what);

  VolumeSink& m_sink;
  struct archive* m_pArchive = nullptr;
  std::string m_strSinkError;  // a write error of the sink, kept across the C callback
  std::function<void(uint64_t)> m_progress;
};

}  // namespace cvdt::pack
