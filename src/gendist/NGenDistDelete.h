// NGenDistDelete: removes the local files of a completed commanded distribution from the job
// folder (and the module's own temporary extraction folder), never touching a drive root.
#pragma once

#include <cstdint>

class NGenDistDelete {
 public:
  static constexpr uint32_t kReasonInstalledFolder = 11;

  NGenDistDelete() = default;
  virtual ~NGenDistDelete() = default;

  // Removes the job-folder files of the distribution and, for the base folder ".", its
  // temporary extraction folder. 1 when every attempted removal succeeded or nothing was there.
  // reason becomes 11 when the base folder is a real installation folder (left alone).
  int DeleteAll(int32_t distId, const char* folder, uint32_t& reason);
  // Removes a folder tree; 1 when nothing failed. Files that are not safe to delete stay.
  int deleteTree(const char* folder);
  // True for a path with a drive and at least two non-empty parts (never a bare drive root).
  static int isSafeToDelete(const char* path);
};
