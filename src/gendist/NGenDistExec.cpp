// NGenDist execution: the package's registry import and program, run under the account the job
// asks for, with the operator's exit-code switch; the progress dialog; the software status query.
#include <cstdio>
#include <cstring>

#include "gendist/NGenDist.h"
#include "gendist/SwStatusApi.h"
#include "platform/NMisc.h"
#include "platform/PlatformLibrary.h"
#include "platform/PlatformProfile.h"
#include "platform/Trace.h"
#include "platform/WinError.h"

namespace {

constexpr const char* kLogonKey = "SOFTWARE\\Plumbex\\Corvane\\LGN";
constexpr const char* kDialogToken = "7E2A9F04B13D";
constexpr const char* kIniSection = "cvdt";
constexpr int kLogonProgramFailed = 9999;

// Account kinds: the actor's user through the logon program, or the module's own token moved
// into the actor's session with batch windows hidden or shown.
constexpr int kKindLogonUser = 1;
constexpr int kKindOwnHidden = 2;
constexpr int kKindOwnShown = 3;
constexpr uint32_t kUserActor = 1;
constexpr uint32_t kCommandActor = 0;

enum class Launcher { LogonProgram, InSession, OwnSession };

struct Launch {
  Launcher launcher = Launcher::OwnSession;
  NString command;
  NString folder;
  int hide = 0;
};

struct LaunchResult {
  bool ok = false;  // the program ran and exited with 0
  int exitCode = -1;
  int step = 0;
  int error = 0;
};

// One run of the package's program or interpreter, and the exit-code rule that may forgive it.
struct ExecPlan {
  NString program;
  NString arguments;
  Launch launch;
  int ruleCase = 0;
};

LaunchResult runWaiting(const Launch& launch, uint32_t session) {
  LaunchResult result;
  const char* command = launch.command.text();
  const char* folder = launch.folder.text();
  if (launch.launcher == Launcher::LogonProgram) {
    result.ok = NMisc::createProcessViaLogonProgram(session, kLogonKey, command, folder,
                                                    launch.hide, &result.exitCode, &result.step,
                                                    &result.error) != 0;
    return result;
  }
  result.exitCode = launch.launcher == Launcher::InSession
                        ? NMisc::createProcessInSessionWait(session, command, folder, launch.hide)
                        : NMisc::createProcessWait(command, folder, launch.hide);
  result.ok = result.exitCode == 0;
  if (result.exitCode == -1) result.error = static_cast<int>(plat::lastError());
  return result;
}

// Registry imports and batch files: the logon program or the own token in the actor's session
// from XP on, the module's own session before; hidden unless the kind shows batch windows.
Launch scriptLaunch(int kind, const NString& command, const NString& folder) {
  Launch launch;
  bool xp = NMisc::isXpOrLater();
  launch.launcher = !xp ? Launcher::OwnSession
                        : kind == kKindLogonUser ? Launcher::LogonProgram : Launcher::InSession;
  launch.command = command;
  launch.folder = folder;
  launch.hide = kind == kKindOwnShown ? 0 : 1;
  return launch;
}

bool endsWithNoCase(const NString& text, const char* suffix) {
  int length = static_cast<int>(std::strlen(suffix));
  return text.length() >= length && text.right(length).equalsNoCase(suffix);
}

// 'i' for an installer package, 'p' for a patch, 0 for any other program. The extension may
// stand anywhere from the fifth-last character on.
char msiSwitch(const NString& file) {
  NString upper = file;
  upper.makeUpper();
  int from = upper.length() > 5 ? upper.length() - 5 : 0;
  if (upper.find(".MSI", from) >= 0) return 'i';
  if (upper.find(".MSP", from) >= 0) return 'p';
  return 0;
}

NString interpreter(int kind) {
  if ((kind == kKindLogonUser && NMisc::isXpOrLater()) || NMisc::isNtPlatform())
    return NMisc::getSystemFolder(0) + "\\CMD.EXE";
  return NMisc::getWindowsFolder() + "\\COMMAND.COM";
}

ExecPlan planBatch(int kind, const NString& target, const NString& file, const NString& options) {
  ExecPlan plan;
  plan.program = interpreter(kind);
  plan.arguments.format("/c \"%s\\%s %s\"", target.text(), file.text(), options.text());
  plan.launch = scriptLaunch(kind, plan.program + "  " + plan.arguments, target);
  bool xp = NMisc::isXpOrLater();
  plan.ruleCase = kind == kKindLogonUser ? (xp ? 1 : 2) : (xp ? 3 : 4);
  return plan;
}

ExecPlan planProgram(int kind, const NString& target, const NString& file, const NString& options) {
  ExecPlan plan;
  char msi = msiSwitch(file);
  bool xp = NMisc::isXpOrLater();
  if (msi != 0) {
    plan.program = NMisc::getSystemFolder(0) + "\\msiexec.exe";
    plan.arguments.format("/%c \"%s\\%s %s\"", msi, target.text(), file.text(), options.text());
    plan.launch.folder = NMisc::getModuleFolder(nullptr);
  } else {
    plan.program = target + "\\" + file;
    plan.arguments = options;
    plan.launch.folder = target;
  }
  plan.launch.command = plan.program + " " + plan.arguments;
  plan.launch.launcher = !xp ? Launcher::OwnSession
                         : kind == kKindLogonUser && msi == 0 ? Launcher::LogonProgram
                                                              : Launcher::InSession;
  if (kind == kKindLogonUser) plan.ruleCase = !xp ? 33 : msi == 0 ? 22 : 11;
  else plan.ruleCase = !xp ? 66 : msi == 0 ? 55 : 44;
  return plan;
}

// With the operator's switch on, a failed run counts as success when its rule says so: a run
// through the logon program when the logon program failed, any other when the exit code is
// not 0 (-1, a program that did not run, included).
int forgive(int ignoreExitCode, const ExecPlan& plan, const LaunchResult& result) {
  if (ignoreExitCode != 1) return 0;
  bool forgiven = plan.launch.launcher == Launcher::LogonProgram
                      ? result.step == kLogonProgramFailed
                      : result.exitCode != 0;
  if (!forgiven) return 0;
  trace(1, "[CHECK_POINT]NGenDist::execFile: %d ERR -> SUCC return\n", plan.ruleCase);
  return 1;
}

// What the execution trace lines carry besides the command.
struct RunFacts {
  uint32_t kind;
  uint32_t overrideValue;
  uint32_t actor;
  uint32_t session;
  int ignoreExitCode;
};

int runBatch(const ExecPlan& plan, const RunFacts& f) {
  LaunchResult result = runWaiting(plan.launch, f.session);
  if (result.ok) {
    trace(3,
          "[CHECK_POINT][OK] NGenDist::execFile: Exec. Batch File: strPgm: %s,  strArg: %s, "
          "[%u], [%u], [%u], [%u], [%d]\n",
          plan.program.text(), plan.arguments.text(), f.kind, f.actor, f.overrideValue,
          f.session, result.exitCode);
    return 1;
  }
  trace(1,
        "[CHECK_POINT][FAILED] NGenDist::execFile: Exec. Batch File: strPgm: %s,  strArg: %s, "
        "[%u], [%u], [%u], [%u], [%d], [%u], [%u]\n",
        plan.program.text(), plan.arguments.text(), f.kind, f.actor, f.overrideValue, f.session,
        result.exitCode, result.step, result.error);
  if (f.ignoreExitCode == 1) trace(1, "[CHECK_POINT]NGenDist::execFile: SET IGNORE_EXITCODE \n");
  return forgive(f.ignoreExitCode, plan, result);
}

int runProgram(const ExecPlan& plan, const RunFacts& f) {
  LaunchResult result = runWaiting(plan.launch, f.session);
  if (result.ok) {
    trace(3,
          "[CHECK_POINT][OK] NGenDist::execFile: Exec. : strPgm: %s,  strArg: %s, [%u], [%u], "
          "[%u], [%d]\n",
          plan.program.text(), plan.arguments.text(), f.kind, f.actor, f.session,
          result.exitCode);
    return 1;
  }
  trace(1,
        "[CHECK_POINT][FAILED] NGenDist::execFile: Exec. : strPgm: %s,  strArg: %s, [%u], [%u], "
        "[%u], [%d], [%u], [%u]\n",
        plan.program.text(), plan.arguments.text(), f.kind, f.actor, f.session, result.exitCode,
        result.step, result.error);
  return forgive(f.ignoreExitCode, plan, result);
}

// The dialog of a request from a user's session: in that session from XP on.
int startUserActorDialog(uint32_t session, const NString& command, const NString& folder) {
  if (!NMisc::isXpOrLater()) {
    trace(3, "NGenDist::execDtnDlg() <4> [USER_ACTOR]\n");
    return NMisc::createProcessNoWait(command.text(), folder.text());
  }
  trace(3, "NGenDist::execDtnDlg() <1> vista [USER_ACTOR]\n");
  int started = 0;
  if (NMisc::is2003OrLater()) {
    trace(1, "NGenDist::execFile: createProcessAsConsoleSessionWaitEx [USER_ACTOR] exe: %s, path: %s\n",
          command.text(), folder.text());
    started = NMisc::createProcessAsConsoleSessionWaitEx(session, command.text(), folder.text(), 0);
  } else {
    trace(1, "NGenDist::execFile: createProcessAsLoginUserWaitEx [USER_ACTOR] exe: %s, path: %s\n",
          command.text(), folder.text());
    int step = 0;
    int error = 0;
    started = NMisc::createProcessAsLoginUserWaitEx(session, command.text(), folder.text(), &step,
                                                    &error);
  }
  trace(3, "NGenDist::execDtnDlg(iRet=%d) <3> vista [USER_ACTOR]\n", started);
  return started;
}

// The dialog of a command from the host: on the console's desktop if there is one, else in
// the module's own session.
void startCommandActorDialog(const NString& command, const NString& folder) {
  const char* line = command.text();
  const char* where = folder.text();
  trace(3, "NGenDist::execDtnDlg() <0> vista [COMMAND_ACTOR]\n");
  if (NMisc::isVistaOrLater()) {
    trace(3, "NGenDist::execDtnDlg() <1> vista\n");
    if (!NMisc::createProcessInActiveSession(line, where, 0)) {
      trace(3, "NGenDist::execDtnDlg() <2> vista\n");
      NMisc::createProcessNoWait(line, where);
    }
    trace(3, "NGenDist::execDtnDlg() <3> vista\n");
  } else if (NMisc::isXpOrLater()) {
    trace(3, "NGenDist::execDtnDlg() <4> xp, 2003\n");
    if (!NMisc::createProcessAsActiveUser(line, where, 0)) {
      trace(3, "NGenDist::execDtnDlg() <5> xp, 2003\n");
      if (!NMisc::createProcessInActiveSession(line, where, 0)) {
        trace(3, "NGenDist::execDtnDlg() <6> xp, 2003\n");
        NMisc::createProcessNoWait(line, where);
      }
    }
    trace(3, "NGenDist::execDtnDlg() <7> xp, 2003\n");
  } else {
    trace(3, "NGenDist::execDtnDlg() <8>\n");
    NMisc::createProcessNoWait(line, where);
  }
}

int kindForLetter(const NString& letter) {
  if (letter == "C") return kKindOwnShown;
  return letter == "L" ? kKindLogonUser : kKindOwnHidden;
}

}  // namespace

