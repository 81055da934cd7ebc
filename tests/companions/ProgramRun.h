// Runs a companion program of a test machine as a child process and collects what it says.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace cvdt::test {

struct ProgramResult {
  int exitStatus = -1;  // the low 8 bits of the exit code; -1 when the program did not end normally
  std::string out;
  std::string err;
};

class ProgramRun {
 public:
  explicit ProgramRun(std::string hostProgram) : m_program(std::move(hostProgram)) {}

  // Environment changes for the child: a value sets the variable, nullopt removes it.
  ProgramRun& env(const std::string& name, std::optional<std::string> value) {
    m_environment[name] = std::move(value);
    return *this;
  }
  // The child's current folder (host path); empty: the test's own.
  ProgramRun& folder(const std::string& hostFolder) {
    m_folder = hostFolder;
    return *this;
  }
  // Runs the program with the arguments and waits for it.
  ProgramResult run(const std::vector<std::string>& arguments) const;

 private:
  std::string m_program;
  std::string m_folder;
  std::map<std::string, std::optional<std::string>> m_environment;
};

}  // namespace cvdt::test
