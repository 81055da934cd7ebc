// StagingFolder: where an extraction builds the archive's tree before anything in the
// destination changes. It lies beside the destination on the same file system (inside it when
// the destination is the root of its file system or its parent cannot be written), so that
// moving the tree into place is a series of renames. The move merges: folders that exist are
// kept and filled, files and links of the archive replace those of the same name, other files
// stay. If any step of the move fails, every step taken is undone, so the destination is left
// as it was. The folder is removed when the object ends. One thread at a time.
#pragma once

#include <string>
#include <vector>

#include "platform/Status.h"

namespace cvlgz {

class StagingFolder {
 public:
  StagingFolder() = default;
  ~StagingFolder();
  StagingFolder(const StagingFolder&) = delete;
  StagingFolder& operator=(const StagingFolder&) = delete;

  // Creates the staging folder for destination (an absolute host path without symbolic links,
  // which exists). A failure says why no folder can be made.
  plat::Status create(const std::string& destination);
  // The folder the archive's tree is built in.
  const std::string& tree() const { return m_strTree; }
  // The first component of names in the destination that the staging folder itself uses, or
  // empty when it lies outside the destination.
  const std::string& reservedName() const { return m_strReserved; }

  // Moves the tree into the destination. A failure names the step that failed; the steps
  // already taken are then undone.
  plat::Status commit();

 private:
  struct Step {
    std::string from;
    std::string to;
  };

  plat::Status mergeFolder(const std::string& staged, const std::string& existing);
  plat::Status mergeEntry(const std::string& staged, const std::string& existing);
  plat::Status moveAside(const std::string& existing, bool keepName);
  plat::Status move(const std::string& from, const std::string& to);
  void undo();
  void remove();

  std::string m_strDestination;
  std::string m_strFolder;    // the staging folder: "tree" and "saved" below it
  std::string m_strTree;
  std::string m_strReserved;
  int m_nSaved = 0;
  std::vector<Step> m_steps;  // renames done by commit, to be undone in reverse order
};

}  // namespace cvlgz
