// plat::File on POSIX file descriptors.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/PlatformFile.h"
#include "platform/PlatformFs.h"
#include "platform/UniqueFd.h"
#include "platform/WinError.h"
#include "platform/posix/ErrorPosix.h"

namespace plat {
namespace {

int openFlags(FileMode mode) {
  switch (mode) {
    case FileMode::Read: return O_RDONLY;
    case FileMode::Write: return O_WRONLY | O_CREAT | O_TRUNC;
    case FileMode::Append: return O_WRONLY | O_CREAT | O_APPEND;
    case FileMode::ReadWrite: return O_RDWR;
  }
  return O_RDONLY;
}

bool isWriteMode(FileMode mode) { return mode != FileMode::Read; }

// Windows refuses to open a read-only file for writing, even for administrators.
bool refusedAsReadOnly(const std::string& hostPath, FileMode mode) {
  struct stat info {};
  return isWriteMode(mode) && stat(hostPath.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         (info.st_mode & 0222) == 0;
}

}  // namespace

File::~File() { close(); }

File::File(File&& other) noexcept : m_handle(other.m_handle), m_bReadFailed(other.m_bReadFailed) {
  other.m_handle = -1;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    m_handle = other.m_handle;
    m_bReadFailed = other.m_bReadFailed;
    other.m_handle = -1;
  }
  return *this;
}

bool File::open(const std::string& windowsPath, FileMode mode) {
  std::string host = toHostPath(windowsPath);
  if (host.empty()) {
    close();
    return posix::failWith(kErrorPathNotFound);
  }
  return openHost(host, mode);
}

bool File::openHost(const std::string& hostPath, FileMode mode) {
  close();
  if (refusedAsReadOnly(hostPath, mode)) return posix::failWith(kErrorAccessDenied);
  UniqueFd fd;
  do {
    fd.reset(::open(hostPath.c_str(), openFlags(mode) | O_CLOEXEC, 0644));
  } while (!fd && errno == EINTR);
  if (!fd) return posix::failWithErrno();
  struct stat info {};
  if (fstat(fd.get(), &info) == 0 && S_ISDIR(info.st_mode))
    return posix::failWith(kErrorAccessDenied);
  m_handle = fd.release();
  return true;
}

size_t File::read(void* buffer, size_t size) {
  m_bReadFailed = m_handle < 0;
  if (m_handle < 0) return 0;
  ssize_t n;
  do {
    n = ::read(static_cast<int>(m_handle), buffer, size);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    m_bReadFailed = true;
    posix::failWithErrno();
    return 0;
  }
  return static_cast<size_t>(n);
}

size_t File::write(const void* buffer, size_t size) {
  if (m_handle < 0) return 0;
  const char* bytes = static_cast<const char*>(buffer);
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(static_cast<int>(m_handle), bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      posix::failWithErrno();
      break;
    }
    done += static_cast<size_t>(n);
  }
  return done;
}

bool File::seek(uint64_t offset) {
  if (m_handle < 0) return posix::failWith(kErrorInvalidHandle);
  if (lseek(static_cast<int>(m_handle), static_cast<off_t>(offset), SEEK_SET) < 0)
    return posix::failWithErrno();
  return true;
}

int64_t File::size() const {
  struct stat info {};
  if (m_handle < 0 || fstat(static_cast<int>(m_handle), &info) != 0) return -1;
  return info.st_size;
}

void File::close() {
  if (m_handle >= 0) ::close(static_cast<int>(m_handle));
  m_handle = -1;
}

}  // namespace plat
