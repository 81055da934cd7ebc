// EntryPolicy: decides whether an archive entry may be written below the destination folder and
// rewrites its names to absolute host paths there. Absolute names, drive names, ".." components,
// special files, and links that would lead out of the destination are refused.
#pragma once

#include <archive_entry.h>

#include <string>
#include <vector>

namespace cvlgz {

class EntryPolicy {
 public:
  enum class Verdict { Write, Skip, Refuse };

  // root: the destination as an absolute host path without symbolic links in it.
  explicit EntryPolicy(const std::string& root) : m_strRoot(root == "/" ? "" : root) {}

  // Write: the entry's path (and hard-link target) now name host paths below the root.
  // Skip: the entry names the root itself ("./"). Refuse: reason says why.
  Verdict admit(struct archive_entry* entry, std::string& reason) const;

 private:
  using Parts = std::vector<std::string>;

  // The components of a name relative to the root; false for names that leave it.
  static bool relativeParts(const char* name, Parts& parts);
  static bool symlinkStaysInside(const Parts& linkParts, const char* target);
  bool admitHardlink(struct archive_entry* entry, std::string& reason) const;
  std::string hostPath(const Parts& parts) const;

  std::string m_strRoot;  // empty when the destination is the host's root
};

}  // namespace cvlgz
