// The checks every archive entry passes before it is written to disk.
#include "EntryPolicy.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>

namespace cvlgz {
namespace {

bool isSeparator(char c) { return c == '/' || c == '\\'; }

const char* nameOf(struct archive_entry* entry) {
  const char* name = archive_entry_pathname(entry);
  return name != nullptr ? name : "";
}

}  // namespace

// Both separators count: the archives carry Windows file names.
bool EntryPolicy::relativeParts(const char* name, Parts& parts) {
  parts.clear();
  if (name == nullptr || isSeparator(name[0])) return false;
  std::string part;
  for (const char* p = name;; ++p) {
    if (*p != '\0' && !isSeparator(*p)) {
      part += *p;
      continue;
    }
    // ':' would name a drive ("C:x") or an alternate data stream on Windows.
    if (part == ".." || part.find(':') != std::string::npos) return false;
    if (!part.empty() && part != ".") parts.push_back(part);
    part.clear();
    if (*p == '\0') return true;
  }
}

// The target is resolved against the link's own folder; it must not climb above the root.
bool EntryPolicy::symlinkStaysInside(const Parts& linkParts, const char* target) {
  if (target == nullptr || *target == '\0' || isSeparator(target[0])) return false;
  size_t depth = linkParts.empty() ? 0 : linkParts.size() - 1;
  std::string part;
  for (const char* p = target;; ++p) {
    if (*p != '\0' && !isSeparator(*p)) {
      part += *p;
      continue;
    }
    if (part.find(':') != std::string::npos) return false;
    if (part == "..") {
      if (depth == 0) return false;
      --depth;
    } else if (!part.empty() && part != ".") {
      ++depth;
    }
    part.clear();
    if (*p == '\0') return true;
  }
}

std::string EntryPolicy::hostPath(const Parts& parts) const {
  std::string path = m_strRoot;
  for (const std::string& part : parts) path += "/" + part;
  return path;
}

EntryPolicy::Verdict EntryPolicy::admit(struct archive_entry* entry, std::string& reason) const {
  Parts parts;
  if (!relativeParts(nameOf(entry), parts)) {
    reason = std::string("refused name leaving the destination: ") + nameOf(entry);
    return Verdict::Refuse;
  }
  if (parts.empty()) return Verdict::Skip;
  if (archive_entry_hardlink(entry) != nullptr && !admitHardlink(entry, reason)) {
    return Verdict::Refuse;
  }
  switch (archive_entry_filetype(entry)) {
    case AE_IFREG:
    case AE_IFDIR:
      break;
    case AE_IFLNK:
      if (!symlinkStaysInside(parts, archive_entry_symlink(entry))) {
        reason = std::string("refused link leaving the destination: ") + nameOf(entry);
        return Verdict::Refuse;
      }
      break;
    default:
      if (archive_entry_hardlink(entry) != nullptr) break;
      reason = std::string("refused special file: ") + nameOf(entry);
      return Verdict::Refuse;
  }
  archive_entry_copy_pathname(entry, hostPath(parts).c_str());
  return Verdict::Write;
}

// A hard link may only join a file already written below the root; realpath also follows any
// symbolic link on the way, so a link planted earlier cannot lead out.
bool EntryPolicy::admitHardlink(struct archive_entry* entry, std::string& reason) const {
  Parts parts;
  const char* target = archive_entry_hardlink(entry);
  char resolved[PATH_MAX];
  bool inside = relativeParts(target, parts) && !parts.empty() &&
                realpath(hostPath(parts).c_str(), resolved) != nullptr &&
                std::string(resolved).rfind(m_strRoot + "/", 0) == 0;
  struct stat info {};
  if (!inside || lstat(resolved, &info) != 0 || !S_ISREG(info.st_mode)) {
    reason = std::string("refused hard link leaving the destination: ") + nameOf(entry);
    return false;
  }
  archive_entry_copy_hardlink(entry, resolved);
  return true;
}

}  // namespace cvlgz
