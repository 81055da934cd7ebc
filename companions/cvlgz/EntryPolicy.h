// EntryPolicy: decides whether an archive entry may be written into the staging folder and
// rewrites its names to absolute host paths there. Absolute names, drive names, ".." components,
// special files, sparse files, entries that pass through a symbolic link, and links that could
// lead out of the destination or at another link are refused. Both tar readers (libarchive's on
// Linux, ours on Windows) describe their entries to it, so both apply the same rules. One
// extraction at a time.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "platform/Status.h"

namespace cvlgz {

// What the policy looks at in an archive entry.
struct EntryFacts {
  enum class Type { File, Folder, SymbolicLink, Special };
  std::string name;           // as the archive has it
  Type type = Type::File;
  std::string symlinkTarget;  // a symbolic link's target
  bool hardlink = false;      // a hard link to hardlinkTarget (whatever type says)
  std::string hardlinkTarget;
  bool sparse = false;
};

// Where an admitted entry goes: host paths in the staging folder.
struct StagedNames {
  std::string path;
  std::string hardlinkTarget;  // a hard link's target; empty otherwise
};

class EntryPolicy {
 public:
  enum class Verdict { Write, Skip, Refuse };

  // stage: the staging folder as an absolute host path without symbolic links in it; the
  // archive's tree is built there and later moved into destination (same rules).
  // reservedName: a first component no entry may have (the staging folder's own name when it
  // lies inside the destination), or empty.
  EntryPolicy(const std::string& stage, const std::string& destination,
              const std::string& reservedName);

  // Write: staged holds the entry's path (and hard-link target) as host paths in the staging
  // folder. Skip: the entry names the root itself ("./"). Refuse: reason says why. A written
  // symbolic link is remembered; any later entry that replaces it must be admitted here too.
  Verdict admit(const EntryFacts& entry, StagedNames& staged, std::string& reason);

  // Once every entry is in the staging folder: success when no symbolic link of the archive
  // points at or through another symbolic link, whether of the archive or already in the
  // destination (the staging tree laid over the destination, as it will be after the move into
  // place); otherwise a failure naming the link.
  plat::Status linksStayInside() const;

 private:
  using Parts = std::vector<std::string>;
  struct Link {
    std::string name;  // relative path, "/"-joined
    Parts target;      // the target's components below the root
  };

  // The components of a name relative to the root; false for names that leave it.
  static bool relativeParts(const char* name, Parts& parts);
  static std::string joined(const Parts& parts, size_t count);
  // The target resolved against the link's folder, "..", then names only; false otherwise.
  static bool resolveLinkTarget(const Parts& linkParts, const char* target, Parts& resolved);
  bool passesThroughLink(const Parts& parts, size_t count) const;
  plat::Status admitSymlink(const EntryFacts& entry, const Parts& parts);
  plat::Status admitHardlink(const EntryFacts& entry, StagedNames& staged) const;
  bool targetIsSafe(const Link& link) const;
  std::string stagePath(const Parts& parts) const;

  std::string m_strStage;
  std::string m_strDestination;
  std::string m_strReserved;
  std::set<std::string> m_links;  // symbolic links now in the staging folder
  std::vector<Link> m_linkTargets;
};

}  // namespace cvlgz
