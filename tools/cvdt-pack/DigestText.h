// DigestText: MD5 digests written as the module writes them (32 upper-case hexadecimal digits),
// computed with the module's own MD5 so that the packager and the module cannot disagree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/NMd5.h"

namespace cvdt::pack {

class DigestText {
 public:
  void add(const void* data, size_t size);
  // The digest of everything added since the last finish (or construction), and a fresh
  // start. Nothing added gives the empty text: the module's digest of an empty file is empty.
  std::string finish();
  uint64_t bytes() const { return m_nBytes; }

  // The digest text of a host file (empty for an empty file); throws PackError when it cannot
  // be read.
  static std::string ofFile(const std::string& hostPath);

 private:
  NMd5 m_md5;
  uint64_t m_nBytes = 0;
};

}  // namespace cvdt::pack
