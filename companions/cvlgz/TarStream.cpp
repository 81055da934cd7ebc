// Decompressing the volumes for the tar reader, and checking the gzip trailer afterwards.
#include "TarStream.h"

#include <cerrno>

#include "VolumeStream.h"

namespace cvlgz {
namespace {

uint32_t le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

TarStream::TarStream(VolumeStream& volumes) : m_volumes(volumes) {}

TarStream::~TarStream() {
  if (m_pInflater != nullptr) archive_read_free(m_pInflater);
}

std::string TarStream::errorText() const {
  const char* text = archive_error_string(m_pInflater);
  return text != nullptr ? text : "the compressed stream cannot be read";
}

bool TarStream::open(struct archive* tarReader, std::string& error) {
  m_pInflater = archive_read_new();
  if (m_pInflater == nullptr) {
    error = "out of memory";
    return false;
  }
  archive_read_support_filter_gzip(m_pInflater);
  archive_read_support_format_raw(m_pInflater);
  m_volumes.setEndCheck([this](const unsigned char* lastEight) { return mayHaveEnded(lastEight); });
  struct archive_entry* entry = nullptr;
  if (m_volumes.openReader(m_pInflater) != ARCHIVE_OK ||
      archive_read_next_header(m_pInflater, &entry) != ARCHIVE_OK) {
    error = errorText();
    return false;
  }
  m_bGzip = archive_filter_code(m_pInflater, 0) == ARCHIVE_FILTER_GZIP;
  if (archive_read_open(tarReader, this, nullptr, &TarStream::onRead, &TarStream::onClose) !=
      ARCHIVE_OK) {
    const char* text = archive_error_string(tarReader);
    error = text != nullptr ? text : "not a tar archive";
    return false;
  }
  return true;
}

la_ssize_t TarStream::onRead(struct archive* tarReader, void* self, const void** block) {
  return static_cast<TarStream*>(self)->read(tarReader, block);
}

la_ssize_t TarStream::read(struct archive* tarReader, const void** block) {
  la_ssize_t size = pull(block);
  if (size < 0) archive_set_error(tarReader, EIO, "%s", errorText().c_str());
  return size;
}

la_ssize_t TarStream::pull(const void** block) {
  if (m_bEnded) return 0;
  size_t size = 0;
  la_int64_t offset = 0;
  int result = archive_read_data_block(m_pInflater, block, &size, &offset);
  if (result == ARCHIVE_EOF) {
    m_bEnded = true;
    return 0;
  }
  if (result < ARCHIVE_WARN) return -1;
  m_crc.update(*block, size);
  m_nBytes += size;
  return static_cast<la_ssize_t>(size);
}

bool TarStream::mayHaveEnded(const unsigned char* lastEight) const {
  if (!m_bGzip) return false;
  // The one total at or above the output so far that the length field (modulo 2^32) allows.
  uint64_t total = m_nBytes + static_cast<uint32_t>(le32(lastEight + 4) - static_cast<uint32_t>(m_nBytes));
  return total - m_nBytes <= kMaxHeldOutput && total % 512 == 0;
}

bool TarStream::verify(std::string& error) {
  const void* block = nullptr;
  while (!m_bEnded) {
    if (pull(&block) < 0) {
      error = errorText();
      return false;
    }
  }
  if (!m_bGzip) return true;
  // The trailer is the last eight bytes the decompressor took: CRC-32, then the length modulo
  // 2^32, both little-endian.
  uint64_t consumed = static_cast<uint64_t>(archive_filter_bytes(m_pInflater, -1));
  unsigned char trailer[8];
  if (consumed < 8 || !m_volumes.readBack(consumed - 8, trailer, sizeof trailer)) {
    error = "the archive's trailer cannot be read";
    return false;
  }
  if (le32(trailer) != m_crc.value() || le32(trailer + 4) != static_cast<uint32_t>(m_nBytes)) {
    error = "the archive is damaged: its check sum does not match its content";
    return false;
  }
  return true;
}

}  // namespace cvlgz
