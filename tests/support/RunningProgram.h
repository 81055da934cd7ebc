// RunningProgram: a program that keeps running beside the test, its standard output (and, when
// asked, its standard error) on a pipe that the test reads line by line with a deadline. The
// destructor kills and waits for a program the test did not end.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace cvdt::test {

class RunningProgram {
 public:
  // Starts arguments[0] (a path) with the rest as its arguments; started() says whether it did.
  explicit RunningProgram(std::vector<std::string> arguments, bool mergeErrors = false);
  ~RunningProgram();
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  bool started() const { return m_nPid > 0; }
  // The next whole line (without its line break); false at the end of the output or when none
  // came before the deadline.
  bool readLine(std::string& line, std::chrono::steady_clock::time_point deadline);
  // The next whole line, or "" when none came within the limit.
  std::string nextLine(std::chrono::milliseconds limit);
  // Everything read so far.
  const std::string& all() const { return m_strAll; }
  // Sends SIGTERM; false when the program is not running.
  bool terminate();
  // Waits for the program: its exit code, -1 when it did not exit normally or was not running.
  int wait();
  // SIGTERM, then the exit code.
  int stop() { return terminate() ? wait() : -1; }

 private:
  pid_t m_nPid = -1;
  int m_nOutput = -1;
  std::string m_strPending, m_strAll;
};

}  // namespace cvdt::test
