// MD5 digest texts of byte streams and files.
#include "DigestText.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "PackError.h"

namespace cvdt::pack {

void DigestText::add(const void* data, size_t size) {
  m_md5.update(data, size);
  m_nBytes += size;
}

std::string DigestText::finish() {
  uint8_t digest[NMd5::kDigestSize];
  m_md5.final(digest);
  const uint64_t bytes = m_nBytes;
  m_nBytes = 0;
  if (bytes == 0) return {};
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (uint8_t byte : digest) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0x0F]);
  }
  return text;
}

std::string DigestText::ofFile(const std::string& hostPath) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(hostPath.c_str(), "rb"), &std::fclose);
  if (!file) throw PackError("cannot read " + hostPath + ": " + std::strerror(errno));
  DigestText digest;
  std::unique_ptr<char[]> buffer(new char[1 << 16]);
  size_t got;
  while ((got = std::fread(buffer.get(), 1, 1 << 16, file.get())) > 0) digest.add(buffer.get(), got);
  if (std::ferror(file.get())) throw PackError("cannot read " + hostPath);
  return digest.finish();
}

}  // namespace cvdt::pack