void NGenDist::resolveAccount(int& kind, int& overrideValue) {
  overrideValue = 0;
  kind = kindForLetter(m_strExecUser);
  if (kind == kKindOwnShown) return;  // "C" is final: no ini file, no exit-code switch
  std::string ini = (moduleFolder() + "\\crv.ini").text();
  bool user = _n_dt_actor == kUserActor;
  m_nIgnoreExitCode = plat::getPrivateProfileInt(kIniSection, "IGNORE_EXITCODE", 0, ini);
  NString section;
  section.format("cvdt_GEN_DT_%.20s", m_strDistId.text());
  int perDist = plat::getPrivateProfileInt(
      section.text(),
      user ? "USER_ACTOR_PGM_EXECUTE_ACCOUNT_TYPE" : "COMMAND_ACTOR_PGM_EXECUTE_ACCOUNT_TYPE", 0,
      ini);
  int allDists = plat::getPrivateProfileInt(
      kIniSection,
      user ? "GEN_DT_ALL_CASE_USER_ACTOR_PGM_EXECUTE_ACCOUNT_TYPE"
           : "GEN_DT_ALL_CASE_COMMAND_ACTOR_PGM_EXECUTE_ACCOUNT_TYPE",
      0, ini);
  overrideValue = allDists != 0 ? allDists : perDist;
  if (overrideValue == kKindLogonUser || overrideValue == kKindOwnHidden) kind = overrideValue;
}

