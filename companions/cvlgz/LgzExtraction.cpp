// Unpacking one archive: the volumes are read as one gzip-compressed stream, libarchive's tar
// reader takes the entries from it, every entry passes the entry policy, the disk writer puts it
// below the destination, and the gzip trailer is checked at the end.
#include "LgzExtraction.h"

#include <archive_entry.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "EntryPolicy.h"
#include "TarStream.h"
#include "VolumeStream.h"
#include "platform/PlatformFs.h"

namespace cvlgz {
namespace {

using ArchivePtr = std::unique_ptr<struct archive, int (*)(struct archive*)>;

std::string errorOf(struct archive* handle) {
  const char* text = archive_error_string(handle);
  return text != nullptr ? text : "unknown archive error";
}

}  // namespace

bool LgzExtraction::fail(const std::string& message) {
  m_strError = message;
  return false;
}

bool LgzExtraction::extract(const char* destination, const char* archive) {
  m_strError.clear();
  m_written.clear();
  if (destination == nullptr || archive == nullptr || *archive == '\0') {
    return fail("no archive or destination");
  }
  std::string root;
  if (!prepareRoot(destination, root)) return false;
  VolumeStream volumes(archive);
  if (!volumes.openFirst()) return fail(std::string("cannot open the archive ") + archive);
  TarStream tar(volumes);
  ArchivePtr reader(archive_read_new(), archive_read_free);
  ArchivePtr writer(archive_write_disk_new(), archive_write_free);
  if (!reader || !writer) return fail("out of memory");
  archive_read_support_format_tar(reader.get());
  std::string error;
  if (!tar.open(reader.get(), error)) return fail(error);
  archive_write_disk_set_options(writer.get(), kDiskFlags);

  EntryPolicy policy(root);
  bool ok = unpack(reader.get(), writer.get(), policy);
  if (ok && !tar.verify(error)) ok = fail(error);
  // Closing the writer sets the folders' times and permissions, which were held back.
  if (archive_write_close(writer.get()) < ARCHIVE_WARN && ok) ok = fail(errorOf(writer.get()));
  if (!ok) removeWritten();
  return ok;
}

void LgzExtraction::removeWritten() {
  for (const std::string& path : m_written) unlink(path.c_str());
  m_written.clear();
}

bool LgzExtraction::prepareRoot(const char* destination, std::string& root) {
  std::string host = plat::toHostPath(destination);
  if (host.empty()) return fail(std::string("no such drive: ") + destination);
  std::error_code ec;
  std::filesystem::create_directories(host, ec);
  char resolved[PATH_MAX];
  struct stat info {};
  if (realpath(host.c_str(), resolved) == nullptr || stat(resolved, &info) != 0 ||
      !S_ISDIR(info.st_mode)) {
    return fail("the destination is not a folder: " + host);
  }
  root = resolved;
  return true;
}

// Reads entries up to the tar end-of-archive marker; whatever follows it is never looked at.
bool LgzExtraction::unpack(struct archive* reader, struct archive* writer,
                           const EntryPolicy& policy) {
  for (;;) {
    struct archive_entry* entry = nullptr;
    int result = archive_read_next_header(reader, &entry);
    if (result == ARCHIVE_EOF) return true;
    if (result < ARCHIVE_WARN) return fail(errorOf(reader));
    std::string reason;
    switch (policy.admit(entry, reason)) {
      case EntryPolicy::Verdict::Skip:
        continue;
      case EntryPolicy::Verdict::Refuse:
        return fail(reason);
      case EntryPolicy::Verdict::Write:
        if (!writeEntry(reader, writer, entry)) return false;
        break;
    }
  }
}

bool LgzExtraction::writeEntry(struct archive* reader, struct archive* writer,
                               struct archive_entry* entry) {
  if (archive_write_header(writer, entry) < ARCHIVE_WARN) return fail(errorOf(writer));
  if (archive_entry_filetype(entry) != AE_IFDIR) m_written.push_back(archive_entry_pathname(entry));
  bool ok = copyData(reader, writer);
  if (archive_write_finish_entry(writer) < ARCHIVE_WARN && ok) ok = fail(errorOf(writer));
  return ok;
}

bool LgzExtraction::copyData(struct archive* reader, struct archive* writer) {
  for (;;) {
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    int result = archive_read_data_block(reader, &block, &size, &offset);
    if (result == ARCHIVE_EOF) return true;
    if (result < ARCHIVE_WARN) return fail(errorOf(reader));
    if (archive_write_data_block(writer, block, size, offset) < ARCHIVE_WARN) {
      return fail(errorOf(writer));
    }
  }
}

}  // namespace cvlgz
