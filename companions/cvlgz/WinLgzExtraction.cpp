// Unpacking one archive on Windows.
#include "WinLgzExtraction.h"

#include <filesystem>

#include "GzipMemberStream.h"
#include "StagingFolder.h"
#include "VolumeStream.h"

namespace cvlgz {
namespace {

namespace fs = std::filesystem;

std::string systemError(const char* what, const std::string& name) {
  DWORD code = GetLastError();
  std::string text = std::string(what) + " " + name + ": error " + std::to_string(code);
  if (code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL)
    text += " (the destination's disk is full)";
  return text;
}

FILETIME fileTimeOf(int64_t unixSeconds) {
  // 100-nanosecond intervals since 1601.
  uint64_t ticks = static_cast<uint64_t>(unixSeconds + 11644473600LL) * 10000000ULL;
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// Whatever an earlier entry of the same name left (a file, an empty folder) gives way.
void clearPath(const std::string& path) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!DeleteFileA(path.c_str())) RemoveDirectoryA(path.c_str());
}

void createParents(const std::string& path) {
  std::error_code ec;
  fs::create_directories(fs::path(path).parent_path(), ec);
}

}  // namespace

bool WinLgzExtraction::fail(const std::string& message) {
  if (m_strError.empty()) m_strError = message;
  return false;
}

bool WinLgzExtraction::succeeded(const plat::Status& status) {
  return status.ok() || fail(status.message());
}

bool WinLgzExtraction::extract(const char* destination, const char* archive) {
  m_strError.clear();
  m_created.clear();
  m_folderTimes.clear();
  if (destination == nullptr || archive == nullptr || *archive == '\0' || *destination == '\0')
    return fail("no archive or destination");
  std::string root;
  if (!prepareRoot(destination, root)) return false;
  bool ok = extractInto(root, archive);
  if (!ok) removeCreatedFolders();
  return ok;
}

bool WinLgzExtraction::prepareRoot(const char* destination, std::string& root) {
  char full[MAX_PATH];
  DWORD length = GetFullPathNameA(destination, sizeof full, full, nullptr);
  if (length == 0 || length >= sizeof full) return fail(std::string("bad destination: ") + destination);
  std::string path = full;
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  std::error_code ec;
  for (fs::path missing = path; !missing.empty() && !fs::exists(fs::symlink_status(missing, ec));
       missing = missing.parent_path()) {
    m_created.push_back(missing.string());
    if (missing == missing.parent_path()) break;
  }
  fs::create_directories(path, ec);
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    removeCreatedFolders();
    return fail("the destination is not a folder: " + path);
  }
  root = path;
  return true;
}

void WinLgzExtraction::removeCreatedFolders() {
  for (const std::string& folder : m_created) RemoveDirectoryA(folder.c_str());
  m_created.clear();
}

// The staging folder is removed when this returns.
bool WinLgzExtraction::extractInto(const std::string& root, const char* archive) {
  StagingFolder staging;
  DiskBudget budget;
  if (!succeeded(staging.create(root))) return false;
  if (!budget.measure(staging.tree())) return fail("cannot measure the free space of " + root);
  VolumeStream volumes(archive);
  if (!volumes.openFirst()) return fail(std::string("cannot open the archive ") + archive);
  GzipMemberStream member(volumes);
  if (!succeeded(member.open())) return false;
  TarReader reader(member);
  EntryPolicy policy(staging.tree(), root, staging.reservedName());
  bool ok = unpack(reader, policy, budget);
  ok = ok && succeeded(member.verify());
  if (ok) setFolderTimes();
  ok = ok && succeeded(policy.linksStayInside());
  return ok && succeeded(staging.commit());
}

