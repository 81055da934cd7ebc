// TarStream: the tar bytes of a GzipMemberStream handed to libarchive's tar reader through its
// read callbacks.
#pragma once

#include <archive.h>

#include <string>

#include "GzipMemberStream.h"

namespace cvlgz {

class VolumeStream;

class TarStream {
 public:
  explicit TarStream(VolumeStream& volumes) : m_member(volumes) {}
  TarStream(const TarStream&) = delete;
  TarStream& operator=(const TarStream&) = delete;

  // Opens the member stream, then the tar reader on it. A failure says why (an empty archive,
  // an unreadable volume, a stream the tar reader does not take).
  plat::Status open(struct archive* tarReader);
  // Once the tar reader is done: see GzipMemberStream::verify.
  plat::Status verify() { return m_member.verify(); }

 private:
  static la_ssize_t onRead(struct archive* tarReader, void* self, const void** block);
  static int onClose(struct archive*, void*) { return ARCHIVE_OK; }

  GzipMemberStream m_member;
};

}  // namespace cvlgz
