// Measuring the destination's free space and file slots (statvfs).
#include <sys/statvfs.h>

#include "DiskBudget.h"

namespace cvlgz {
namespace {

constexpr uint64_t kMiB = 1024 * 1024;

}  // namespace

bool DiskBudget::measure(const std::string& folder) {
  struct statvfs info {};
  if (statvfs(folder.c_str(), &info) != 0) return false;
  m_nBlock = info.f_frsize != 0 ? info.f_frsize : (info.f_bsize != 0 ? info.f_bsize : 4096);
  uint64_t freeBytes = static_cast<uint64_t>(info.f_bavail) * m_nBlock;
  m_nBytesAllowed = allowedOf(freeBytes, kMiB, 64 * kMiB);
  // Some file systems (btrfs) report no file slots at all: they have no fixed inode table.
  m_bCountsFiles = info.f_files != 0;
  uint64_t freeFiles = info.f_favail;
  m_nFilesAllowed = allowedOf(freeFiles, 16, 4096);
  m_nCharged = 0;
  m_nFiles = 0;
  return true;
}

}  // namespace cvlgz
