// The calling thread's last error and its mapping from errno.
#include "platform/posix/ErrorPosix.h"

#include <cerrno>

#include "platform/WinError.h"

namespace plat {

namespace {
thread_local uint32_t t_lastError = kErrorSuccess;
}

uint32_t lastError() { return t_lastError; }
void setLastError(uint32_t code) { t_lastError = code; }

namespace posix {

uint32_t windowsErrorFromErrno(int error) {
  switch (error) {
    case 0: return kErrorSuccess;
    case ENOENT: return kErrorFileNotFound;
    case ENOTDIR: return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return kErrorAccessDenied;
    case EEXIST: return kErrorAlreadyExists;
    case ENOTEMPTY: return kErrorDirNotEmpty;
    case ENOSPC: return kErrorDiskFull;
    case ENAMETOOLONG: return kErrorInvalidName;
    case EBADF: return kErrorInvalidHandle;
    case ENOMEM: return kErrorNotEnoughMemory;
    case EBUSY: return kErrorBusy;
    case EINVAL: return kErrorInvalidParameter;
    default: return kErrorWriteFault;
  }
}

bool failWithErrno() {
  setLastError(windowsErrorFromErrno(errno));
  return false;
}

bool failWith(uint32_t windowsError) {
  setLastError(windowsError);
  return false;
}

}  // namespace posix
}  // namespace plat
