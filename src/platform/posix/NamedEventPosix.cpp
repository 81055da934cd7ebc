// plat::NamedEvent on a small POSIX shared memory object per event: the signalled flag is one
// word that waiters sleep on with a futex. A file lock on the object serialises setting it up,
// counting handles and removing it with the last handle.
#include <fcntl.h>
#include <linux/futex.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>

#include "platform/PlatformNamedEvent.h"
#include "platform/PlatformSync.h"
#include "platform/UniqueFd.h"
#include "platform/WinError.h"
#include "platform/posix/ErrorPosix.h"
#include "platform/posix/KernelObjectName.h"

namespace plat {
namespace {

constexpr mode_t kEveryone = 0666;
constexpr uint32_t kStateLive = 0x4C495645u;  // set up and in use
constexpr uint32_t kStateDead = 0x44454144u;  // removed by its last handle

// The shared state of one event. A fresh object reads as zero: state 0 means "not set up yet"
// (or its creator died while setting it up). Nothing in it belongs to a waiter, so a process
// that dies while it waits (a host killed while its reporting component waits) leaves nothing
// behind that could block the others; a process-shared condition variable would, since a
// waiter holds a share of the variable's own state until it leaves.
struct EventBlock {
  uint32_t state;
  uint32_t handles;  // open handles in every process
  uint32_t manualReset;
  uint32_t signalled;  // the futex word
};
static_assert(offsetof(EventBlock, state) == 0);
static_assert(offsetof(EventBlock, handles) == 4);
static_assert(offsetof(EventBlock, manualReset) == 8);
static_assert(offsetof(EventBlock, signalled) == 12);
static_assert(sizeof(EventBlock) == 16);

uint32_t load(uint32_t& word) { return std::atomic_ref<uint32_t>(word).load(); }
void store(uint32_t& word, uint32_t value) { std::atomic_ref<uint32_t>(word).store(value); }

void setUp(EventBlock* block, bool manualReset, bool initiallySet) {
  store(block->manualReset, manualReset ? 1 : 0);
  store(block->signalled, initiallySet ? 1 : 0);
  store(block->handles, 0);
  store(block->state, kStateLive);
}

// Sleeps while the word still holds expected, until woken or the absolute CLOCK_MONOTONIC
// deadline (none: for ever). The futex is not private: it is keyed by the shared object, so
// every mapping in every process meets on it.
bool futexWait(uint32_t* word, uint32_t expected, const timespec* deadline) {
  return syscall(SYS_futex, word, FUTEX_WAIT_BITSET, expected, deadline, nullptr,
                 FUTEX_BITSET_MATCH_ANY) == 0;
}

void futexWake(uint32_t* word, int count) {
  syscall(SYS_futex, word, FUTEX_WAKE, count, nullptr, nullptr, 0);
}

// Takes the signal: a manual-reset event stays set, an auto-reset one is consumed by exactly
// one taker.
bool take(EventBlock* block) {
  if (load(block->manualReset) != 0) return load(block->signalled) != 0;
  uint32_t expected = 1;
  return std::atomic_ref<uint32_t>(block->signalled).compare_exchange_strong(expected, 0);
}

// The object file lock, held while a handle is added or removed.
class ObjectLock {
 public:
  explicit ObjectLock(int fd) : m_nFd(fd) {
    while (flock(m_nFd, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~ObjectLock() { flock(m_nFd, LOCK_UN); }
  ObjectLock(const ObjectLock&) = delete;
  ObjectLock& operator=(const ObjectLock&) = delete;

 private:
  int m_nFd;
};

timespec deadlineAfter(uint32_t timeoutMs) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  int64_t nanos = now.tv_nsec + static_cast<int64_t>(timeoutMs % 1000) * 1000000;
  timespec deadline{};
  deadline.tv_sec = now.tv_sec + timeoutMs / 1000 + nanos / 1000000000;
  deadline.tv_nsec = nanos % 1000000000;
  return deadline;
}

enum class Attach { Attached, Retry, Failed };

Attach failedWithErrno() {
  posix::failWithErrno();
  return Attach::Failed;
}

// Maps the object behind fd and adds this handle, setting the event up when nobody has.
Attach attach(int fd, bool manualReset, bool initiallySet, EventBlock*& block, bool& existed) {
  ObjectLock lock(fd);
  struct stat info {};
  if (fstat(fd, &info) != 0) return failedWithErrno();
  if (info.st_size < static_cast<off_t>(sizeof(EventBlock)) &&
      ftruncate(fd, sizeof(EventBlock)) != 0) {
    return failedWithErrno();
  }
  void* view = mmap(nullptr, sizeof(EventBlock), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (view == MAP_FAILED) return failedWithErrno();
  block = static_cast<EventBlock*>(view);
  uint32_t state = load(block->state);
  if (state == kStateDead) {  // removed between our open and our lock
    munmap(view, sizeof(EventBlock));
    return Attach::Retry;
  }
  existed = state == kStateLive;
  if (!existed) setUp(block, manualReset, initiallySet);
  std::atomic_ref<uint32_t>(block->handles).fetch_add(1);
  return Attach::Attached;
}

}  // namespace

NamedEvent::~NamedEvent() { close(); }

bool NamedEvent::create(const std::string& name, bool manualReset, bool initiallySet) {
  close();
  std::string object = posix::kernelObjectName(posix::kObjectEvent, name);
  if (object.empty()) return false;
  for (;;) {
    UniqueFd fd;
    do {
      fd.reset(shm_open(object.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kEveryone));
    } while (!fd && errno == EINTR);
    if (!fd) return posix::failWithErrno();
    fchmod(fd.get(), kEveryone);  // past the umask; fails harmlessly on another account's object
    EventBlock* block = nullptr;
    bool existed = false;
    Attach result = attach(fd.get(), manualReset, initiallySet, block, existed);
    if (result == Attach::Attached) {
      m_hObject = fd.release();
      m_pBlock = block;
      m_strObject = object;
      m_bExisted = existed;
      setLastError(existed ? kErrorAlreadyExists : kErrorSuccess);
      return true;
    }
    if (result == Attach::Failed) return false;
  }
}

bool NamedEvent::set() {
  auto* block = static_cast<EventBlock*>(m_pBlock);
  if (block == nullptr) return posix::failWith(kErrorInvalidHandle);
  store(block->signalled, 1);
  futexWake(&block->signalled, load(block->manualReset) != 0 ? INT_MAX : 1);
  return true;
}

bool NamedEvent::reset() {
  auto* block = static_cast<EventBlock*>(m_pBlock);
  if (block == nullptr) return posix::failWith(kErrorInvalidHandle);
  store(block->signalled, 0);
  return true;
}

bool NamedEvent::wait(uint32_t timeoutMs) {
  auto* block = static_cast<EventBlock*>(m_pBlock);
  if (block == nullptr) return posix::failWith(kErrorInvalidHandle);
  timespec deadline = deadlineAfter(timeoutMs);
  while (!take(block)) {
    if (timeoutMs == 0) return false;
    // A set between the take and the sleep changes the word, and the sleep returns at once.
    if (!futexWait(&block->signalled, 0, timeoutMs == kInfinite ? nullptr : &deadline) &&
        errno == ETIMEDOUT) {
      return take(block);  // a set that raced the time-out is still taken
    }
  }
  return true;
}

void NamedEvent::close() {
  auto* block = static_cast<EventBlock*>(m_pBlock);
  if (block != nullptr) {
    int fd = static_cast<int>(m_hObject);
    ObjectLock lock(fd);
    if (std::atomic_ref<uint32_t>(block->handles).fetch_sub(1) == 1) {
      store(block->state, kStateDead);
      shm_unlink(m_strObject.c_str());
    }
    munmap(block, sizeof(EventBlock));
  }
  if (m_hObject >= 0) ::close(static_cast<int>(m_hObject));
  m_hObject = -1;
  m_pBlock = nullptr;
  m_strObject.clear();
  m_bExisted = false;
}

}  // namespace plat
