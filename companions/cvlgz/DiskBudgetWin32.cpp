// Measuring the destination's free space on Windows (GetDiskFreeSpaceEx and the volume's
// cluster size). NTFS has no fixed number of file slots, so only bytes are counted.
#include <windows.h>

#include "DiskBudget.h"

namespace cvlgz {
namespace {

constexpr uint64_t kMiB = 1024 * 1024;

uint64_t clusterSizeOf(const std::string& folder) {
  char root[MAX_PATH] = {};
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
  if (!GetVolumePathNameA(folder.c_str(), root, sizeof root) ||
      !GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters))
    return 4096;
  uint64_t size = static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector;
  return size != 0 ? size : 4096;
}

}  // namespace

bool DiskBudget::measure(const std::string& folder) {
  ULARGE_INTEGER available{}, total{}, free{};
  if (!GetDiskFreeSpaceExA(folder.c_str(), &available, &total, &free)) return false;
  m_nBlock = clusterSizeOf(folder);
  m_nBytesAllowed = allowedOf(available.QuadPart, kMiB, 64 * kMiB);
  m_bCountsFiles = false;
  m_nCharged = 0;
  m_nFiles = 0;
  return true;
}

}  // namespace cvlgz
