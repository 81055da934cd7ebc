// Reading an archive's volumes one after another as a single stream of compressed bytes.
#include "VolumeStream.h"

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/PlatformFs.h"

// The same descriptors serve on Windows (the C runtime's), where files open in binary mode only
// when asked and descriptors are never inherited by programs started with CreateProcess here.
#ifndef O_BINARY
#define O_BINARY 0
#endif
#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif

namespace cvlgz {

VolumeStream::VolumeStream(std::string archive) : m_strArchive(std::move(archive)) {
  size_t length = m_strArchive.size();
  m_bVolumes = length > 4 && strcasecmp(m_strArchive.c_str() + length - 4, ".lgz") == 0;
}

VolumeStream::~VolumeStream() { closeVolume(); }

std::string VolumeStream::volumePath(int index) const {
  if (index == 0) return m_strArchive;
  char suffix[8];
  std::snprintf(suffix, sizeof suffix, "%05d", index);
  // "X.lgz" -> "X.l00001"
  return m_strArchive.substr(0, m_strArchive.size() - 2) + suffix;
}

bool VolumeStream::openFirst() { return openVolume(0); }

bool VolumeStream::openVolume(int index) {
  closeVolume();
  std::string host = plat::toHostPath(volumePath(index));
  if (host.empty()) return false;
  m_fd.reset(::open(host.c_str(), O_RDONLY | O_BINARY | O_CLOEXEC));
  if (!m_fd) return false;
  m_nVolume = index;
  return true;
}

void VolumeStream::closeVolume() { m_fd.reset(); }

plat::Status VolumeStream::next(const unsigned char** block, bool mayOpenNext, size_t& size) {
  if (m_buffer.empty()) m_buffer.resize(kBlockSize);
  *block = m_buffer.data();
  size = 0;
  for (;;) {
    if (!m_fd) return {};
    auto got = ::read(m_fd.get(), m_buffer.data(), static_cast<unsigned>(m_buffer.size()));
    if (got > 0) {
      size = static_cast<size_t>(got);
      return {};
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      return plat::Status::failure("cannot read volume " + std::to_string(m_nVolume) +
                                   " of the archive: " + std::strerror(errno));
    }
    if (!mayOpenNext) return {};
    closeVolume();
    if (!m_bVolumes || m_nVolume >= kMaxVolume || !openVolume(m_nVolume + 1)) return {};
  }
}

}  // namespace cvlgz
