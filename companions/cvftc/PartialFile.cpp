// Temporary download files that become the final file by one rename.
#include "PartialFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace cvftc {
namespace {

// The process's umask without changing it (umask() would race with other threads).
mode_t currentUmask() {
  mode_t mask = 022;
  FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return mask;
  char line[256];
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::strncmp(line, "Umask:", 6) == 0) {
      mask = static_cast<mode_t>(std::strtoul(line + 6, nullptr, 8));
      break;
    }
  }
  std::fclose(status);
  return mask;
}

// A file without write permission bits is read-only, as on Windows: it is never replaced.
bool isReplaceable(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return errno == ENOENT;
  if (S_ISDIR(info.st_mode)) return false;
  return !S_ISREG(info.st_mode) || (info.st_mode & 0222) != 0;
}

}  // namespace

PartialFile::~PartialFile() { discard(); }

bool PartialFile::open(const std::string& finalPath) {
  discard();
  if (finalPath.empty() || finalPath.back() == '/' || !isReplaceable(finalPath)) return false;
  size_t slash = finalPath.rfind('/');
  std::string folder = slash == std::string::npos ? "." : finalPath.substr(0, slash);
  std::string pattern = folder + "/.cvftc-XXXXXX";
  m_fd.reset(mkstemp(pattern.data()));
  if (!m_fd) return false;
  m_strFinalPath = finalPath;
  m_strTempPath = pattern;
  m_nSize = 0;
  return true;
}

bool PartialFile::write(const char* data, size_t size) {
  while (size > 0) {
    ssize_t written = ::write(m_fd.get(), data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<size_t>(written);
    m_nSize += static_cast<uint64_t>(written);
  }
  return true;
}

bool PartialFile::commit() {
  if (!m_fd) return false;
  bool ok = fchmod(m_fd.get(), 0666 & ~currentUmask()) == 0;
  ok = ::close(m_fd.release()) == 0 && ok;  // a failed write-back shows only here
  ok = ok && isReplaceable(m_strFinalPath) &&
       std::rename(m_strTempPath.c_str(), m_strFinalPath.c_str()) == 0;
  if (!ok) {
    discard();
    return false;
  }
  m_strTempPath.clear();
  return true;
}

void PartialFile::discard() {
  m_fd.reset();
  if (!m_strTempPath.empty()) unlink(m_strTempPath.c_str());
  m_strTempPath.clear();
}

}  // namespace cvftc
