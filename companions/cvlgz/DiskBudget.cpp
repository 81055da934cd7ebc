// Measuring the destination's free space and counting what an extraction writes against it.
#include "DiskBudget.h"

#include <sys/statvfs.h>

#include <algorithm>

namespace cvlgz {
namespace {

constexpr uint64_t kMiB = 1024 * 1024;

uint64_t reserveOf(uint64_t free, uint64_t least, uint64_t most) {
  return std::clamp<uint64_t>(free / 50, least, most);
}

uint64_t allowedOf(uint64_t free, uint64_t reserve) { return free > reserve ? free - reserve : 0; }

}  // namespace

bool DiskBudget::measure(const std::string& folder) {
  struct statvfs info {};
  if (statvfs(folder.c_str(), &info) != 0) return false;
  m_nBlock = info.f_frsize != 0 ? info.f_frsize : (info.f_bsize != 0 ? info.f_bsize : 4096);
  uint64_t freeBytes = static_cast<uint64_t>(info.f_bavail) * m_nBlock;
  m_nBytesAllowed = allowedOf(freeBytes, reserveOf(freeBytes, kMiB, 64 * kMiB));
  // Some file systems (btrfs) report no file slots at all: they have no fixed inode table.
  m_bCountsFiles = info.f_files != 0;
  uint64_t freeFiles = info.f_favail;
  m_nFilesAllowed = allowedOf(freeFiles, reserveOf(freeFiles, 16, 4096));
  m_nCharged = 0;
  m_nFiles = 0;
  return true;
}

bool DiskBudget::charge(uint64_t bytes, const char* name, std::string& reason) {
  uint64_t blocks = bytes / m_nBlock + (bytes % m_nBlock != 0 ? 1 : 0) + 1;
  bool tooBig = blocks > m_nBytesAllowed / m_nBlock;
  uint64_t charge = tooBig ? 0 : blocks * m_nBlock;
  if (tooBig || charge > m_nBytesAllowed - m_nCharged) {
    reason = "not enough free space on the destination's disk for " + std::string(name) + " (" +
             std::to_string(bytes) + " bytes; " +
             std::to_string(m_nBytesAllowed - m_nCharged) + " bytes left for this archive)";
    return false;
  }
  if (m_bCountsFiles && m_nFiles >= m_nFilesAllowed) {
    reason = "no free file slots left on the destination's disk for " + std::string(name);
    return false;
  }
  m_nCharged += charge;
  ++m_nFiles;
  return true;
}

}  // namespace cvlgz
