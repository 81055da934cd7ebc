// GzipMemberStream: the tar bytes inside a compressed archive, decompressed by zlib's inflate
// from the archive's volumes; both tar readers (libarchive's on Linux, ours on Windows) read
// through it, so both stop reading at the same place. inflate checks the member's trailer
// (CRC-32 and length) itself, so a changed byte anywhere, stored data included, fails the
// extraction.
//
// inflate also tells exactly where the member ends (Z_STREAM_END), and that decides where
// reading stops: the next volume is opened only while inflate still asks for input, never once
// the member has ended, so a volume left in the folder by an earlier, longer archive is never
// opened. An archive is one gzip member: a further member after it, in the file that holds the
// end, refuses the archive; other bytes there are ignored. An archive that does not start with
// the gzip signature is read as uncompressed tar bytes.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <string>
#include <vector>

#include "platform/Status.h"

namespace cvlgz {

class VolumeStream;

class GzipMemberStream {
 public:
  // Size of one block of tar bytes handed to the tar reader.
  static constexpr size_t kOutputSize = 64 * 1024;

  explicit GzipMemberStream(VolumeStream& volumes);
  ~GzipMemberStream();
  GzipMemberStream(const GzipMemberStream&) = delete;
  GzipMemberStream& operator=(const GzipMemberStream&) = delete;

  // Reads the archive's first bytes to tell a gzip member from uncompressed bytes. A failure
  // says why for an empty archive or an unreadable volume.
  plat::Status open();
  // The next block of tar bytes in *block, valid until the next call: its size, 0 at the end,
  // -1 with error() set. A failure is final.
  std::ptrdiff_t pull(const void** block);
  // Once the tar reader is done: decompresses what is left of the member, so that its trailer
  // is checked, and looks at what follows it. A failure says why when the member is damaged,
  // cut short or followed by another member.
  plat::Status verify();
  const std::string& error() const { return m_strError; }

 private:
  plat::Status readHead();
  plat::Status readStraddlingHead();
  std::ptrdiff_t pullPlain(const void** block);
  std::ptrdiff_t pullInflated(const void** block);
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
  // The bytes read to tell the kind of stream, handed on first: the volume stream's first block,
  // or m_headCopy when that block was too short.
  const unsigned char* m_pHead = nullptr;
  size_t m_nHeadSize = 0;
  std::vector<unsigned char> m_headCopy;
  bool m_bHeadTaken = false;
  std::vector<unsigned char> m_output;
  std::string m_strError;
};

}  // namespace cvlgz
