// Decompressing the volumes with zlib, up to the exact end of the gzip member.
#include "GzipMemberStream.h"

#include <algorithm>
#include <cstring>

#include "VolumeStream.h"

namespace cvlgz {
namespace {

// inflate's window bits for a gzip wrapper only (a zlib wrapper or raw deflate data is refused).
constexpr int kGzipWindowBits = 16 + MAX_WBITS;
// The fixed part of a gzip member header: signature, method, flags, time, extra flags, system.
constexpr size_t kGzipHeaderSize = 10;

bool startsGzipMember(const unsigned char* bytes, size_t size) {
  return size >= 2 && bytes[0] == 0x1f && bytes[1] == 0x8b;
}

// A full fixed header with the deflate method and no reserved flag: what gzip and libarchive
// take as the start of a further member.
bool isGzipHeader(const unsigned char* bytes, size_t size) {
  return size >= kGzipHeaderSize && startsGzipMember(bytes, size) && bytes[2] == Z_DEFLATED &&
         (bytes[3] & 0xe0) == 0;
}

// Why inflate failed: zlib's own text ("incorrect data check", "invalid distance too far back",
// ...) for damaged data.
std::string inflateErrorText(int result, const char* message) {
  if (result == Z_MEM_ERROR) return "out of memory";
  return std::string("the archive is damaged: ") + (message != nullptr ? message : "bad data");
}

}  // namespace

GzipMemberStream::GzipMemberStream(VolumeStream& volumes) : m_volumes(volumes) {}

GzipMemberStream::~GzipMemberStream() {
  if (m_bInflating) inflateEnd(&m_zstream);
}

plat::Status GzipMemberStream::open() {
  if (plat::Status s = readHead(); !s) return s;
  m_bGzip = startsGzipMember(m_pHead, m_nHeadSize);
  if (!m_bGzip) return {};
  if (inflateInit2(&m_zstream, kGzipWindowBits) != Z_OK)
    return plat::Status::failure("out of memory");
  m_bInflating = true;
  m_output.resize(kOutputSize);
  return {};
}

// The first block is handed on as the volume stream gave it (it stays valid until the stream is
// read again, which only nextInput does); it is copied only when the signature straddles part 0
// and the next volume because part 0 is tiny.
plat::Status GzipMemberStream::readHead() {
  if (plat::Status s = m_volumes.next(&m_pHead, true, m_nHeadSize); !s) return s;
  if (m_nHeadSize < 2) {
    if (plat::Status s = readStraddlingHead(); !s) return s;
  }
  if (m_nHeadSize == 0) return plat::Status::failure("the archive is empty");
  return {};
}

plat::Status GzipMemberStream::readStraddlingHead() {
  m_headCopy.assign(m_pHead, m_pHead + m_nHeadSize);
  while (m_headCopy.size() < 2) {
    const unsigned char* block = nullptr;
    size_t size = 0;
    if (plat::Status s = m_volumes.next(&block, true, size); !s) return s;
    if (size == 0) break;
    m_headCopy.insert(m_headCopy.end(), block, block + size);
  }
  m_pHead = m_headCopy.data();
  m_nHeadSize = m_headCopy.size();
  return {};
}

// A failure is final: every later call fails the same way.
std::ptrdiff_t GzipMemberStream::pull(const void** block) {
  if (!m_strError.empty()) return -1;
  if (m_bEnded) return 0;
  return m_bGzip ? pullInflated(block) : pullPlain(block);
}

bool GzipMemberStream::nextInput(const unsigned char** block, std::ptrdiff_t& size) {
  if (!m_bHeadTaken) {
    m_bHeadTaken = true;
    *block = m_pHead;
    size = static_cast<std::ptrdiff_t>(m_nHeadSize);
    return true;
  }
  size_t got = 0;
  if (plat::Status s = m_volumes.next(block, true, got); !s) {
    m_strError = s.message();
    return false;
  }
  size = static_cast<std::ptrdiff_t>(got);
  return true;
}

std::ptrdiff_t GzipMemberStream::pullPlain(const void** block) {
  const unsigned char* bytes = nullptr;
  std::ptrdiff_t size = 0;
  if (!nextInput(&bytes, size)) return -1;
  m_bEnded = size == 0;
  *block = bytes;
  return size;
}

// Fills the output block as far as the input allows; more input is read only when inflate has
// used up what it had and still asks for more, so nothing past the member's end is read here.
std::ptrdiff_t GzipMemberStream::pullInflated(const void** block) {
  m_zstream.next_out = m_output.data();
  m_zstream.avail_out = static_cast<uInt>(m_output.size());
  while (m_zstream.avail_out == m_output.size() && !m_bEnded) {
    if (m_zstream.avail_in == 0 && m_bNeedsInput && !feedInflater()) return -1;
    int result = inflate(&m_zstream, Z_NO_FLUSH);
    if (result == Z_STREAM_END) {
      if (!endMember()) return -1;
    } else if (result == Z_BUF_ERROR && m_zstream.avail_in == 0) {
      m_bNeedsInput = true;
    } else if (result != Z_OK) {
      m_strError = inflateErrorText(result, m_zstream.msg);
      return -1;
    } else {
      m_bNeedsInput = m_zstream.avail_out > 0;
    }
  }
  *block = m_output.data();
  return static_cast<std::ptrdiff_t>(m_output.size() - m_zstream.avail_out);
}

bool GzipMemberStream::feedInflater() {
  const unsigned char* bytes = nullptr;
  std::ptrdiff_t size = 0;
  if (!nextInput(&bytes, size)) return false;
  if (size == 0) {
    m_strError = "the archive is cut short after " +
                 m_volumes.volumePath(m_volumes.currentVolume()) +
                 " (a further volume is missing, or a volume is incomplete)";
    return false;
  }
  m_zstream.next_in = const_cast<Bytef*>(bytes);
  m_zstream.avail_in = static_cast<uInt>(size);
  m_bNeedsInput = false;
  return true;
}

// inflate has checked the member's trailer. What follows the member in the file that holds its
// end is looked at without opening another volume.
bool GzipMemberStream::endMember() {
  m_bEnded = true;
  bool follows = false;
  if (!anotherMemberFollows(follows)) return false;
  if (follows) m_strError = "the archive holds more than one gzip member";
  return !follows;
}

bool GzipMemberStream::anotherMemberFollows(bool& follows) {
  unsigned char header[kGzipHeaderSize];
  size_t have = std::min<size_t>(m_zstream.avail_in, sizeof header);
  std::memcpy(header, m_zstream.next_in, have);
  while (have < sizeof header) {
    const unsigned char* bytes = nullptr;
    size_t size = 0;
    if (plat::Status s = m_volumes.next(&bytes, false, size); !s) {
      m_strError = s.message();
      return false;
    }
    if (size == 0) break;
    size_t take = std::min(sizeof header - have, size);
    std::memcpy(header + have, bytes, take);
    have += take;
  }
  follows = isGzipHeader(header, have);
  return true;
}

plat::Status GzipMemberStream::verify() {
  const void* block = nullptr;
  while (!m_bEnded) {
    if (pull(&block) < 0) return plat::Status::failure(m_strError);
  }
  return {};
}

}  // namespace cvlgz
