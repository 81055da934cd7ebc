// Building the archive's tree beside the destination and moving it into place, all or nothing.
#include "StagingFolder.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace cvlgz {
namespace {

namespace fs = std::filesystem;

std::string systemError(const char* what, const std::string& path) {
  return std::string(what) + " " + path + ": " + std::strerror(errno);
}

bool makeTemporaryFolder(const std::string& pattern, std::string& made) {
  std::string name = pattern + "XXXXXX";
  if (mkdtemp(name.data()) == nullptr) return false;
  made = name;
  return true;
}

// The names in folder; false when it cannot be read.
bool namesIn(const std::string& folder, std::vector<std::string>& names) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return false;
  while (const struct dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
      names.emplace_back(entry->d_name);
  }
  closedir(dir);
  return true;
}

// Our own folders may carry the archive's read-only permissions; we still need to empty them.
void makeWritable(const std::string& folder, const struct stat& info) {
  if ((info.st_mode & S_IRWXU) != S_IRWXU) chmod(folder.c_str(), (info.st_mode & 07777) | S_IRWXU);
}

}  // namespace

StagingFolder::~StagingFolder() { remove(); }

plat::Status StagingFolder::create(const std::string& destination) {
  m_strDestination = destination;
  fs::path path(destination);
  struct stat parentInfo {};
  struct stat ownInfo {};
  bool beside = destination != "/" && stat(path.parent_path().c_str(), &parentInfo) == 0 &&
                stat(destination.c_str(), &ownInfo) == 0 && parentInfo.st_dev == ownInfo.st_dev;
  if (!(beside && makeTemporaryFolder(path.parent_path().string() + "/." +
                                          path.filename().string() + ".cvlgz-", m_strFolder))) {
    if (!makeTemporaryFolder((destination == "/" ? "" : destination) + "/.cvlgz-", m_strFolder)) {
      return plat::Status::failure(
          systemError("cannot create a staging folder beside or in", destination));
    }
    m_strReserved = fs::path(m_strFolder).filename().string();
  }
  m_strTree = m_strFolder + "/tree";
  if (mkdir(m_strTree.c_str(), 0755) != 0) {
    return plat::Status::failure(systemError("cannot create", m_strTree));
  }
  return {};
}

plat::Status StagingFolder::commit() {
  m_steps.clear();
  plat::Status status = mergeFolder(m_strTree, m_strDestination);
  if (!status) undo();
  return status;
}

plat::Status StagingFolder::mergeFolder(const std::string& staged, const std::string& existing) {
  struct stat info {};
  if (lstat(staged.c_str(), &info) == 0) makeWritable(staged, info);
  std::vector<std::string> names;
  if (!namesIn(staged, names)) {
    return plat::Status::failure(systemError("cannot read", staged));
  }
  for (const std::string& name : names) {
    if (plat::Status s = mergeEntry(staged + "/" + name, existing + "/" + name); !s) return s;
  }
  return {};
}

plat::Status StagingFolder::mergeEntry(const std::string& staged, const std::string& existing) {
  struct stat stagedInfo {};
  struct stat existingInfo {};
  if (lstat(staged.c_str(), &stagedInfo) != 0) {
    return plat::Status::failure(systemError("cannot read", staged));
  }
  if (lstat(existing.c_str(), &existingInfo) != 0) return move(staged, existing);
  bool stagedFolder = S_ISDIR(stagedInfo.st_mode);
  bool existingFolder = S_ISDIR(existingInfo.st_mode);
  // A link in the destination is replaced like a file, never followed.
  if (stagedFolder && existingFolder) return mergeFolder(staged, existing);
  if (existingFolder) {
    // Only an empty folder gives way to a file, and it is put back if the move fails.
    std::vector<std::string> inside;
    if (!namesIn(existing, inside) || !inside.empty()) {
      return plat::Status::failure("a file of the archive would replace the folder " + existing +
                                   ", which is not empty");
    }
    if (plat::Status s = moveAside(existing, false); !s) return s;
  } else if (plat::Status s = moveAside(existing, !stagedFolder); !s) {
    return s;
  }
  return move(staged, existing);
}

// Keeps what stood at existing below the staging folder until the move is complete. With
// keepName, the old file keeps its name too (a second hard link), so that the following rename
// replaces it in one step and no reader ever finds the name missing.
plat::Status StagingFolder::moveAside(const std::string& existing, bool keepName) {
  std::string saved = m_strFolder + "/saved";
  if (m_nSaved == 0 && mkdir(saved.c_str(), 0700) != 0 && errno != EEXIST) {
    return plat::Status::failure(systemError("cannot create", saved));
  }
  saved += "/" + std::to_string(m_nSaved++);
  if (keepName && link(existing.c_str(), saved.c_str()) == 0) {
    m_steps.push_back({existing, saved});
    return {};
  }
  return move(existing, saved);
}

plat::Status StagingFolder::move(const std::string& from, const std::string& to) {
  int result = rename(from.c_str(), to.c_str());
  struct stat info {};
  // Moving a folder to another parent rewrites its "..": that takes write permission on it.
  if (result != 0 && errno == EACCES && lstat(from.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    makeWritable(from, info);
    result = rename(from.c_str(), to.c_str());
    chmod(result == 0 ? to.c_str() : from.c_str(), info.st_mode & 07777);
  }
  if (result != 0) {
    return plat::Status::failure(systemError("cannot move into place", to));
  }
  m_steps.push_back({from, to});
  return {};
}

void StagingFolder::undo() {
  for (auto step = m_steps.rbegin(); step != m_steps.rend(); ++step) {
    rename(step->to.c_str(), step->from.c_str());
  }
  m_steps.clear();
}

void StagingFolder::remove() {
  if (m_strFolder.empty()) return;
  std::error_code ec;
  if (fs::remove_all(m_strFolder, ec) == static_cast<std::uintmax_t>(-1) || ec) {
    // Folders of the archive may be read-only; open them up and try again.
    for (auto it = fs::recursive_directory_iterator(m_strFolder, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
      struct stat info {};
      if (lstat(it->path().c_str(), &info) == 0 && S_ISDIR(info.st_mode)) makeWritable(it->path(), info);
    }
    struct stat info {};
    if (lstat(m_strFolder.c_str(), &info) == 0) makeWritable(m_strFolder, info);
    fs::remove_all(m_strFolder, ec);
  }
  m_strFolder.clear();
}

}  // namespace cvlgz
