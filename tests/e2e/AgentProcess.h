// AgentProcess: a running `cvdt-host agent` for end-to-end tests, driven line by line through
// its standard input like a host's own command loop. Everything it prints (standard output and
// error) is kept line by line; tests wait for new lines with a deadline.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace cvdt::test {

class AgentProcess {
 public:
  // Starts CVDT_HOST_PATH agent with the options (CVDT_MACHINE comes from the environment). A
  // failure to start is a test failure.
  explicit AgentProcess(const std::vector<std::string>& options);
  // Ends the agent if finish() was not called: closes its input, then kills it after 30 s.
  ~AgentProcess();
  AgentProcess(const AgentProcess&) = delete;
  AgentProcess& operator=(const AgentProcess&) = delete;

  // The agent's process id while it runs, else -1.
  pid_t pid() const { return m_nPid; }
  // Writes one command line to the agent's input.
  void send(const std::string& line);
  // Waits until the agent has printed more than `known` lines; false at the deadline or once
  // its output has ended without that.
  bool waitForMoreThan(size_t known, std::chrono::milliseconds deadline);
  // True once the agent's output has ended (it exited or closed it).
  bool outputEnded() const;
  // The lines printed so far, from index `from` on.
  std::vector<std::string> linesFrom(size_t from) const;
  // Closes the agent's input, which ends its command loop, and waits for it to exit; its exit
  // code, or -1 when it did not exit normally within the deadline.
  int finish(std::chrono::milliseconds deadline);

 private:
  void start(const std::vector<std::string>& options);
  void readOutput();

  pid_t m_nPid = -1;
  int m_nInput = -1;
  int m_nOutput = -1;
  std::thread m_reader;
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<std::string> m_lines;
  bool m_bOutputEnded = false;
};

}  // namespace cvdt::test
