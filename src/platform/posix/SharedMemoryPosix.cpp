// plat::SharedMemory on POSIX shared memory objects (shm_open), named per machine.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/PlatformSharedMemory.h"
#include "platform/UniqueFd.h"
#include "platform/WinError.h"
#include "platform/posix/ErrorPosix.h"
#include "platform/posix/KernelObjectName.h"

namespace plat {
namespace {

constexpr mode_t kEveryone = 0666;  // the null DACL: every account may use the object

UniqueFd openObject(const std::string& object, int flags) {
  int fd;
  do {
    fd = shm_open(object.c_str(), flags | O_CLOEXEC, kEveryone);
  } while (fd < 0 && errno == EINTR);
  return UniqueFd(fd);
}

// Size of the object; -1 when it cannot be read.
off_t objectSize(int fd) {
  struct stat info {};
  return fstat(fd, &info) == 0 ? info.st_size : -1;
}

}  // namespace

SharedMemory::~SharedMemory() { close(); }

bool SharedMemory::create(const std::string& name, uint32_t size) {
  close();
  std::string object = posix::kernelObjectName(posix::kObjectMapping, name);
  if (object.empty()) return false;
  if (size == 0) return posix::failWith(kErrorInvalidParameter);
  UniqueFd fd = openObject(object, O_RDWR | O_CREAT | O_EXCL);
  bool existed = !fd && errno == EEXIST;
  if (existed) fd = openObject(object, O_RDWR);
  if (!fd) return posix::failWithErrno();
  if (!existed) fchmod(fd.get(), kEveryone);  // past the umask
  off_t current = objectSize(fd.get());
  if (current < 0 || (current < static_cast<off_t>(size) && ftruncate(fd.get(), size) != 0)) {
    posix::failWithErrno();
    if (!existed) shm_unlink(object.c_str());
    return false;
  }
  m_hMapping = fd.release();
  m_nSize = current > static_cast<off_t>(size) ? static_cast<size_t>(current) : size;
  m_strObject = object;
  m_bOwner = true;
  m_bExisted = existed;
  setLastError(existed ? kErrorAlreadyExists : kErrorSuccess);
  return true;
}

bool SharedMemory::open(const std::string& name) {
  close();
  std::string object = posix::kernelObjectName(posix::kObjectMapping, name);
  if (object.empty()) return false;
  UniqueFd fd = openObject(object, O_RDWR);
  if (!fd) return posix::failWithErrno();
  off_t current = objectSize(fd.get());
  if (current <= 0)
    return posix::failWith(kErrorFileNotFound);  // a creator that has not sized it yet
  m_hMapping = fd.release();
  m_nSize = static_cast<size_t>(current);
  m_strObject = object;
  m_bExisted = true;
  return true;
}

void* SharedMemory::map() {
  if (m_pView != nullptr) return m_pView;
  if (m_hMapping < 0) {
    posix::failWith(kErrorInvalidHandle);
    return nullptr;
  }
  void* view = mmap(nullptr, m_nSize, PROT_READ | PROT_WRITE, MAP_SHARED,
                    static_cast<int>(m_hMapping), 0);
  if (view == MAP_FAILED) {
    posix::failWithErrno();
    return nullptr;
  }
  m_pView = view;
  return m_pView;
}

void SharedMemory::unmap() {
  if (m_pView != nullptr) munmap(m_pView, m_nSize);
  m_pView = nullptr;
}

void SharedMemory::close() {
  unmap();
  if (m_hMapping >= 0) ::close(static_cast<int>(m_hMapping));
  if (m_bOwner) shm_unlink(m_strObject.c_str());
  m_hMapping = -1;
  m_nSize = 0;
  m_strObject.clear();
  m_bOwner = false;
  m_bExisted = false;
}

}  // namespace plat
