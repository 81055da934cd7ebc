// Running a long-lived command with its standard output on a pipe.
#include "WatchedOutput.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

namespace cvdt::test {

WatchedOutput::WatchedOutput(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  int output[2];
  if (pipe2(output, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
  if (posix_spawn(&m_nPid, argv[0], &actions, nullptr, argv.data(), environ) != 0) m_nPid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(output[1]);
  m_nOutput = output[0];
}

WatchedOutput::~WatchedOutput() {
  stop();
  if (m_nOutput >= 0) close(m_nOutput);
}

std::string WatchedOutput::nextLine(std::chrono::seconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    size_t end = m_strPending.find('\n');
    if (end != std::string::npos) {
      std::string line = m_strPending.substr(0, end);
      m_strPending.erase(0, end + 1);
      return line;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd wait{m_nOutput, POLLIN, 0};
    if (left.count() <= 0 || poll(&wait, 1, static_cast<int>(left.count())) <= 0) return "";
    char chunk[4096];
    ssize_t got = read(m_nOutput, chunk, sizeof chunk);
    if (got <= 0) return "";
    m_strPending.append(chunk, static_cast<size_t>(got));
    m_strAll.append(chunk, static_cast<size_t>(got));
  }
}

int WatchedOutput::stop() {
  if (m_nPid <= 0) return -1;
  kill(m_nPid, SIGTERM);
  int status = 0;
  waitpid(m_nPid, &status, 0);
  m_nPid = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace cvdt::test
