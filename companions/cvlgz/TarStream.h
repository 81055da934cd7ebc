// TarStream: the tar bytes inside the compressed archive. A libarchive reader of its own (gzip
// filter, raw format) decompresses the volumes and hands its blocks on to the tar reader, while
// the CRC-32 and length of everything it hands out are taken, so that the gzip trailer can be
// checked at the end: libarchive itself does not check it, and a changed byte in stored data
// would otherwise go unnoticed.
//
// The same length tells where the stream ends. When the gzip stream has ended, libarchive looks
// past it for a further gzip member; at a volume boundary that would open the next volume, which
// may be left over from a longer archive. So before a volume is opened, the last eight bytes
// read are taken as a possible trailer: if their length field matches the output so far (give
// or take one block the decompressor holds) and a whole number of tar blocks, the stream has
// ended there and no further volume is opened. By chance a continuing stream passes this test
// about once in a million boundaries; it then fails as cut short, never silently.
#pragma once

#include <archive.h>

#include <cstdint>
#include <string>

#include "Crc32.h"

namespace cvlgz {

class VolumeStream;

class TarStream {
 public:
  // The most decompressed output the decompressor may hold back when it looks past the end of
  // the stream: one of its output blocks (64 KiB in libarchive 3.6), with room to spare.
  static constexpr uint64_t kMaxHeldOutput = 1024 * 1024;

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
  bool mayHaveEnded(const unsigned char* lastEight) const;
  // The next block of tar bytes, counted into the check sum: its size, 0 at the end, -1 on error.
  la_ssize_t pull(const void** block);
  std::string errorText() const;

  VolumeStream& m_volumes;
  struct archive* m_pInflater = nullptr;
  Crc32 m_crc;
  uint64_t m_nBytes = 0;
  bool m_bGzip = false;  // known once the decompressing reader is open
  bool m_bEnded = false;
};

}  // namespace cvlgz
