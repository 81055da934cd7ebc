// An owned file descriptor, closed when its owner goes: the Linux backend, the Linux companions
// and the tools hold every descriptor they open in one, so that no early return leaks it.
#pragma once

#include <unistd.h>

#include "platform/ScopedHandle.h"

namespace plat {

struct FdTraits {
  using Value = int;
  static constexpr int kNone = -1;
  static bool isValid(int fd) { return fd >= 0; }
  static void close(int fd) { ::close(fd); }
};

using UniqueFd = ScopedHandle<FdTraits>;

// A pipe whose two ends are owned; false (errno set, both ends left empty) when it cannot be
// made. flags are those of pipe2 (O_CLOEXEC, O_NONBLOCK).
bool makePipe(UniqueFd& readEnd, UniqueFd& writeEnd, int flags);

}  // namespace plat
