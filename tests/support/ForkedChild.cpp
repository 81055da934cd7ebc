// A fork, the body in the child, and a wait that retries when a signal interrupts it.
#include "support/ForkedChild.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace cvdt::test {

ForkedChild::ForkedChild(const std::function<int()>& body) {
  m_nPid = fork();
  if (m_nPid == 0) _exit(body());
}

ForkedChild::~ForkedChild() { wait(); }

int ForkedChild::wait() { return reapChild(m_nPid); }

int reapChild(pid_t& pid) {
  if (pid <= 0) return -1;
  int status = 0;
  pid_t ended;
  while ((ended = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
  }
  pid = -1;
  return ended > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace cvdt::test
