// TarStream: the tar bytes inside the compressed archive. A libarchive reader of its own (gzip
// filter, raw format) decompresses the volumes and hands its blocks on to the tar reader, while
// the CRC-32 and length of everything it hands out are taken, so that the gzip trailer can be
// checked at the end: libarchive itself does not check it, and a changed byte in stored data
// would otherwise go unnoticed.
#pragma once

#include <archive.h>

#include <cstdint>
#include <string>

#include "Crc32.h"

namespace cvlgz {

class VolumeStream;

class TarStream {
 public:
  explicit TarStream(VolumeStream& volumes);
  ~TarStream();
  TarStream(const TarStream&) = delete;
  TarStream& operator=(const TarStream&) = delete;

  // Opens the decompressing reader on the volumes and then the tar reader on this stream.
  bool open(struct archive* tarReader, std::string& error);
  // Once the tar reader is done: reads what is left of the compressed stream and checks the
  // trailer's CRC-32 and length against the bytes handed out. True for an uncompressed archive.
  bool verify(std::string& error);

 private:
  static la_ssize_t onRead(struct archive* tarReader, void* self, const void** block);
  static int onClose(struct archive*, void*) { return ARCHIVE_OK; }
  la_ssize_t read(struct archive* tarReader, const void** block);
  // The next block of tar bytes, counted into the check sum: its size, 0 at the end, -1 on error.
  la_ssize_t pull(const void** block);
  std::string errorText() const;

  VolumeStream& m_volumes;
  struct archive* m_pInflater = nullptr;
  Crc32 m_crc;
  uint64_t m_nBytes = 0;
  bool m_bEnded = false;
};

}  // namespace cvlgz