// Reads entries up to the tar end-of-archive marker; whatever follows it is never looked at.
bool WinLgzExtraction::unpack(TarReader& reader, EntryPolicy& policy, DiskBudget& budget) {
  bool first = true;
  for (;; first = false) {
    TarEntry entry;
    bool atEnd = false;
    if (plat::Status s = reader.next(entry, atEnd); !s)
      return fail(first ? "not a tar archive: " + s.message() : s.message());
    if (atEnd) return true;
    if (entry.facts.type == EntryFacts::Type::SymbolicLink && !entry.facts.hardlink)
      return fail("refused symbolic link (not extracted on Windows): " + entry.facts.name);
    StagedNames staged;
    std::string error;
    switch (policy.admit(entry.facts, staged, error)) {
      case EntryPolicy::Verdict::Skip:
        continue;
      case EntryPolicy::Verdict::Refuse:
        return fail(error);
      case EntryPolicy::Verdict::Write:
        if (!succeeded(budget.charge(entry.size, entry.facts.name.c_str()))) return false;
        if (!writeEntry(reader, entry, staged)) return false;
        break;
    }
  }
}

bool WinLgzExtraction::writeEntry(TarReader& reader, const TarEntry& entry,
                                  const StagedNames& staged) {
  if (entry.facts.hardlink) return writeHardlink(entry, staged);
  if (entry.facts.type == EntryFacts::Type::Folder) return writeFolder(entry, staged.path);
  return writeFile(reader, entry, staged.path);
}

bool WinLgzExtraction::writeFile(TarReader& reader, const TarEntry& entry,
                                 const std::string& path) {
  const std::string& name = entry.facts.name;
  clearPath(path);
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PATH_NOT_FOUND) {
    createParents(path);
    file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (file == INVALID_HANDLE_VALUE) return fail(systemError("cannot create", name));
  bool ok = copyData(reader, file, entry);
  if (ok && entry.hasMtime) {
    FILETIME time = fileTimeOf(entry.mtime);
    SetFileTime(file, nullptr, &time, &time);  // a time that cannot be kept leaves the file as good
  }
  // No flush to the disk per file (it would cost a disk write each); a failed close counts.
  if (!CloseHandle(file) && ok) ok = fail(systemError("cannot finish", name));
  // A file without write permission bits is read-only, as the archive's packer meant.
  if (ok && (entry.mode & 0222) == 0) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
  return ok;
}

bool WinLgzExtraction::copyData(TarReader& reader, HANDLE file, const TarEntry& entry) {
  uint64_t written = 0;
  for (;;) {
    const char* block = nullptr;
    size_t size = 0;
    if (!succeeded(reader.readData(&block, size))) return false;
    if (size == 0) break;
    while (size > 0) {
      DWORD done = 0;
      if (!WriteFile(file, block, static_cast<DWORD>(size), &done, nullptr) || done == 0)
        return fail(systemError("cannot write", entry.facts.name));
      block += done;
      size -= done;
      written += done;
    }
  }
  if (written != entry.size)
    return fail("the archive's data for " + entry.facts.name + " is shorter than its size");
  return true;
}

bool WinLgzExtraction::writeFolder(const TarEntry& entry, const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    clearPath(path);
  std::error_code ec;
  fs::create_directories(path, ec);
  attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    return fail(systemError("cannot create the folder", entry.facts.name));
  if (entry.hasMtime) m_folderTimes.push_back({path, entry.mtime});
  return true;
}

bool WinLgzExtraction::writeHardlink(const TarEntry& entry, const StagedNames& staged) {
  clearPath(staged.path);
  createParents(staged.path);
  // File systems without hard links (FAT) get a copy of the same bytes.
  if (!CreateHardLinkA(staged.path.c_str(), staged.hardlinkTarget.c_str(), nullptr) &&
      !CopyFileA(staged.hardlinkTarget.c_str(), staged.path.c_str(), TRUE))
    return fail(systemError("cannot create the hard link", entry.facts.name));
  return true;
}

// Writing into a folder changes its time, so the archive's times are set once all is written.
void WinLgzExtraction::setFolderTimes() {
  for (auto it = m_folderTimes.rbegin(); it != m_folderTimes.rend(); ++it) {
    HANDLE folder = CreateFileA(it->path.c_str(), FILE_WRITE_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) continue;
    FILETIME time = fileTimeOf(it->mtime);
    SetFileTime(folder, nullptr, &time, &time);
    CloseHandle(folder);
  }
}

}  // namespace cvlgz