int NGenDist::registRegFile() {
  trace(3, "NGenDist::registRegFile(1): \n");
  if (m_strRegFile.length() <= 2) {
    trace(3, "NGenDist::registRegFile : Empty!\n");
    return 1;
  }
  int kind = 0;
  int overrideValue = 0;
  resolveAccount(kind, overrideValue);
  NString target = targetFolder();
  NString program = NMisc::getWindowsFolder() + "\\regedit.exe";
  NString arguments;
  arguments.format("  /s \"%s\\%s\"", target.text(), m_strRegFile.text());
  LaunchResult result;
  if (kind >= kKindLogonUser && kind <= kKindOwnShown)
    result = runWaiting(scriptLaunch(kind, program + arguments, target), _n_dt_actor_session_id);
  if (result.ok) {
    trace(3,
          "[CHECK_POINT][OK] NGenDist::registRegFile: : strPgm: %s,  strArg: %s, [%u], [%u], "
          "[%u], [%u], [%d]\n",
          program.text(), arguments.text(), kind, _n_dt_actor, overrideValue,
          _n_dt_actor_session_id, result.exitCode);
    return 1;
  }
  trace(1,
        "[CHECK_POINT][FAILED] NGenDist::registRegFile: strPgm: %s,  strArg: %s, [%u], [%u], "
        "[%u], [%u], [%d], [%u], [%u]\n",
        program.text(), arguments.text(), kind, _n_dt_actor, overrideValue,
        _n_dt_actor_session_id, result.exitCode, result.step, result.error);
  return 0;
}

