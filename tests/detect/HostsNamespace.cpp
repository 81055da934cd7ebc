// A child process with a private /etc/hosts and host name.
#include "HostsNamespace.h"

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "support/TestMachine.h"

namespace cvdt::test {

std::optional<std::string> inHostsNamespace(const std::string& hostName,
                                            const std::string& hostsText,
                                            const std::function<std::string()>& fn) {
  std::string folder = makeTempFolder("cvdt-hosts");
  std::string hosts = folder + "/hosts";
  std::ofstream(hosts) << hostsText;
  int fds[2];
  if (pipe(fds) != 0) return std::nullopt;
  pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    bool ready = unshare(CLONE_NEWNS | CLONE_NEWUTS) == 0 &&
                 mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                 mount(hosts.c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr) == 0 &&
                 sethostname(hostName.c_str(), hostName.size()) == 0;
    if (!ready) _exit(3);
    std::string answer = fn();
    ssize_t written = write(fds[1], answer.data(), answer.size());
    _exit(written == static_cast<ssize_t>(answer.size()) ? 0 : 4);
  }
  close(fds[1]);
  std::string answer;
  char buffer[4096];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) answer.append(buffer, n);
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  std::remove(hosts.c_str());
  rmdir(folder.c_str());
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return answer;
}

}  // namespace cvdt::test
