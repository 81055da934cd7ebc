// posix_spawn with the output pipe, and poll for the deadline of each read.
#include "support/RunningProgram.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "support/ForkedChild.h"

extern char** environ;

namespace cvdt::test {

RunningProgram::RunningProgram(std::vector<std::string> arguments, bool mergeErrors) {
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  int output[2];
  if (pipe2(output, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
  if (mergeErrors) posix_spawn_file_actions_adddup2(&actions, output[1], STDERR_FILENO);
  if (posix_spawn(&m_nPid, argv[0], &actions, nullptr, argv.data(), environ) != 0) m_nPid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(output[1]);
  m_nOutput = output[0];
}

RunningProgram::~RunningProgram() {
  if (m_nPid > 0) {
    kill(m_nPid, SIGKILL);
    wait();
  }
  if (m_nOutput >= 0) close(m_nOutput);
}

bool RunningProgram::readLine(std::string& line, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    size_t end = m_strPending.find('\n');
    if (end != std::string::npos) {
      line = m_strPending.substr(0, end);
      m_strPending.erase(0, end + 1);
      return true;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd ready{m_nOutput, POLLIN, 0};
    if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0) return false;
    char chunk[4096];
    ssize_t got = read(m_nOutput, chunk, sizeof chunk);
    if (got <= 0) return false;
    m_strPending.append(chunk, static_cast<size_t>(got));
    m_strAll.append(chunk, static_cast<size_t>(got));
  }
}

std::string RunningProgram::nextLine(std::chrono::milliseconds limit) {
  std::string line;
  return readLine(line, std::chrono::steady_clock::now() + limit) ? line : "";
}

bool RunningProgram::terminate() { return m_nPid > 0 && kill(m_nPid, SIGTERM) == 0; }

int RunningProgram::wait() { return reapChild(m_nPid); }

}  // namespace cvdt::test
