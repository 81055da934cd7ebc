// Process creation of the Linux backend. The Windows command line is split by the C runtime's
// rules and the program found as CreateProcess finds it (host folder, working folder, system
// folder, Windows folder, then the Linux PATH, adding ".exe" to a name without extension). A
// user token's process runs with that user's uid, gid and groups when the module runs as root
// (otherwise as the module's own user); the hidden flag reaches the program as
// CVDT_SHOW_WINDOW=0 and the session as CVDT_SESSION.
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "platform/PlatformFs.h"
#include "platform/PlatformProcess.h"
#include "platform/PlatformSystem.h"
#include "platform/PlatformText.h"
#include "platform/UniqueFd.h"
#include "platform/WinError.h"
#include "platform/WindowsCommandLine.h"
#include "platform/posix/ErrorPosix.h"
#include "platform/posix/MachineConfig.h"

extern char** environ;

namespace plat {
namespace {

using posix::failWith;

struct Account {
  bool switchUser = false;
  uid_t uid = 0;
  gid_t gid = 0;
  std::vector<gid_t> groups;
};

bool isExecutableFile(const std::string& host) {
  struct stat info {};
  return !host.empty() && stat(host.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool hasExtension(const std::string& name) {
  size_t dot = name.rfind('.');
  return dot != std::string::npos && name.find_first_of("\\/", dot) == std::string::npos;
}

std::string findInFolders(const std::string& name, const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) {
    for (const std::string& candidate : {name, name + ".exe"}) {
      if (&candidate != &name && hasExtension(name)) continue;
      std::string host = toHostPath(folder + "\\" + candidate);
      if (isExecutableFile(host)) return host;
    }
  }
  return {};
}

std::string findOnLinuxPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string list = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    std::string candidate = list.substr(start, end - start) + "/" + name;
    if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

// The host path of the program a command line names, as CreateProcess would find it.
std::string resolveProgram(const std::string& program, const std::string& workingFolder) {
  if (program.find_first_of("\\/:") != std::string::npos) {
    std::string host = toHostPath(program);
    if (!isExecutableFile(host) && !hasExtension(program)) host = toHostPath(program + ".exe");
    return isExecutableFile(host) ? host : std::string();
  }
  std::string hostFolder = moduleFileName(nullptr);
  hostFolder = hostFolder.substr(0, hostFolder.rfind('\\'));
  std::vector<std::string> folders = {hostFolder};
  if (!workingFolder.empty()) folders.push_back(workingFolder);
  folders.push_back(systemFolder());
  folders.push_back(windowsFolder());
  std::string found = findInFolders(program, folders);
  return found.empty() ? findOnLinuxPath(ansiToUtf8(program)) : found;
}

bool accountOf(const Token* token, Account& account) {
  if (token == nullptr || token->own || geteuid() != 0) return true;
  passwd* entry = getpwnam(token->userName.c_str());
  if (entry == nullptr) return failWith(kErrorNoToken);
  account.switchUser = entry->pw_uid != geteuid();
  account.uid = entry->pw_uid;
  account.gid = entry->pw_gid;
  int count = 64;
  account.groups.resize(static_cast<size_t>(count));
  if (getgrouplist(entry->pw_name, entry->pw_gid, account.groups.data(), &count) < 0) {
    account.groups.resize(static_cast<size_t>(count));
    getgrouplist(entry->pw_name, entry->pw_gid, account.groups.data(), &count);
  }
  account.groups.resize(static_cast<size_t>(count));
  return true;
}

void setVariable(std::vector<std::string>& block, const std::string& name, const std::string& value) {
  for (std::string& entry : block) {
    if (entry.rfind(name + "=", 0) == 0) {
      entry = name + "=" + value;
      return;
    }
  }
  block.push_back(name + "=" + value);
}

std::vector<std::string> environmentFor(const LaunchRequest& request) {
  std::vector<std::string> block;
  if (request.environment != nullptr) {
    block = *request.environment;
  } else {
    for (char** entry = environ; *entry != nullptr; ++entry) block.emplace_back(*entry);
  }
  // The show state is the launch's own, never inherited from the caller's.
  std::erase_if(block, [](const std::string& entry) { return entry.rfind("CVDT_SHOW_WINDOW=", 0) == 0; });
  if (request.hidden) setVariable(block, "CVDT_SHOW_WINDOW", "0");
  uint32_t session = request.token ? request.token->session : currentSessionId();
  setVariable(block, "CVDT_SESSION", std::to_string(session));
  return block;
}

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Runs in the child between fork and exec: only async-signal-safe calls.
[[noreturn]] void execChild(int reportFd, const Account& account, const char* folder,
                            const char* program, char* const* argv, char* const* envp) {
  bool ok = true;
  if (account.switchUser) {
    ok = setgroups(account.groups.size(), account.groups.data()) == 0 &&
         setgid(account.gid) == 0 && setuid(account.uid) == 0;
  }
  if (ok && folder[0] != '\0') ok = chdir(folder) == 0;
  if (ok) execve(program, argv, envp);
  int error = errno;
  char message[1 + sizeof error] = {'E'};
  std::memcpy(message + 1, &error, sizeof error);
  ssize_t ignored = write(reportFd, message, sizeof message);
  (void)ignored;
  _exit(127);
}

uint32_t windowsErrorForExec(int error) {
  switch (error) {
    case ENOEXEC: return kErrorBadExeFormat;
    case ENOENT: return kErrorFileNotFound;
    case ENOTDIR: return kErrorDirectory;
    default: return posix::windowsErrorFromErrno(error);
  }
}

}  // namespace

uint32_t activeConsoleSessionId() {
  int session = posix::currentMachine()->consoleSession;
  return session < 0 ? kNoSession : static_cast<uint32_t>(session);
}

uint32_t currentSessionId() {
  return static_cast<uint32_t>(posix::currentMachine()->moduleSession);
}

bool queryUserToken(uint32_t session, Token& token) {
  auto machine = posix::currentMachine();
  if (session == kNoSession || machine->consoleSession < 0 ||
      session != static_cast<uint32_t>(machine->consoleSession) || machine->consoleUser.empty() ||
      getpwnam(machine->consoleUser.c_str()) == nullptr)
    return failWith(kErrorNoToken);
  token = Token{false, session, machine->consoleUser};
  return true;
}

bool ownTokenInSession(uint32_t session, Token& token) {
  auto machine = posix::currentMachine();
  bool exists = session != kNoSession &&
                (session == static_cast<uint32_t>(machine->moduleSession) ||
                 (machine->consoleSession >= 0 &&
                  session == static_cast<uint32_t>(machine->consoleSession)));
  if (!exists) return failWith(kErrorInvalidParameter);
  passwd* self = getpwuid(geteuid());
  token = Token{true, session, self ? self->pw_name : ""};
  return true;
}

bool createEnvironmentBlock(const Token& token, bool inherit, std::vector<std::string>& block) {
  block.clear();
  if (inherit) {
    for (char** entry = environ; *entry != nullptr; ++entry) block.emplace_back(*entry);
  }
  passwd* entry = token.own ? getpwuid(geteuid()) : getpwnam(token.userName.c_str());
  if (entry == nullptr) return failWith(kErrorNoToken);
  block.push_back(std::string("HOME=") + entry->pw_dir);
  block.push_back(std::string("USER=") + entry->pw_name);
  block.push_back(std::string("LOGNAME=") + entry->pw_name);
  block.push_back(std::string("SHELL=") + (entry->pw_shell ? entry->pw_shell : "/bin/sh"));
  block.push_back("PATH=/usr/local/bin:/usr/bin:/bin");
  for (const char* name : {"CVDT_MACHINE", "DISPLAY", "LANG"}) {
    if (const char* value = std::getenv(name)) block.push_back(std::string(name) + "=" + value);
  }
  return true;
}

struct Process::Impl {
  pid_t pid = -1;
  bool waitable = false;
  bool reaped = false;
  UniqueFd exitCodeFd;  // where the program may write its whole 32-bit exit code

