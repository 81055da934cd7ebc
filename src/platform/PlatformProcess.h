// Sessions, tokens and process creation: the Windows launch primitives (WTS session and token
// queries, environment blocks, CreateProcessA / CreateProcessAsUserA and the waits) that the
// module's launch variants are built from.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plat {

inline constexpr uint32_t kNoSession = 0xFFFFFFFFu;

// Whose account a new process gets and the session it lands in.
struct Token {
  bool own = true;        // the module's own account; false: the user logged on in session
  uint32_t session = 0;
  std::string userName;   // the account's name (a user token's logged-on user)
};

// WTSGetActiveConsoleSessionId: kNoSession when no session is attached to the console.
uint32_t activeConsoleSessionId();
// The session of the module's own process.
uint32_t currentSessionId();
// WTSQueryUserToken: the token of the user logged on in the session; false (with the last
// error set, token untouched) when nobody is logged on there or the session does not exist.
bool queryUserToken(uint32_t session, Token& token);
// The module's own token moved into a session (ImpersonateSelf, OpenThreadToken and
// SetTokenInformation(TokenSessionId)); false, with token untouched, when the session does not
// exist.
bool ownTokenInSession(uint32_t session, Token& token);
// CreateEnvironmentBlock: the environment of a new logon of the token's account; with inherit,
// the caller's environment underneath.
bool createEnvironmentBlock(const Token& token, bool inherit, std::vector<std::string>& block);

struct LaunchRequest {
  std::string commandLine;    // passed unchanged; the program is its first word
  std::string workingFolder;  // Windows path; empty: the caller's folder
  bool hidden = false;        // SW_HIDE for the main window
  const Token* token = nullptr;  // null: the module's own account and session
  const std::vector<std::string>* environment = nullptr;  // null: the caller's environment
};

// A started process. Not copyable; the object only refers to the process, destroying it neither
// waits for nor ends the process.
class Process {
 public:
  Process();
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // Starts the program. With waitable false the process is detached at once (nothing to wait
  // for, nothing left behind). False with the last error set when it cannot be created.
  bool start(const LaunchRequest& request, bool waitable);
  // Waits without a time limit; the exit code, or -1 when it cannot be read.
  int wait();
  uint32_t id() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

// ExitProcess: ends the calling program with a 32-bit exit code. On Linux, where an exit status
// holds 8 bits, the whole code also reaches a parent that started the program through Process.
[[noreturn]] void exitProcess(uint32_t exitCode);

}  // namespace plat
