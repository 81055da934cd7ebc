// Cutting a byte stream into part files and taking their digests.
#include "VolumeSink.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "PackError.h"

namespace cvdt::pack {

VolumeSink::VolumeSink(std::string folder, std::string base, uint64_t partSize)
    : m_strFolder(std::move(folder)), m_strBase(std::move(base)), m_nPartSize(partSize) {}

VolumeSink::~VolumeSink() {
  if (m_pFile != nullptr) std::fclose(m_pFile);
}

std::string VolumeSink::partName(const std::string& base, int index) {
  if (index == 0) return base + ".lgz";
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, ".l%5.5d", index);
  return base + suffix;
}

void VolumeSink::write(const void* data, size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    if (m_pFile == nullptr || m_nInPart == m_nPartSize) openNext();
    const size_t room = static_cast<size_t>(std::min<uint64_t>(m_nPartSize - m_nInPart, size));
    if (std::fwrite(bytes, 1, room, m_pFile) != room) {
      throw PackError("cannot write " + m_parts.back().path + ": " + std::strerror(errno));
    }
    m_digest.add(bytes, room);
    m_nInPart += room;
    bytes += room;
    size -= room;
  }
}

void VolumeSink::openNext() {
  closeCurrent();
  const int index = static_cast<int>(m_parts.size());
  if (index >= kMaxParts) {
    throw PackError("the part size is too small for " + m_strBase + ": more than " +
                    std::to_string(kMaxParts) + " parts would be needed");
  }
  Part part;
  part.path = m_strFolder + "/" + partName(m_strBase, index);
  m_pFile = std::fopen(part.path.c_str(), "wb");
  if (m_pFile == nullptr) {
    throw PackError("cannot create " + part.path + ": " + std::strerror(errno));
  }
  m_parts.push_back(part);
  m_nInPart = 0;
}

void VolumeSink::closeCurrent() {
  if (m_pFile == nullptr) return;
  const bool failed = std::fclose(m_pFile) != 0;
  m_pFile = nullptr;
  if (failed) throw PackError("cannot write " + m_parts.back().path + ": " + std::strerror(errno));
  m_parts.back().bytes = m_nInPart;
  m_parts.back().digest = m_digest.finish();
}

void VolumeSink::finish() {
  closeCurrent();
  if (m_parts.empty()) throw PackError("nothing was written for " + m_strBase);
}

uint64_t VolumeSink::totalBytes() const {
  uint64_t total = 0;
  for (const Part& part : m_parts) total += part.bytes;
  return total;
}

}  // namespace cvdt::pack