  // The whole exit code the program wrote, when its low byte agrees with the exit status.
  int fullExitCode(int status) const {
    char text[16] = {};
    if (!exitCodeFd || read(exitCodeFd.get(), text, sizeof text - 1) <= 0) return status;
    long long code = std::atoll(text);
    return (code & 0xFF) == status ? static_cast<int>(static_cast<uint32_t>(code)) : status;
  }
};

Process::Process() : m_impl(std::make_unique<Impl>()) {}
Process::~Process() = default;

uint32_t Process::id() const { return m_impl->pid > 0 ? static_cast<uint32_t>(m_impl->pid) : 0; }

int Process::wait() {
  if (!m_impl->waitable || m_impl->reaped || m_impl->pid <= 0) return -1;
  int status = 0;
  pid_t rc;
  do {
    rc = waitpid(m_impl->pid, &status, 0);
  } while (rc < 0 && errno == EINTR);
  m_impl->reaped = true;
  if (rc < 0) return -1;
  if (WIFEXITED(status)) return m_impl->fullExitCode(WEXITSTATUS(status));
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

namespace {

constexpr const char* kExitCodeVariable = "CVDT_EXIT_CODE_FD";

// What a start needs, built before fork so that the child only calls async-signal-safe code.
struct Prepared {
  std::string program;
  std::string folder;
  std::vector<std::string> arguments;
  std::vector<std::string> environment;
  Account account;
};

// An unquoted program path with blanks is tried at each blank in turn, as CreateProcess does
// ("C:\Program Files\x.exe a" tries "C:\Program", then "C:\Program Files\x.exe").
bool splitUnquotedProgram(const std::string& line, const LaunchRequest& request, Prepared& out) {
  size_t start = line.find_first_not_of(" \t");
  if (start == std::string::npos || line[start] == '"') return false;
  for (size_t blank = line.find(' ', start); blank != std::string::npos;
       blank = line.find(' ', blank + 1)) {
    std::string program =
        resolveProgram(utf8ToAnsi(line.substr(start, blank - start)), request.workingFolder);
    if (program.empty()) continue;
    out.arguments = splitCommandLine("x " + line.substr(blank + 1));
    out.program = program;
    return true;
  }
  return false;
}

// A program started with an exit-code pipe of its own keeps it from the programs it starts, so
// their exit codes never reach its parent.
void keepOwnExitCodeFromChildren() {
  if (const char* fd = std::getenv(kExitCodeVariable)) fcntl(std::atoi(fd), F_SETFD, FD_CLOEXEC);
}

bool prepare(const LaunchRequest& request, Prepared& out) {
  // The command line is ANSI; the program gets it as Unicode, which for a Linux program is UTF-8
  // (CreateProcessA converts it likewise before the program sees it).
  std::string line = ansiToUtf8(request.commandLine);
  out.arguments = splitCommandLine(line);
  if (out.arguments.empty()) return failWith(kErrorInvalidParameter);
  if (!request.workingFolder.empty()) {
    out.folder = toHostPath(request.workingFolder);
    if (pathKind(request.workingFolder) != PathKind::Directory) return failWith(kErrorDirectory);
  }
  out.program = resolveProgram(utf8ToAnsi(out.arguments[0]), request.workingFolder);
  if (out.program.empty() && !splitUnquotedProgram(line, request, out))
    return failWith(kErrorFileNotFound);
  out.arguments[0] = out.program;
  out.environment = environmentFor(request);
  return accountOf(request.token, out.account);
}

// Reads the child's report: "E" + errno when exec failed, "P" + pid from a detaching child.
bool readReport(int fd, pid_t& detachedPid) {
  char message[1 + sizeof(int)];
  for (;;) {
    ssize_t n = read(fd, message, sizeof message);
    if (n < 0 && errno == EINTR) continue;
    if (n < static_cast<ssize_t>(sizeof message)) return true;  // exec succeeded
    int value;
    std::memcpy(&value, message + 1, sizeof value);
    if (message[0] == 'E') return failWith(windowsErrorForExec(value));
    detachedPid = value;
  }
}

}  // namespace

bool Process::start(const LaunchRequest& request, bool waitable) {
  Prepared prepared;
  if (!prepare(request, prepared)) return false;
  UniqueFd reportRead, reportWrite, exitCodeRead, exitCodeWrite;
  if (!makePipe(reportRead, reportWrite, O_CLOEXEC) ||
      !makePipe(exitCodeRead, exitCodeWrite, O_CLOEXEC))
    return posix::failWithErrno();
  fcntl(exitCodeRead.get(), F_SETFL, O_NONBLOCK);
  keepOwnExitCodeFromChildren();
  setVariable(prepared.environment, kExitCodeVariable, std::to_string(exitCodeWrite.get()));
  std::vector<char*> argv = pointersTo(prepared.arguments);
  std::vector<char*> envp = pointersTo(prepared.environment);

  pid_t pid = fork();
  int forkError = errno;
  if (pid == 0) {
    if (!waitable) {
      pid_t grandchild = fork();
      if (grandchild != 0) {
        char message[1 + sizeof(int)] = {'P'};
        int value = static_cast<int>(grandchild);
        std::memcpy(message + 1, &value, sizeof value);
        ssize_t ignored = write(reportWrite.get(), message, sizeof message);
        (void)ignored;
        _exit(0);
      }
    }
    fcntl(exitCodeWrite.get(), F_SETFD, 0);  // the program may hand back its whole exit code
    execChild(reportWrite.get(), prepared.account, prepared.folder.c_str(),
              prepared.program.c_str(), argv.data(), envp.data());
  }
  // The read ends see the end of the file only once every write end is closed.
  reportWrite.reset();
  exitCodeWrite.reset();
  if (pid < 0) {
    errno = forkError;
    return posix::failWithErrno();
  }
  pid_t detached = -1;
  bool started = readReport(reportRead.get(), detached);
  if (!waitable || !started) waitpid(pid, nullptr, 0);
  if (!waitable) {
    m_impl->pid = detached;
    m_impl->waitable = false;
  } else if (started) {
    m_impl->pid = pid;
    m_impl->waitable = true;
    m_impl->exitCodeFd = std::move(exitCodeRead);
  }
  return started;
}

void exitProcess(uint32_t exitCode) {
  if (const char* fd = std::getenv(kExitCodeVariable)) {
    std::string text = std::to_string(exitCode);
    ssize_t ignored = write(std::atoi(fd), text.data(), text.size());
    (void)ignored;
  }
  std::exit(static_cast<int>(exitCode & 0xFF));
}

bool isExitCodeChannelEntry(std::string_view entry) {
  std::string_view name = kExitCodeVariable;
  return entry.size() > name.size() && entry.starts_with(name) && entry[name.size()] == '=';
}

void dropExitCodeChannel() {
  if (const char* fd = std::getenv(kExitCodeVariable)) {
    close(std::atoi(fd));
    unsetenv(kExitCodeVariable);
  }
}

}  // namespace plat
