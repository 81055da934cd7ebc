// Handing the decompressed tar bytes to libarchive's tar reader.
#include "TarStream.h"

#include <cerrno>

namespace cvlgz {

plat::Status TarStream::open(struct archive* tarReader) {
  if (plat::Status s = m_member.open(); !s) return s;
  if (archive_read_open(tarReader, this, nullptr, &TarStream::onRead, &TarStream::onClose) !=
      ARCHIVE_OK) {
    const char* text = archive_error_string(tarReader);
    return plat::Status::failure(text != nullptr ? text : "not a tar archive");
  }
  return {};
}

la_ssize_t TarStream::onRead(struct archive* tarReader, void* self, const void** block) {
  GzipMemberStream& member = static_cast<TarStream*>(self)->m_member;
  std::ptrdiff_t size = member.pull(block);
  if (size < 0) archive_set_error(tarReader, EIO, "%s", member.error().c_str());
  return static_cast<la_ssize_t>(size);
}

}  // namespace cvlgz
