// A private X server (Xvfb) for one test, on a free display number.
#pragma once

#include <sys/types.h>

#include <string>

namespace cvdt::test {

// Starts Xvfb on a display number that no other server holds and waits until it takes clients.
// Another test run may take the same number between the look at the lock file and the server's
// start: then this server exits (or the lock names the other one) and the next number is tried.
class XServer {
 public:
  XServer();
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  // True when the server holds its display and a client can connect.
  bool answers() const;
  std::string display() const { return ":" + std::to_string(m_number); }

 private:
  bool startOn(int number);
  bool ownsLock() const;
  bool exited();
  void stop();

  int m_number = 0;
  pid_t m_pid = -1;
  bool m_bReaped = true;
};

// Whether a program is found on PATH.
bool onPath(const std::string& program);

}  // namespace cvdt::test
