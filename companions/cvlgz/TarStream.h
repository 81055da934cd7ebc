// TarStream: the tar bytes inside the compressed archive, handed to libarchive's tar reader
// through its read callbacks. zlib's inflate decompresses the gzip member from the volumes and
// checks its trailer (CRC-32 and length) itself, so a changed byte anywhere, stored data
// included, fails the extraction.
//
// inflate also tells exactly where the member ends (Z_STREAM_END), and that decides where
// reading stops: the next volume is opened only while inflate still asks for input, never once
// the member has ended, so a volume left in the folder by an earlier, longer archive is never
// opened. An archive is one gzip member: a further member after it, in the file that holds the
// end, refuses the archive; other bytes there are ignored. An archive that does not start with
// the gzip signature is read as uncompressed tar bytes.
#pragma once

#include <archive.h>
#include <zlib.h>

#include <cstddef>
#include <string>
#include <vector>

namespace cvlgz {

class VolumeStream;

class TarStream {
 public:
  // Size of one block of tar bytes handed to the tar reader.
  static constexpr size_t kOutputSize = 256 * 1024;

  explicit TarStream(VolumeStream& volumes);
  ~TarStream();
  TarStream(const TarStream&) = delete;
  TarStream& operator=(const TarStream&) = delete;

  // Reads the archive's first bytes to tell a gzip member from uncompressed bytes, then opens
  // the tar reader on this stream. False, with error set, when that fails (an empty archive,
  // an unreadable volume, a stream the tar reader does not take).
  bool open(struct archive* tarReader, std::string& error);
  // Once the tar reader is done: decompresses what is left of the member, so that its trailer
  // is checked, and looks at what follows it. False, with error set, when the member is
  // damaged, cut short or followed by another member.
  bool verify(std::string& error);

 private:
  static la_ssize_t onRead(struct archive* tarReader, void* self, const void** block);
  static int onClose(struct archive*, void*) { return ARCHIVE_OK; }
  la_ssize_t read(struct archive* tarReader, const void** block);
  bool readHead(std::string& error);
  // The next block of tar bytes: its size, 0 at the end, -1 with m_strError set.
  la_ssize_t pull(const void** block);
  la_ssize_t pullPlain(const void** block);
  la_ssize_t pullInflated(const void** block);
  // The next compressed bytes: the head first, then the volumes (opening the next one when the
  // current one is used up). False with m_strError set on a read error; size 0 at the end.
  bool nextInput(const unsigned char** block, std::ptrdiff_t& size);
  bool feedInflater();
  bool endMember();
  bool anotherMemberFollows(bool& follows);

  VolumeStream& m_volumes;
  z_stream m_zstream{};
  bool m_bInflating = false;  // m_zstream is initialised
  bool m_bGzip = false;
  bool m_bEnded = false;
  bool m_bNeedsInput = true;  // inflate stopped because its input ran out
  std::vector<unsigned char> m_head;  // bytes read to tell the kind of stream, handed on first
  bool m_bHeadTaken = false;
  std::vector<unsigned char> m_output;
  std::string m_strError;
};

}  // namespace cvlgz
