// A fork and exec with the child's output in temporary files.
#include "ProgramRun.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/TestMachine.h"

namespace cvdt::test {
namespace {

std::string contentOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace

ProgramResult ProgramRun::run(const std::vector<std::string>& arguments) const {
  std::string scratch = makeTempFolder("cvdt-run");
  std::string outPath = scratch + "/out";
  std::string errPath = scratch + "/err";
  std::vector<std::string> words = {m_program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  pid_t pid = fork();
  if (pid == 0) {
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(126);
    if (!m_folder.empty() && chdir(m_folder.c_str()) != 0) _exit(126);
    for (const auto& [name, value] : m_environment) {
      if (value) setenv(name.c_str(), value->c_str(), 1);
      else unsetenv(name.c_str());
    }
    execv(m_program.c_str(), argv.data());
    _exit(127);
  }
  ProgramResult result;
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
    result.exitStatus = WEXITSTATUS(status);
  result.out = contentOf(outPath);
  result.err = contentOf(errPath);
  unlink(outPath.c_str());
  unlink(errPath.c_str());
  rmdir(scratch.c_str());
  return result;
}

}  // namespace cvdt::test
