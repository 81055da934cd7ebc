// ForkedChild: the one child mode of the tests. A function runs in a forked copy of the test
// process and its return value becomes the child's exit code, for checks that need a second
// process (shared names, locks, concurrent writers, resource limits).
#pragma once

#include <sys/types.h>

#include <functional>

namespace cvdt::test {

class ForkedChild {
 public:
  // Forks; the child runs body and exits with what it returns.
  explicit ForkedChild(const std::function<int()>& body);
  ~ForkedChild();  // waits for a child that was not waited for
  ForkedChild(const ForkedChild&) = delete;
  ForkedChild& operator=(const ForkedChild&) = delete;
  ForkedChild(ForkedChild&& other) noexcept : m_nPid(other.m_nPid) { other.m_nPid = -1; }

  bool started() const { return m_nPid > 0; }
  pid_t pid() const { return m_nPid; }
  // Waits for the child: its exit code, -1 when it did not start or did not exit normally.
  int wait();

 private:
  pid_t m_nPid = -1;
};

// Waits for the child pid (retrying on signals) and clears it: its exit code, -1 when there was
// none to wait for or it did not exit normally.
int reapChild(pid_t& pid);

// Runs body in a forked child and waits for it: the child's exit code, or -1.
inline int exitCodeInChild(const std::function<int()>& body) { return ForkedChild(body).wait(); }

}  // namespace cvdt::test