int NGenDist::execFile() {
  trace(1, "NGenDist::execFile: <1>");
  if (m_strExecFile.length() < 2) return 1;
  int kind = 0;
  int overrideValue = 0;
  resolveAccount(kind, overrideValue);
  RunFacts facts{static_cast<uint32_t>(kind), static_cast<uint32_t>(overrideValue), _n_dt_actor,
                 _n_dt_actor_session_id, m_nIgnoreExitCode};
  NString target = targetFolder();
  if (endsWithNoCase(m_strExecFile, ".bat"))
    return runBatch(planBatch(kind, target, m_strExecFile, m_strExecOpt), facts);
  return runProgram(planProgram(kind, target, m_strExecFile, m_strExecOpt), facts);
}

void NGenDist::execDtnDlg() {
  if (_n_dt_actor != kUserActor && _n_dt_actor != kCommandActor) return;
  NString folder = moduleFolder();
  NString command;
  command.format("%s\\cvdtndlg.exe %s %s \"%s\" \"%s\" \"%s\" \"%s\" \"%s\" \"%u\" \"%u\"",
                 folder.text(), kDialogToken, m_strDistId.text(), m_strDistName.text(),
                 m_strVersion.text(), m_strDescr.text(), m_strDlgParam.text(),
                 m_bAgree ? "1" : "0", _n_dt_actor, _n_dt_actor_process_id);
  if (_n_dt_actor == kUserActor) startUserActorDialog(_n_dt_actor_session_id, command, folder);
  else startCommandActorDialog(command, folder);
  m_bDlgStarted = true;  // one attempt per job, whatever the launch gave
}

int NGenDist::SwGiveStatusFlag(int softwareId, uint32_t& flags) {
  trace(5, "NGenDist::SwGiveStatusFlag(%d) START\n", softwareId);
  // The library search of this platform starts in the module's folder, where cvsw.dll lives.
  plat::Library library;
  if (!library.load((moduleFolder() + "\\" + kSwStatusLibrary).text())) {
    trace(3, "NGenDist::SwGiveStatusFlag: cvsw.dll Load Fail\n");
    return 0;
  }
  auto query = reinterpret_cast<SwGiveStatusFlagFn>(library.symbol(kSwGiveStatusFlagName));
  if (query == nullptr) {
    trace(3, "NGenDist::SwGiveStatusFlag: cvfSwGiveStatusFlag GetProcAddress Fail\n");
    library.unload();
    return 0;
  }
  char idText[24];
  std::snprintf(idText, sizeof idText, "%d", softwareId);
  flags = query(idText);
  trace(3, "NGenDist::SwGiveStatusFlag: cvfSwGiveStatusFlag() Call Ret:0x%8.8x\n", flags);
  library.unload();
  return 1;
}
