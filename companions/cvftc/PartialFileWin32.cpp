// Temporary download files that become the final file by one rename (Windows: the C runtime's
// descriptors, MoveFileEx to take the final name).
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdlib>

#include "PartialFile.h"

namespace cvftc {
namespace {

// A folder or a read-only file is never replaced.
bool isReplaceable(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError() == ERROR_FILE_NOT_FOUND;
  return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
}

}  // namespace

PartialFile::~PartialFile() { discard(); }

bool PartialFile::open(const std::string& finalPath) {
  discard();
  if (finalPath.empty() || finalPath.back() == '\\' || finalPath.back() == '/' ||
      !isReplaceable(finalPath))
    return false;
  size_t slash = finalPath.find_last_of("\\/");
  std::string folder = slash == std::string::npos ? "." : finalPath.substr(0, slash);
  for (int attempt = 0; attempt < 100 && !m_fd; ++attempt) {
    std::string pattern = folder + "\\.cvftc-XXXXXX";
    if (_mktemp_s(pattern.data(), pattern.size() + 1) != 0) return false;
    m_fd.reset(
        _open(pattern.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE));
    if (m_fd) m_strTempPath = pattern;
  }
  if (!m_fd) return false;
  m_strFinalPath = finalPath;
  m_nSize = 0;
  return true;
}

bool PartialFile::write(const char* data, size_t size) {
  while (size > 0) {
    unsigned int chunk = static_cast<unsigned int>(size > (1u << 30) ? (1u << 30) : size);
    int written = _write(m_fd.get(), data, chunk);
    if (written <= 0) return false;
    data += written;
    size -= static_cast<size_t>(written);
    m_nSize += static_cast<uint64_t>(written);
  }
  return true;
}

bool PartialFile::commit() {
  if (!m_fd) return false;
  bool ok = _commit(m_fd.get()) == 0;
  ok = _close(m_fd.release()) == 0 && ok;
  ok = ok && isReplaceable(m_strFinalPath) &&
       MoveFileExA(m_strTempPath.c_str(), m_strFinalPath.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (!ok) {
    discard();
    return false;
  }
  m_strTempPath.clear();
  return true;
}

void PartialFile::discard() {
  m_fd.reset();
  if (!m_strTempPath.empty()) DeleteFileA(m_strTempPath.c_str());
  m_strTempPath.clear();
}

}  // namespace cvftc
