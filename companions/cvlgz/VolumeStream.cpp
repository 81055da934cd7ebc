// Reading an archive's volumes one after another as a single stream for libarchive.
#include "VolumeStream.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
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
  uint64_t start = m_spans.empty() ? 0 : m_spans.back().start + m_spans.back().length;
  m_spans.push_back({start, 0, host});
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
    if (got > 0) {
      m_spans.back().length += static_cast<uint64_t>(got);
      keepTail(m_buffer.data(), static_cast<size_t>(got));
      return got;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      archive_set_error(reader, errno, "cannot read volume %d of the archive", m_nVolume);
      return -1;
    }
    closeVolume();
    if (!mayContinue() || !openVolume(m_nVolume + 1)) return 0;
  }
}

bool VolumeStream::mayContinue() const {
  if (!m_bVolumes || m_nVolume >= kMaxVolume) return false;
  return m_nHandedOut < sizeof m_tail || !m_endCheck || !m_endCheck(m_tail);
}

void VolumeStream::keepTail(const char* data, size_t size) {
  size_t fresh = std::min(size, sizeof m_tail);
  std::memmove(m_tail, m_tail + fresh, sizeof m_tail - fresh);
  std::memcpy(m_tail + sizeof m_tail - fresh, data + size - fresh, fresh);
  m_nHandedOut += size;
}

bool VolumeStream::readBack(uint64_t offset, unsigned char* out, size_t size) const {
  for (const Span& span : m_spans) {
    if (size == 0) break;
    if (offset < span.start || offset >= span.start + span.length) continue;
    size_t count = static_cast<size_t>(std::min<uint64_t>(size, span.start + span.length - offset));
    int fd = ::open(span.hostPath.c_str(), O_RDONLY | O_CLOEXEC);
    ssize_t got = fd < 0 ? -1 : pread(fd, out, count, static_cast<off_t>(offset - span.start));
    if (fd >= 0) ::close(fd);
    if (got != static_cast<ssize_t>(count)) return false;
    out += count;
    offset += count;
    size -= count;
  }
  return size == 0;
}

}  // namespace cvlgz
