// Building the archive's tree beside the destination and moving it into place, all or nothing
// (Windows: MoveFileEx renames on the same volume, a hard link keeps a replaced file's name).
#include <windows.h>

#include <filesystem>
#include <random>

#include "StagingFolder.h"

namespace cvlgz {
namespace {

namespace fs = std::filesystem;

std::string systemError(const char* what, const std::string& path) {
  return std::string(what) + " " + path + ": error " + std::to_string(GetLastError());
}

bool makeTemporaryFolder(const std::string& prefix, std::string& made) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device seed;
  std::mt19937 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = prefix;
    for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
    if (CreateDirectoryA(name.c_str(), nullptr)) {
      made = name;
      return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

std::string volumeOf(const std::string& path) {
  char root[MAX_PATH] = {};
  return GetVolumePathNameA(path.c_str(), root, sizeof root) ? root : "";
}

// The names in folder; false when it cannot be read.
bool namesIn(const std::string& folder, std::vector<std::string>& names) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return true;
}

// A folder, not a link to one (a reparse point is moved like a file, never entered).
bool isRealFolder(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

}  // namespace

StagingFolder::~StagingFolder() { remove(); }

plat::Status StagingFolder::create(const std::string& destination) {
  m_strDestination = destination;
  fs::path path(destination);
  bool isRoot = path.parent_path() == path || !path.has_relative_path();
  std::string parent = path.parent_path().string();
  bool beside = !isRoot && volumeOf(parent) == volumeOf(destination) &&
                makeTemporaryFolder(parent + "\\." + path.filename().string() + ".cvlgz-",
                                    m_strFolder);
  if (!beside) {
    std::string inside = destination.back() == '\\' ? destination : destination + "\\";
    if (!makeTemporaryFolder(inside + ".cvlgz-", m_strFolder)) {
      return plat::Status::failure(
          systemError("cannot create a staging folder beside or in", destination));
    }
    m_strReserved = fs::path(m_strFolder).filename().string();
  }
  m_strTree = m_strFolder + "\\tree";
  if (!CreateDirectoryA(m_strTree.c_str(), nullptr)) {
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
  std::vector<std::string> names;
  if (!namesIn(staged, names)) {
    return plat::Status::failure(systemError("cannot read", staged));
  }
  std::string into = existing.back() == '\\' ? existing : existing + "\\";
  for (const std::string& name : names) {
    if (plat::Status s = mergeEntry(staged + "\\" + name, into + name); !s) return s;
  }
  return {};
}

plat::Status StagingFolder::mergeEntry(const std::string& staged, const std::string& existing) {
  DWORD stagedAttributes = GetFileAttributesA(staged.c_str());
  if (stagedAttributes == INVALID_FILE_ATTRIBUTES) {
    return plat::Status::failure(systemError("cannot read", staged));
  }
  DWORD existingAttributes = GetFileAttributesA(existing.c_str());
  if (existingAttributes == INVALID_FILE_ATTRIBUTES) return move(staged, existing);
  bool stagedFolder = isRealFolder(stagedAttributes);
  bool existingFolder = isRealFolder(existingAttributes);
  if (stagedFolder && existingFolder) return mergeFolder(staged, existing);
  if (existingFolder) {
    // Only an empty folder gives way to a file, and it is put back if the move fails.
    std::vector<std::string> inside;
    if (!namesIn(existing, inside) || !inside.empty()) {
      return plat::Status::failure("a file of the archive would replace the folder " + existing +
                                   ", which is not empty");
    }
    if (plat::Status s = moveAside(existing, false); !s) return s;
  } else {
    // A read-only file cannot be replaced in place: it is moved aside whole.
    bool readOnly = (existingAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (plat::Status s = moveAside(existing, !stagedFolder && !readOnly); !s) return s;
  }
  return move(staged, existing);
}

// Keeps what stood at existing below the staging folder until the move is complete. With
// keepName, the old file keeps its name too (a second hard link), so that the following rename
// replaces it in one step and no reader ever finds the name missing.
plat::Status StagingFolder::moveAside(const std::string& existing, bool keepName) {
  std::string saved = m_strFolder + "\\saved";
  if (m_nSaved == 0 && !CreateDirectoryA(saved.c_str(), nullptr) &&
      GetLastError() != ERROR_ALREADY_EXISTS) {
    return plat::Status::failure(systemError("cannot create", saved));
  }
  saved += "\\" + std::to_string(m_nSaved++);
  if (keepName && CreateHardLinkA(saved.c_str(), existing.c_str(), nullptr)) {
    m_steps.push_back({existing, saved});
    return {};
  }
  return move(existing, saved);
}

plat::Status StagingFolder::move(const std::string& from, const std::string& to) {
  if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    return plat::Status::failure(systemError("cannot move into place", to));
  }
  m_steps.push_back({from, to});
  return {};
}

void StagingFolder::undo() {
  for (auto step = m_steps.rbegin(); step != m_steps.rend(); ++step) {
    MoveFileExA(step->to.c_str(), step->from.c_str(), MOVEFILE_REPLACE_EXISTING);
  }
  m_steps.clear();
}

void StagingFolder::remove() {
  if (m_strFolder.empty()) return;
  std::error_code ec;
  // Files of the archive may be read-only; Windows removes none of those.
  for (auto it = fs::recursive_directory_iterator(m_strFolder, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    SetFileAttributesA(it->path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  fs::remove_all(m_strFolder, ec);
  m_strFolder.clear();
}

}  // namespace cvlgz
