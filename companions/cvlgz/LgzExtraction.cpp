// Unpacking one archive: the volumes are read as one gzip-compressed stream, libarchive's tar
// reader takes the entries from it, every entry passes the entry policy and the disk budget and
// is written into the staging folder, the gzip trailer and the archive's links are checked at
// the end, and only then is the tree moved into the destination.
#include "LgzExtraction.h"

#include <archive_entry.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "DiskBudget.h"
#include "EntryPolicy.h"
#include "FileWriter.h"
#include "StagingFolder.h"
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

std::string textOf(const char* text) { return text != nullptr ? text : ""; }

// The entry as the policy sees it.
EntryFacts factsOf(struct archive_entry* entry) {
  EntryFacts facts;
  facts.name = textOf(archive_entry_pathname(entry));
  switch (archive_entry_filetype(entry)) {
    case AE_IFREG: facts.type = EntryFacts::Type::File; break;
    case AE_IFDIR: facts.type = EntryFacts::Type::Folder; break;
    case AE_IFLNK: facts.type = EntryFacts::Type::SymbolicLink; break;
    default: facts.type = EntryFacts::Type::Special; break;
  }
  facts.symlinkTarget = textOf(archive_entry_symlink(entry));
  facts.hardlink = archive_entry_hardlink(entry) != nullptr;
  facts.hardlinkTarget = textOf(archive_entry_hardlink(entry));
  facts.sparse = archive_entry_sparse_count(entry) > 0;
  return facts;
}

}  // namespace

bool LgzExtraction::fail(const std::string& message) {
  if (m_strError.empty()) m_strError = message;
  return false;
}

bool LgzExtraction::succeeded(const plat::Status& status) {
  return status.ok() || fail(status.message());
}

bool LgzExtraction::extract(const char* destination, const char* archive) {
  m_strError.clear();
  m_created.clear();
  if (destination == nullptr || archive == nullptr || *archive == '\0') {
    return fail("no archive or destination");
  }
  std::string root;
  if (!prepareRoot(destination, root)) return false;
  bool ok = extractInto(root, archive);
  if (!ok) removeCreatedFolders();
  return ok;
}

// The staging folder is removed when this returns, after the writer has been freed.
bool LgzExtraction::extractInto(const std::string& root, const char* archive) {
  StagingFolder staging;
  DiskBudget budget;
  if (!succeeded(staging.create(root))) return false;
  if (!budget.measure(staging.tree())) return fail("cannot measure the free space of " + root);
  VolumeStream volumes(archive);
  if (!volumes.openFirst()) return fail(std::string("cannot open the archive ") + archive);
  TarStream tar(volumes);
  ArchivePtr reader(archive_read_new(), archive_read_free);
  ArchivePtr writer(archive_write_disk_new(), archive_write_free);
  if (!reader || !writer) return fail("out of memory");
  archive_read_support_format_tar(reader.get());
  if (!succeeded(tar.open(reader.get()))) return false;
  archive_write_disk_set_options(writer.get(), kDiskFlags);

  EntryPolicy policy(staging.tree(), root, staging.reservedName());
  bool ok = unpack(reader.get(), writer.get(), policy, budget);
  ok = ok && succeeded(tar.verify());
  // Closing the writer sets the folders' times and permissions, which were held back.
  if (archive_write_close(writer.get()) < ARCHIVE_WARN && ok) ok = fail(errorOf(writer.get()));
  ok = ok && succeeded(policy.linksStayInside());
  return ok && succeeded(staging.commit());
}

void LgzExtraction::removeCreatedFolders() {
  for (const std::string& folder : m_created) rmdir(folder.c_str());
  m_created.clear();
}

bool LgzExtraction::prepareRoot(const char* destination, std::string& root) {
  std::string host = plat::toHostPath(destination);
  if (host.empty()) return fail(std::string("no such drive: ") + destination);
  std::error_code ec;
  for (std::filesystem::path missing = std::filesystem::absolute(host, ec).lexically_normal();
       !missing.empty() && !std::filesystem::exists(std::filesystem::symlink_status(missing, ec));
       missing = missing.parent_path()) {
    m_created.push_back(missing.string());
    if (missing == missing.parent_path()) break;
  }
  std::filesystem::create_directories(host, ec);
  char resolved[PATH_MAX];
  struct stat info {};
  if (realpath(host.c_str(), resolved) == nullptr || stat(resolved, &info) != 0 ||
      !S_ISDIR(info.st_mode)) {
    removeCreatedFolders();
    return fail("the destination is not a folder: " + host);
  }
  root = resolved;
  return true;
}

// Reads entries up to the tar end-of-archive marker; whatever follows it is never looked at.
bool LgzExtraction::unpack(struct archive* reader, struct archive* writer, EntryPolicy& policy,
                           DiskBudget& budget) {
  for (;;) {
    struct archive_entry* entry = nullptr;
    int result = archive_read_next_header(reader, &entry);
    if (result == ARCHIVE_EOF) return true;
    if (result < ARCHIVE_WARN) return fail(errorOf(reader));
    std::string reason;
    const EntryFacts facts = factsOf(entry);
    StagedNames staged;
    switch (policy.admit(facts, staged, reason)) {
      case EntryPolicy::Verdict::Skip:
        continue;
      case EntryPolicy::Verdict::Refuse:
        return fail(reason);
      case EntryPolicy::Verdict::Write:
        archive_entry_copy_pathname(entry, staged.path.c_str());
        if (facts.hardlink) archive_entry_copy_hardlink(entry, staged.hardlinkTarget.c_str());
        if (!writeEntry(reader, writer, entry, facts.name, budget)) return false;
        break;
    }
  }
}

// Regular files are written here, so that every error of the file system counts; folders and
// links go through libarchive's disk writer.
bool LgzExtraction::writeEntry(struct archive* reader, struct archive* writer,
                               struct archive_entry* entry, const std::string& name,
                               DiskBudget& budget) {
  la_int64_t size = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : 0;
  if (!succeeded(budget.charge(size > 0 ? static_cast<uint64_t>(size) : 0, name.c_str())))
    return false;
  if (archive_entry_filetype(entry) == AE_IFREG && archive_entry_hardlink(entry) == nullptr) {
    FileWriter file;
    return succeeded(file.write(reader, entry, name));
  }
  if (archive_write_header(writer, entry) != ARCHIVE_OK) return fail(name + ": " + errorOf(writer));
  bool ok = copyData(reader, writer);
  if (archive_write_finish_entry(writer) < ARCHIVE_WARN && ok) ok = fail(errorOf(writer));
  return ok;
}

// The data of a hard link entry that carries some (pax allows it). A warning from the disk
// writer is a failed write.
bool LgzExtraction::copyData(struct archive* reader, struct archive* writer) {
  for (;;) {
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    int result = archive_read_data_block(reader, &block, &size, &offset);
    if (result == ARCHIVE_EOF) return true;
    if (result < ARCHIVE_WARN) return fail(errorOf(reader));
    if (archive_write_data_block(writer, block, size, offset) != ARCHIVE_OK) {
      return fail(errorOf(writer));
    }
  }
}

}  // namespace cvlgz
