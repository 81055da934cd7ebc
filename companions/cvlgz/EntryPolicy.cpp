// The checks every archive entry passes before it is written to the staging folder, and the
// check of the archive's symbolic links before the tree is moved into place.
#include "EntryPolicy.h"

#include <cstring>
#include <filesystem>

namespace cvlgz {
namespace {

bool isSeparator(char c) { return c == '/' || c == '\\'; }

std::string withoutTrailingSlash(const std::string& path) { return path == "/" ? "" : path; }

enum class Kind { Missing, Folder, Link, Other };

// What stands at a path, a symbolic link not followed.
Kind kindOf(const std::string& path) {
  std::error_code ec;
  std::filesystem::file_status status = std::filesystem::symlink_status(path, ec);
  if (ec || !std::filesystem::exists(status)) return Kind::Missing;
  if (std::filesystem::is_symlink(status)) return Kind::Link;
  return std::filesystem::is_directory(status) ? Kind::Folder : Kind::Other;
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

EntryPolicy::Verdict EntryPolicy::admit(const EntryFacts& entry, StagedNames& staged,
                                        std::string& reason) {
  const std::string& name = entry.name;
  Parts parts;
  if (!relativeParts(name.c_str(), parts)) {
    reason = "refused name leaving the destination: " + name;
    return Verdict::Refuse;
  }
  if (parts.empty()) return Verdict::Skip;
  if (!m_strReserved.empty() && parts[0] == m_strReserved) {
    reason = "refused name of the staging folder: " + name;
    return Verdict::Refuse;
  }
  if (passesThroughLink(parts, parts.size())) {
    reason = "refused entry written through a symbolic link: " + name;
    return Verdict::Refuse;
  }
  if (entry.sparse) {
    reason = "refused sparse file: " + name;
    return Verdict::Refuse;
  }
  staged.hardlinkTarget.clear();
  if (entry.hardlink) {
    if (plat::Status s = admitHardlink(entry, staged); !s) {
      reason = s.message();
      return Verdict::Refuse;
    }
  }
  switch (entry.type) {
    case EntryFacts::Type::File:
    case EntryFacts::Type::Folder:
      break;
    case EntryFacts::Type::SymbolicLink:
      if (plat::Status s = admitSymlink(entry, parts); !s) {
        reason = s.message();
        return Verdict::Refuse;
      }
      break;
    case EntryFacts::Type::Special:
      if (entry.hardlink) break;
      reason = "refused special file: " + name;
      return Verdict::Refuse;
  }
  std::string relative = joined(parts, parts.size());
  if (entry.type == EntryFacts::Type::SymbolicLink && !entry.hardlink) {
    m_links.insert(relative);
  } else {
    m_links.erase(relative);  // the entry takes the place of a link written earlier
  }
  staged.path = stagePath(parts);
  return Verdict::Write;
}

plat::Status EntryPolicy::admitSymlink(const EntryFacts& entry, const Parts& parts) {
  Link link{joined(parts, parts.size()), {}};
  if (!resolveLinkTarget(parts, entry.symlinkTarget.c_str(), link.target))
    return plat::Status::failure("refused link leaving the destination: " + entry.name);
  m_linkTargets.push_back(std::move(link));
  return {};
}

// A hard link may only join a regular file this archive wrote earlier, reached without passing
// through a symbolic link.
plat::Status EntryPolicy::admitHardlink(const EntryFacts& entry, StagedNames& staged) const {
  Parts parts;
  bool inside = relativeParts(entry.hardlinkTarget.c_str(), parts) && !parts.empty() &&
                !passesThroughLink(parts, parts.size()) && kindOf(stagePath(parts)) == Kind::Other &&
                std::filesystem::is_regular_file(stagePath(parts));
  if (!inside) {
    return plat::Status::failure("refused hard link leaving the destination or not to a file: " +
                                 entry.name);
  }
  staged.hardlinkTarget = stagePath(parts);
  return {};
}

plat::Status EntryPolicy::linksStayInside() const {
  for (const Link& link : m_linkTargets) {
    // A link replaced by a later entry is no longer there.
    if (m_links.count(link.name) == 0 || targetIsSafe(link)) continue;
    return plat::Status::failure("refused link pointing at or through another link: " + link.name);
  }
  return {};
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
