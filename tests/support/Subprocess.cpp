// A fork and exec with the child's streams in temporary files; the child only calls
// async-signal-safe functions between the two.
#include "support/Subprocess.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/TestMachine.h"

extern char** environ;

namespace cvdt::test {
namespace {

std::string contentOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::vector<char*> pointersTo(std::vector<std::string>& words) {
  std::vector<char*> pointers;
  for (std::string& word : words) pointers.push_back(word.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

Subprocess Subprocess::shell(const std::string& commandLine) {
  Subprocess process("/bin/sh");
  process.m_shellArguments = {"-c", commandLine};
  return process;
}

std::vector<std::string> Subprocess::childEnvironment() const {
  std::map<std::string, std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string text = *entry;
    size_t equals = text.find('=');
    if (equals != std::string::npos) variables[text.substr(0, equals)] = text.substr(equals + 1);
  }
  for (const auto& [name, value] : m_environment) {
    if (value) variables[name] = *value;
    else variables.erase(name);
  }
  std::vector<std::string> entries;
  for (const auto& [name, value] : variables) entries.push_back(name + "=" + value);
  return entries;
}

int Subprocess::waitFor(int pid) const {
  const auto deadline =
      std::chrono::steady_clock::now() + m_timeLimit.value_or(std::chrono::hours(24));
  int status = 0;
  for (;;) {
    pid_t ended = waitpid(pid, &status, m_timeLimit ? WNOHANG : 0);
    if (ended == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (ended < 0 && errno != EINTR) return -1;
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      return -2;
    }
    if (ended == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

ProcessResult Subprocess::run(const std::vector<std::string>& arguments) const {
  const std::string scratch = makeTempFolder("cvdt-run");
  const std::string inPath = scratch + "/in", outPath = scratch + "/out",
                    errPath = scratch + "/err";
  std::ofstream(inPath, std::ios::binary) << m_input;
  std::vector<std::string> words = {m_program};
  words.insert(words.end(), m_shellArguments.begin(), m_shellArguments.end());
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<std::string> environment = childEnvironment();
  std::vector<char*> argv = pointersTo(words), envp = pointersTo(environment);
  const char* errTarget = m_bMergeErrors ? outPath.c_str() : errPath.c_str();

  pid_t pid = fork();
  if (pid == 0) {
    int in = open(inPath.c_str(), O_RDONLY);
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = m_bMergeErrors ? dup(out) : open(errTarget, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
      _exit(126);
    if (!m_folder.empty() && chdir(m_folder.c_str()) != 0) _exit(126);
    execvpe(m_program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  ProcessResult result;
  if (pid > 0) result.exitStatus = waitFor(pid);
  result.out = contentOf(outPath);
  if (!m_bMergeErrors) result.err = contentOf(errPath);
  std::filesystem::remove_all(scratch);
  return result;
}

}  // namespace cvdt::test
