// NMisc launch variants: the user-token, own-token-in-session, own-session and logon-program
// launches built step by step from the platform's session, token and process primitives.
#include "platform/NMisc.h"
#include "platform/PlatformProcess.h"
#include "platform/PlatformRegistry.h"
#include "platform/Trace.h"
#include "platform/WinError.h"

namespace NMisc {
namespace {

// Steps of a user-token launch, in order; their failures are "Err <n>" lines.
enum UserLaunchStep { kUserNoSession = 0, kUserToken, kUserDuplicate, kUserEnvironment, kUserCreate };
// Steps of an own-token launch moved into a session, numbered as the step outputs report them.
enum SessionLaunchStep { kSessionNone = 1, kSessionThreadToken, kSessionSetId, kSessionDuplicate,
                         kSessionEnvironment, kSessionCreate };

constexpr int kLogonProgramOk = 0;
constexpr int kLogonNoName = 200;
constexpr int kLogonNoKey = 300;
constexpr int kLogonNoValue = 400;
constexpr int kLogonFailed = 9999;

const char* text(const char* value) { return value ? value : ""; }

// Returns -1 on success, or the step that failed.
int userTokenLaunch(uint32_t session, const char* command, const char* folder, bool hidden,
                    bool waitable, plat::Process& process) {
  if (session == plat::kNoSession) return kUserNoSession;
  plat::Token token;
  if (queryUserToken(session, &token) == 0) return kUserToken;
  plat::Token duplicate = token;  // DuplicateTokenEx(TokenPrimary)
  std::vector<std::string> environment;
  if (createEnvironmentBlock(&environment, duplicate, 0) == 0) return kUserEnvironment;
  plat::LaunchRequest request{text(command), text(folder), hidden, &duplicate, &environment};
  bool started = process.start(request, waitable);
  destroyEnvironmentBlock(&environment);
  return started ? -1 : kUserCreate;
}

// Returns -1 on success, or the step that failed.
int ownTokenSessionLaunch(uint32_t session, const char* command, const char* folder, bool hidden,
                          bool waitable, plat::Process& process, uint32_t& creationError) {
  if (session == plat::kNoSession) return kSessionNone;
  plat::Token token;
  if (!plat::ownTokenInSession(session, token)) return kSessionSetId;
  std::vector<std::string> environment;
  if (createEnvironmentBlock(&environment, token, 0) == 0) return kSessionEnvironment;
  plat::LaunchRequest request{text(command), text(folder), hidden, &token, &environment};
  bool started = process.start(request, waitable);
  creationError = plat::lastError();
  destroyEnvironmentBlock(&environment);
  return started ? -1 : kSessionCreate;
}

int waitFor(bool started, plat::Process& process) { return started ? process.wait() : -1; }

}  // namespace

uint32_t getActiveConsoleSessionId() { return plat::activeConsoleSessionId(); }

int queryUserToken(uint32_t session, plat::Token* token) {
  return token != nullptr && plat::queryUserToken(session, *token) ? 1 : 0;
}

int createEnvironmentBlock(std::vector<std::string>* block, const plat::Token& token, int inherit) {
  return block != nullptr && plat::createEnvironmentBlock(token, inherit != 0, *block) ? 1 : 0;
}

void destroyEnvironmentBlock(std::vector<std::string>* block) {
  if (block != nullptr) block->clear();
}

int createProcessAsActiveUser(const char* command, const char* folder, int hide) {
  plat::Process process;
  int failed = userTokenLaunch(getActiveConsoleSessionId(), command, folder, hide != 0, false, process);
  if (failed >= 0) trace(3, "Err <%d>: %d\n", failed, static_cast<int>(plat::lastError()));
  return failed < 0 ? 1 : 0;
}

int createProcessAsLoginUserWaitEx(uint32_t session, const char* command, const char* folder,
                                   int* step, int* error) {
  plat::Process process;
  int failed = userTokenLaunch(session, command, folder, false, false, process);
  if (failed == kUserNoSession) failed = kUserToken;  // the token query refuses session -1
  *step = failed < 0 ? 0 : failed + 1;
  *error = failed < 0 ? 0 : static_cast<int>(plat::lastError());
  return failed < 0 ? 1 : 0;
}

int createProcessAsSessionUserWait(uint32_t session, const char* command, const char* folder) {
  plat::Process process;
  return waitFor(userTokenLaunch(session, command, folder, false, true, process) < 0, process);
}

int createProcessAsActiveUserWait(const char* command, const char* folder) {
  return createProcessAsSessionUserWait(getActiveConsoleSessionId(), command, folder);
}

int createProcessInSessionEx(uint32_t session, const char* command, const char* folder, int hide,
                             int* step, int* error) {
  plat::Process process;
  uint32_t creationError = 0;
  int failed = ownTokenSessionLaunch(session, command, folder, hide != 0, false, process,
                                     creationError);
  *step = failed < 0 ? 0 : failed;
  *error = static_cast<int>(failed < 0 || failed == kSessionCreate ? creationError
                                                                   : plat::lastError());
  return failed < 0 ? 1 : 0;
}

int createProcessAsConsoleSessionWaitEx(uint32_t session, const char* command, const char* folder,
                                        int hide) {
  int step = 0;
  int error = 0;
  return createProcessInSessionEx(session, command, folder, hide, &step, &error);
}

int createProcessInActiveSession(const char* command, const char* folder, int hide) {
  uint32_t session = getActiveConsoleSessionId();
  if (session == plat::kNoSession) return 0;
  return createProcessAsConsoleSessionWaitEx(session, command, folder, hide);
}

int createProcessInSessionWait(uint32_t session, const char* command, const char* folder, int hide) {
  plat::Process process;
  uint32_t creationError = 0;
  bool started =
      ownTokenSessionLaunch(session, command, folder, hide != 0, true, process, creationError) < 0;
  return waitFor(started, process);
}

int createProcessWait(const char* command, const char* folder, int hide) {
  plat::Process process;
  plat::LaunchRequest request{text(command), text(folder), hide != 0, nullptr, nullptr};
  return waitFor(process.start(request, true), process);
}

int createProcessNoWait(const char* command, const char* folder) {
  plat::Process process;
  plat::LaunchRequest request{text(command), text(folder), false, nullptr, nullptr};
  return process.start(request, false) ? 1 : 0;
}

int createProcessViaLogonProgram(uint32_t session, const char* key, const char* firstText,
                                 const char* secondText, int hide, int* exitCode, int* step,
                                 int* error) {
  *exitCode = 0;
  auto report = [&](int stepCode, int errorCode) {
    if (step != nullptr) *step = stepCode;
    if (error != nullptr) *error = errorCode;
  };
  NString folder = getModuleFolder(nullptr);
  NString name;
  int nameStep = 0;
  int nameError = 0;
  if (makeUniqueName(name, &nameStep, &nameError) == 0) {
    report(kLogonNoName, nameError);
    return 0;
  }
  NString data;
  data.format("%s|$%s|$%s", hide ? "USER_WAIT_HIDE" : "USER_WAIT", text(firstText), text(secondText));
  plat::RegKey handover;
  if (plat::RegKey::create(plat::RegRoot::LocalMachine, text(key), plat::kKeyAllAccess, handover) != 0) {
    report(kLogonNoKey, static_cast<int>(plat::lastError()));
    return 0;
  }
  // A string value of the text's length, as the registry wrapper writes text.
  if (handover.setValue(name.text(), plat::kRegSz, data.text(), data.length()) != 0) {
    report(kLogonNoValue, static_cast<int>(plat::lastError()));
    return 0;
  }
  NString command;
  command.format("\"%s\\cvlgn.exe\" %s", folder.text(), name.text());
  *exitCode = createProcessAsSessionUserWait(session, command.text(), folder.text());
  bool ok = *exitCode == kLogonProgramOk;
  report(ok ? 0 : kLogonFailed, ok ? 0 : static_cast<int>(plat::lastError()));
  plat::RegKey cleanup;
  if (plat::RegKey::open(plat::RegRoot::LocalMachine, text(key), plat::kKeyAllAccess, cleanup) == 0)
    cleanup.deleteValue(name.text());
  return ok ? 1 : 0;
}

}  // namespace NMisc
