// TarReader: our own tar reader, over the decompressed bytes of a GzipMemberStream, for the
// Windows build (which has no libarchive). It reads ustar, pax and GNU headers: names and link
// targets from the ustar prefix, pax records ("path", "linkpath", "size", "mtime") and GNU long
// names; pax or GNU sparse entries are marked sparse (the policy refuses them). Every header's
// checksum is checked; the first all-zero block is the end of the archive, and nothing after
// it is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "EntryPolicy.h"
#include "platform/Status.h"

namespace cvlgz {

class GzipMemberStream;

struct TarEntry {
  EntryFacts facts;
  uint64_t size = 0;         // bytes of data that follow the header
  bool hasMtime = false;
  int64_t mtime = 0;         // seconds since 1970
  uint32_t mode = 0644;      // permission bits
};

class TarReader {
 public:
  static constexpr size_t kBlock = 512;
  // The most a pax header or a GNU long name may hold.
  static constexpr uint64_t kMaxMetadata = 1024 * 1024;

  explicit TarReader(GzipMemberStream& stream) : m_stream(stream) {}

  // The next entry (what was left of the previous entry's data is skipped), or atEnd set at the
  // archive's end. A failure says why (a bad checksum, a cut archive, a malformed pax record).
  plat::Status next(TarEntry& entry, bool& atEnd);
  // The next bytes of the current entry's data in *block (valid until the next call) and their
  // count in size, 0 at the entry's end. A failure says why they cannot be read.
  plat::Status readData(const char** block, size_t& size);

 private:
  struct Pending;  // what pax headers and GNU long names say of the next entry
  plat::Status readExact(char* out, size_t size);
  plat::Status skip(uint64_t size);
  plat::Status readMetadata(uint64_t size, std::string& text);
  plat::Status fill();

  GzipMemberStream& m_stream;
  const char* m_pData = nullptr;  // unread bytes of the last pulled block
  size_t m_nAvailable = 0;
  uint64_t m_nDataLeft = 0;       // data of the current entry not yet read
  uint64_t m_nPadding = 0;        // zeros after it up to the next block
};

}  // namespace cvlgz
