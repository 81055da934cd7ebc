// DiskBudget: the space and file slots an extraction may use on the destination's file system,
// measured once before the first entry, so that an archive that expands beyond what the disk
// holds is refused before the disk is full rather than when it is.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Status.h"

namespace cvlgz {

class DiskBudget {
 public:
  // Measures the file system that holds folder (a host path); false when it cannot be asked.
  bool measure(const std::string& folder);
  // Counts one entry of the given size (rounded up to whole blocks, plus one block for its
  // folder entry and inode). A failure says why when the entry would leave less free than a
  // small reserve (1/50 of the free space, at least 1 MiB, at most 64 MiB; the same for file
  // slots where the file system counts them); nothing is counted then.
  plat::Status charge(uint64_t bytes, const char* name);

  uint64_t bytesCharged() const { return m_nCharged; }

 private:
  // What may be used of free units: all but a reserve of 1/50, at least least, at most most.
  static uint64_t allowedOf(uint64_t free, uint64_t least, uint64_t most);

  uint64_t m_nBlock = 4096;
  uint64_t m_nBytesAllowed = 0;
  uint64_t m_nFilesAllowed = 0;
  bool m_bCountsFiles = false;
  uint64_t m_nCharged = 0;
  uint64_t m_nFiles = 0;
};

}  // namespace cvlgz
