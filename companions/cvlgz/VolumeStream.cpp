// Reading an archive's volumes one after another as a single stream for libarchive.
#include "VolumeStream.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <strings.h>

#include "platform/PlatformFs.h"

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
  m_fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
  if (m_fd < 0) return false;
  m_nVolume = index;
  return true;
}

void VolumeStream::closeVolume() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

int VolumeStream::openReader(struct archive* reader) {
  m_buffer.resize(kBlockSize);
  return archive_read_open(reader, this, nullptr, &VolumeStream::onRead, &VolumeStream::onClose);
}

la_ssize_t VolumeStream::onRead(struct archive* reader, void* self, const void** block) {
  return static_cast<VolumeStream*>(self)->read(reader, block);
}

int VolumeStream::onClose(struct archive*, void* self) {
  static_cast<VolumeStream*>(self)->closeVolume();
  return ARCHIVE_OK;
}

// Returns 0 (the end of the stream) when no further volume follows. A next volume that cannot
// be opened counts as absent: if the archive needed it, the decompressor reports the stream as
// cut short; if it did not, nothing is lost.
la_ssize_t VolumeStream::read(struct archive* reader, const void** block) {
  *block = m_buffer.data();
  for (;;) {
    if (m_fd < 0) return 0;
    ssize_t got = ::read(m_fd, m_buffer.data(), m_buffer.size());
    if (got > 0) return got;
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      archive_set_error(reader, errno, "cannot read volume %d of the archive", m_nVolume);
      return -1;
    }
    closeVolume();
    bool more = m_bVolumes && !m_bFinished && m_nVolume < kMaxVolume;
    if (!more || !openVolume(m_nVolume + 1)) return 0;
  }
}

}  // namespace cvlgz
