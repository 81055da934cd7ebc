// The checks every archive entry passes before it is written to the staging folder, and the
// check of the archive's symbolic links before the tree is moved into place.
#include "EntryPolicy.h"

#include <sys/stat.h>

#include <cstring>

namespace cvlgz {
namespace {

bool isSeparator(char c) { return c == '/' || c == '\\'; }

const char* nameOf(struct archive_entry* entry) {
  const char* name = archive_entry_pathname(entry);
  return name != nullptr ? name : "";
}

std::string withoutTrailingSlash(const std::string& path) { return path == "/" ? "" : path; }

enum class Kind { Missing, Folder, Link, Other };

Kind kindOf(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return Kind::Missing;
  if (S_ISLNK(info.st_mode)) return Kind::Link;
  return S_ISDIR(info.st_mode) ? Kind::Folder : Kind::Other;
}

}  // namespace

EntryPolicy::EntryPolicy(const std::string& stage, const std::string& destination,
                         const std::string& reservedName)
    : m_strStage(withoutTrailingSlash(stage)),
      m_strDestination(withoutTrailingSlash(destination)),
      m_strReserved(reservedName) {}

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

std::string EntryPolicy::joined(const Parts& parts, size_t count) {
  std::string text;
  for (size_t i = 0; i < count && i < parts.size(); ++i) {
    if (i > 0) text += '/';
    text += parts[i];
  }
  return text;
}

std::string EntryPolicy::stagePath(const Parts& parts) const {
  return m_strStage + "/" + joined(parts, parts.size());
}

// A target is taken only in the form "../../a/b": climbing first, from the link's own folder
// (made of real folders), then descending. Such a link can only lead below the root, whatever
// the names it descends through turn out to be, in any order the links are written; "a/../b"
// would depend on what "a" is when the link is followed, so it is refused. A backslash in a
// target is a plain character on this system but a separator on Windows, so it is refused too.
bool EntryPolicy::resolveLinkTarget(const Parts& linkParts, const char* target, Parts& resolved) {
  if (target == nullptr || *target == '\0' || target[0] == '/') return false;
  if (std::strchr(target, '\\') != nullptr) return false;
  resolved.assign(linkParts.begin(), linkParts.end() - 1);
  bool descending = false;
  std::string part;
  for (const char* p = target;; ++p) {
    if (*p != '\0' && *p != '/') {
      part += *p;
      continue;
    }
    if (part.find(':') != std::string::npos) return false;
    if (part == "..") {
      if (descending || resolved.empty()) return false;
      resolved.pop_back();
    } else if (!part.empty() && part != ".") {
      descending = true;
      resolved.push_back(part);
    }
    part.clear();
    if (*p == '\0') return true;
  }
}

// True when one of the first count components (but the last) is a link written earlier.
bool EntryPolicy::passesThroughLink(const Parts& parts, size_t count) const {
  if (m_links.empty()) return false;
  std::string prefix;
  for (size_t i = 0; i + 1 < count; ++i) {
    prefix += (i > 0 ? "/" : "") + parts[i];
    if (m_links.count(prefix) != 0) return true;
  }
  return false;
}

EntryPolicy::Verdict EntryPolicy::admit(struct archive_entry* entry, std::string& reason) {
  Parts parts;
  if (!relativeParts(nameOf(entry), parts)) {
    reason = std::string("refused name leaving the destination: ") + nameOf(entry);
    return Verdict::Refuse;
  }
  if (parts.empty()) return Verdict::Skip;
  if (!m_strReserved.empty() && parts[0] == m_strReserved) {
    reason = std::string("refused name of the staging folder: ") + nameOf(entry);
    return Verdict::Refuse;
  }
  if (passesThroughLink(parts, parts.size())) {
    reason = std::string("refused entry written through a symbolic link: ") + nameOf(entry);
    return Verdict::Refuse;
  }
  if (archive_entry_sparse_count(entry) > 0) {
    reason = std::string("refused sparse file: ") + nameOf(entry);
    return Verdict::Refuse;
  }
  if (archive_entry_hardlink(entry) != nullptr && !admitHardlink(entry, reason)) {
    return Verdict::Refuse;
  }
  switch (archive_entry_filetype(entry)) {
    case AE_IFREG:
    case AE_IFDIR:
      break;
    case AE_IFLNK:
      if (!admitSymlink(entry, parts, reason)) return Verdict::Refuse;
      break;
    default:
      if (archive_entry_hardlink(entry) != nullptr) break;
      reason = std::string("refused special file: ") + nameOf(entry);
      return Verdict::Refuse;
  }
  std::string name = joined(parts, parts.size());
  if (archive_entry_filetype(entry) == AE_IFLNK && archive_entry_hardlink(entry) == nullptr) {
    m_links.insert(name);
  } else {
    m_links.erase(name);  // the entry takes the place of a link written earlier
  }
  archive_entry_copy_pathname(entry, stagePath(parts).c_str());
  return Verdict::Write;
}

bool EntryPolicy::admitSymlink(struct archive_entry* entry, const Parts& parts,
                               std::string& reason) {
  Link link{joined(parts, parts.size()), {}};
  if (!resolveLinkTarget(parts, archive_entry_symlink(entry), link.target)) {
    reason = std::string("refused link leaving the destination: ") + nameOf(entry);
    return false;
  }
  m_linkTargets.push_back(std::move(link));
  return true;
}

// A hard link may only join a regular file this archive wrote earlier, reached without passing
// through a symbolic link.
bool EntryPolicy::admitHardlink(struct archive_entry* entry, std::string& reason) const {
  Parts parts;
  const char* target = archive_entry_hardlink(entry);
  struct stat info {};
  bool inside = relativeParts(target, parts) && !parts.empty() &&
                !passesThroughLink(parts, parts.size()) &&
                lstat(stagePath(parts).c_str(), &info) == 0 && S_ISREG(info.st_mode);
  if (!inside) {
    reason = std::string("refused hard link leaving the destination or not to a file: ") +
             nameOf(entry);
    return false;
  }
  archive_entry_copy_hardlink(entry, stagePath(parts).c_str());
  return true;
}

bool EntryPolicy::linksStayInside(std::string& reason) const {
  for (const Link& link : m_linkTargets) {
    // A link replaced by a later entry is no longer there.
    if (m_links.count(link.name) == 0 || targetIsSafe(link)) continue;
    reason = "refused link pointing at or through another link: " + link.name;
    return false;
  }
  return true;
}

// Walks the target's components in the tree as it will be after the move into place: what the
// staging folder holds replaces what the destination holds, folders merge. No component may be
// a link; the walk ends early at a file or at a name neither holds (the link then dangles).
bool EntryPolicy::targetIsSafe(const Link& link) const {
  std::string staged = m_strStage;
  std::string existing = m_strDestination;
  bool inStage = true;
  for (const std::string& part : link.target) {
    staged += "/" + part;
    existing += "/" + part;
    Kind kind = inStage ? kindOf(staged) : Kind::Missing;
    if (kind == Kind::Missing) {
      inStage = false;
      kind = kindOf(existing);
    }
    if (kind == Kind::Link) return false;
    if (kind != Kind::Folder) return true;
  }
  return true;
}

}  // namespace cvlgz
