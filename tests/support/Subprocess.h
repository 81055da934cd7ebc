// Subprocess: the one way a test starts a program (a path, or a name looked up on PATH) and
// waits for it. No shell reads the arguments; the child's standard input, output and error go
// through files, so a chatty child never blocks on a full pipe.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace cvdt::test {

struct ProcessResult {
  // The low 8 bits of the exit code; -1 when the program did not end normally, -2 when it was
  // killed at the time limit.
  int exitStatus = -1;
  std::string out;  // standard output (with standard error when merged)
  std::string err;  // standard error
  std::string both() const { return out + err; }
};

class Subprocess {
 public:
  explicit Subprocess(std::string program) : m_program(std::move(program)) {}
  // A shell command line, for tests that need the shell's redirections or pipes.
  static Subprocess shell(const std::string& commandLine);

  // Environment changes for the child: a value sets the variable, nullopt removes it.
  Subprocess& env(const std::string& name, std::optional<std::string> value) {
    m_environment[name] = std::move(value);
    return *this;
  }
  // The child's current folder (host path); empty: the test's own.
  Subprocess& folder(const std::string& hostFolder) {
    m_folder = hostFolder;
    return *this;
  }
  // What the child reads on standard input; without it, /dev/null.
  Subprocess& input(const std::string& bytes) {
    m_input = bytes;
    return *this;
  }
  // Standard error into the same file as standard output, in the order written.
  Subprocess& mergeErrors() {
    m_bMergeErrors = true;
    return *this;
  }
  // How long run() waits before it kills the child; without it, as long as the child runs.
  Subprocess& timeLimit(std::chrono::milliseconds limit) {
    m_timeLimit = limit;
    return *this;
  }
  // Runs the program with the arguments and waits for it.
  ProcessResult run(const std::vector<std::string>& arguments = {}) const;

 private:
  std::vector<std::string> childEnvironment() const;
  int waitFor(int pid) const;

  std::string m_program;
  std::vector<std::string> m_shellArguments;
  std::string m_folder;
  std::string m_input;
  bool m_bMergeErrors = false;
  std::optional<std::chrono::milliseconds> m_timeLimit;
  std::map<std::string, std::optional<std::string>> m_environment;
};

}  // namespace cvdt::test
