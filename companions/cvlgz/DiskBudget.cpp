// Counting what an extraction writes against the free space measured before it.
#include "DiskBudget.h"

#include <algorithm>

namespace cvlgz {

uint64_t DiskBudget::allowedOf(uint64_t free, uint64_t least, uint64_t most) {
  uint64_t reserve = std::clamp<uint64_t>(free / 50, least, most);
  return free > reserve ? free - reserve : 0;
}

plat::Status DiskBudget::charge(uint64_t bytes, const char* name) {
  uint64_t blocks = bytes / m_nBlock + (bytes % m_nBlock != 0 ? 1 : 0) + 1;
  bool tooBig = blocks > m_nBytesAllowed / m_nBlock;
  uint64_t charge = tooBig ? 0 : blocks * m_nBlock;
  if (tooBig || charge > m_nBytesAllowed - m_nCharged) {
    return plat::Status::failure("not enough free space on the destination's disk for " +
                                 std::string(name) + " (" + std::to_string(bytes) + " bytes; " +
                                 std::to_string(m_nBytesAllowed - m_nCharged) +
                                 " bytes left for this archive)");
  }
  if (m_bCountsFiles && m_nFiles >= m_nFilesAllowed) {
    return plat::Status::failure("no free file slots left on the destination's disk for " +
                                 std::string(name));
  }
  m_nCharged += charge;
  ++m_nFiles;
  return {};
}

}  // namespace cvlgz
