// xmessage with one button per MessageBox button; a button's exit value is 100 + its id, so
// that xmessage's own codes (0 when closed, 1 when it fails) never look like an answer.
#include "XMessageDialog.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/PlatformProcess.h"
#include "platform/UniqueFd.h"

extern char** environ;

namespace {

constexpr int kButtonBase = 100;
constexpr int kXmessageFailed = 1;

std::string buttonList(const MessageStyle& style) {
  std::string list;
  for (const MessageButton& button : style.buttons()) {
    if (!list.empty()) list += ",";
    list += std::string(button.label) + ":" + std::to_string(kButtonBase + button.id);
  }
  return list;
}

std::vector<std::string> environmentWithoutExitChannel() {
  std::vector<std::string> block;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (!plat::isExitCodeChannelEntry(*entry)) block.emplace_back(*entry);
  }
  return block;
}

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Starts xmessage reading the text from a pipe; the pid, or -1 with errno set.
pid_t spawnXmessage(std::vector<std::string> arguments, plat::UniqueFd& textFd) {
  plat::UniqueFd readEnd, writeEnd;
  if (!plat::makePipe(readEnd, writeEnd, O_CLOEXEC)) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, readEnd.get(), STDIN_FILENO);
  std::vector<std::string> environment = environmentWithoutExitChannel();
  std::vector<char*> argv = pointersTo(arguments);
  std::vector<char*> envp = pointersTo(environment);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, "xmessage", &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    errno = rc;
    return -1;
  }
  textFd = std::move(writeEnd);
  return pid;
}

void writeAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // xmessage went away; its exit status tells why
    done += static_cast<size_t>(n);
  }
}

int waitForExit(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 0;  // killed: the window is gone
}

}  // namespace

plat::Status XMessageDialog::show(const std::string& title, const std::string& text,
                                  const MessageStyle& style, int& answer) {
  std::vector<std::string> arguments = {
      "xmessage", "-title", title, "-center", "-buttons", buttonList(style),
      "-default", style.defaultButton().label, "-file", "-"};
  plat::UniqueFd textFd;
  std::signal(SIGPIPE, SIG_IGN);
  pid_t pid = spawnXmessage(arguments, textFd);
  if (pid < 0)
    return plat::Status::failure(std::string("cannot run xmessage: ") + std::strerror(errno));
  writeAll(textFd.get(), text);
  textFd.reset();  // the end of the text
  int code = waitForExit(pid);
  if (code == kXmessageFailed || code < 0)
    return plat::Status::failure("xmessage could not show the box (display unreachable?)");
  answer = code > kButtonBase ? code - kButtonBase : style.closedAnswer();
  return {};
}
