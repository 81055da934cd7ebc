// NMisc file and folder helpers: path kinds, one-level folder creation, moves that survive
// read-only targets, tree deletion and free disk space.
#include "platform/NMisc.h"
#include "platform/PlatformFs.h"
#include "platform/PlatformProcessList.h"

#include <cstring>

namespace NMisc {

int getPathKind(const char* path, int noRedirection) {
  if (path == nullptr) return 0;
  void* old = nullptr;
  bool switched = noRedirection != 0 && disableWow64Redirection(&old);
  plat::PathKind kind = plat::findFirstKind(path);
  if (switched) revertWow64Redirection(old);
  return static_cast<int>(kind);
}

int makePath(const char* path) {
  if (path == nullptr) return 0;
  plat::PathKind kind = plat::pathKind(path);
  if (kind == plat::PathKind::Directory) return 1;
  if (kind == plat::PathKind::File) {
    plat::setNormalAttributes(path);
    plat::deleteFile(path);
  }
  return plat::createDirectory(path) ? 1 : 0;
}

int moveFile(const char* source, const char* target) {
  if (source == nullptr || target == nullptr) return 0;
  bool copied = plat::copyFile(source, target, false);
  if (!copied) {
    plat::setNormalAttributes(target);
    copied = plat::copyFile(source, target, false);
  }
  if (copied) plat::deleteFile(source);
  return copied ? 1 : 0;
}

void deleteTree(const char* folder) {
  if (folder == nullptr) return;
  std::vector<plat::DirEntry> entries;
  if (!plat::listDirectory(folder, entries)) return;
  std::string base = folder;
  for (const plat::DirEntry& entry : entries) {
    std::string child = base + "\\" + entry.name;
    if (entry.isDirectory) {
      deleteTree(child.c_str());
    } else if (entry.isLink) {
      plat::deleteFile(child);  // the link only, never what it points at
    } else {
      plat::setNormalAttributes(child);
      plat::deleteFile(child);
    }
  }
  plat::removeDirectory(folder);
}

int getDiskSpace(char driveLetter, double* freeBytes, double* totalBytes) {
  uint64_t freeCount = 0;
  uint64_t totalCount = 0;
  bool ok = plat::diskSpace(driveLetter, freeCount, totalCount);
  if (freeBytes != nullptr) *freeBytes = ok ? static_cast<double>(freeCount) : 0.0;
  if (totalBytes != nullptr) *totalBytes = ok ? static_cast<double>(totalCount) : 0.0;
  return ok ? 1 : 0;
}

int getProcessImagePath(uint32_t processId, char* buffer, int size) {
  std::string path;
  if (!isXpOrLater() || buffer == nullptr || size <= 0 || !plat::processImagePath(processId, path))
    return 0;
  std::strncpy(buffer, path.c_str(), static_cast<size_t>(size) - 1);
  buffer[size - 1] = '\0';
  return 1;
}

}  // namespace NMisc
