// WatchedOutput: a program running with its standard output on a pipe, read line by line with a
// deadline, and stopped with SIGTERM (for commands that run until stopped, such as status
// --watch).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace cvdt::test {

class WatchedOutput {
 public:
  // Starts args[0] with the other arguments (no shell).
  explicit WatchedOutput(std::vector<std::string> args);
  ~WatchedOutput();
  WatchedOutput(const WatchedOutput&) = delete;
  WatchedOutput& operator=(const WatchedOutput&) = delete;

  // The next whole line (without its line break), or "" when none came within limit.
  std::string nextLine(std::chrono::seconds limit);
  // SIGTERM, then the exit code (-1 when it did not exit normally).
  int stop();
  // Everything read so far.
  const std::string& all() const { return m_strAll; }

 private:
  pid_t m_nPid = -1;
  int m_nOutput = -1;
  std::string m_strPending, m_strAll;
};

}  // namespace cvdt::test
