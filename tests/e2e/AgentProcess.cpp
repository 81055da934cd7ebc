// The host agent as a child process with pipes for its input and output.
#include "AgentProcess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

extern char** environ;

namespace cvdt::test {
namespace {

// Waits up to the deadline for the child to end; its exit code, -1 for a signal, -2 when it
// is still running.
int waitExit(pid_t pid, std::chrono::milliseconds deadline) {
  int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (pidfd >= 0) {
    pollfd entry{pidfd, POLLIN, 0};
    poll(&entry, 1, static_cast<int>(deadline.count()));
    close(pidfd);
  }
  int status = 0;
  if (waitpid(pid, &status, pidfd >= 0 ? WNOHANG : 0) != pid) return -2;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

AgentProcess::AgentProcess(const std::vector<std::string>& options) {
  std::signal(SIGPIPE, SIG_IGN);  // an agent that died must fail the test, not end it
  start(options);
  if (m_nOutput >= 0) m_reader = std::thread([this] { readOutput(); });
}

void AgentProcess::start(const std::vector<std::string>& options) {
  std::vector<std::string> args = {CVDT_HOST_PATH, "agent"};
  args.insert(args.end(), options.begin(), options.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  int input[2], output[2];
  ASSERT_EQ(pipe2(input, O_CLOEXEC), 0);
  ASSERT_EQ(pipe2(output, O_CLOEXEC), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDERR_FILENO);
  int spawned = posix_spawn(&m_nPid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(input[0]);
  close(output[1]);
  m_nInput = input[1];
  m_nOutput = output[0];
  if (spawned != 0) m_nPid = -1;
  ASSERT_EQ(spawned, 0) << "cannot start " << args[0];
}

AgentProcess::~AgentProcess() {
  if (m_nPid > 0 && finish(std::chrono::seconds(30)) == -2) {
    kill(m_nPid, SIGKILL);
    waitpid(m_nPid, nullptr, 0);
  }
  if (m_reader.joinable()) m_reader.join();
  if (m_nOutput >= 0) close(m_nOutput);
}

void AgentProcess::readOutput() {
  std::string pending;
  char chunk[4096];
  for (;;) {
    ssize_t n = read(m_nOutput, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (n <= 0) {
      if (!pending.empty()) m_lines.push_back(pending);
      m_bOutputEnded = true;
      m_changed.notify_all();
      return;
    }
    pending.append(chunk, static_cast<size_t>(n));
    for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1))
      m_lines.push_back(pending.substr(0, end));
    m_changed.notify_all();
  }
}

void AgentProcess::send(const std::string& line) {
  std::string text = line + "\n";
  for (size_t sent = 0; sent < text.size();) {
    ssize_t n = write(m_nInput, text.data() + sent, text.size() - sent);
    if (n < 0 && errno == EINTR) continue;
    ASSERT_GT(n, 0) << "the agent no longer reads its input";
    sent += static_cast<size_t>(n);
  }
}

bool AgentProcess::waitForMoreThan(size_t known, std::chrono::milliseconds deadline) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, deadline,
                            [&] { return m_lines.size() > known || m_bOutputEnded; }) &&
         m_lines.size() > known;
}

bool AgentProcess::outputEnded() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_bOutputEnded;
}

std::vector<std::string> AgentProcess::linesFrom(size_t from) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (from >= m_lines.size()) return {};
  return std::vector<std::string>(m_lines.begin() + static_cast<std::ptrdiff_t>(from), m_lines.end());
}

int AgentProcess::finish(std::chrono::milliseconds deadline) {
  if (m_nInput >= 0) close(m_nInput);
  m_nInput = -1;
  if (m_nPid <= 0) return -1;
  int code = waitExit(m_nPid, deadline);
  if (code != -2) m_nPid = -1;
  return code;
}

}  // namespace cvdt::test
