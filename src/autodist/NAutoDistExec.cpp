// NAutoDist stage 8 and the progress dialog: the item's program run from the destination
// folder under the account its mode and crv.ini select, and the launch of cvdtdlg.exe.
#include <cstdio>
#include <cstring>

#include "autodist/NAutoDist.h"
#include "entry/StatusCodes.h"
#include "platform/NMisc.h"
#include "platform/PlatformProfile.h"
#include "platform/Trace.h"
#include "platform/WinError.h"

namespace {

constexpr const char* kLogonKey = "SOFTWARE\\Plumbex\\Corvane\\LGN";
constexpr int kModeLogonUser = 1;
constexpr int kModeOwnHidden = 2;
constexpr int kModeOwnShown = 3;

// One run of the program or its interpreter, with what the log lines report.
struct ExecRun {
  NString command;  // the command text given to the launch
  NString second;   // the second text given to the logon program, empty otherwise
  int result = 0;   // launch result or exit code
  int step = 0;
  int error = 0;
  bool ok = false;
};

void viaLogonProgram(const char* first, const char* second, int hide, ExecRun& run) {
  run.command = first;
  run.second = second;
  int exitCode = -1;
  run.result = NMisc::createProcessViaLogonProgram(NMisc::getActiveConsoleSessionId(), kLogonKey,
                                                   first, second, hide, &exitCode, &run.step,
                                                   &run.error);
  run.ok = run.result == 1 && exitCode == 0;
}

void waiting(const NString& command, const char* folder, int hide, bool inSession, ExecRun& run) {
  run.command = command;
  run.result = inSession ? NMisc::createProcessInSessionWait(NMisc::getActiveConsoleSessionId(),
                                                             command.text(), folder, hide)
                         : NMisc::createProcessWait(command.text(), folder, hide);
  run.ok = run.result == 0;
}

bool isBatch(const char* program) {
  size_t length = std::strlen(program);
  if (length < 4) return false;
  NString tail(program + length - 4);
  tail.makeLower();
  return tail == ".bat";
}

// Returns false for a mode outside 1 to 3 (nothing is launched then).
bool runBatch(const ADistItem& item, int mode, ExecRun& run) {
  const bool xp = NMisc::isXpOrLater();
  const char* folder = item.m_szDstFolder;
  NString interpreter = NMisc::isNtPlatform() ? NMisc::getSystemFolder(0) + "\\CMD.EXE"
                                              : NMisc::getWindowsFolder() + "\\COMMAND.COM";
  NString arguments;
  arguments.format("  /c \"%s\\%s %s\"", folder, item.m_szProgram, item.m_szProgramArgs);
  if (mode == kModeLogonUser && xp) {
    viaLogonProgram((NMisc::getSystemFolder(0) + "\\CMD.EXE").text(), arguments.text(), 1, run);
  } else if (mode == kModeLogonUser || mode == kModeOwnHidden || mode == kModeOwnShown) {
    waiting(interpreter + arguments, folder, 1, xp && mode != kModeLogonUser, run);
  } else {
    return false;
  }
  return true;
}

bool runProgram(const ADistItem& item, int mode, const NString& path, const NString& line,
                ExecRun& run) {
  const bool xp = NMisc::isXpOrLater();
  const char* folder = item.m_szDstFolder;
  if (mode == kModeLogonUser && xp) viaLogonProgram(path.text(), item.m_szProgramArgs, 0, run);
  else if (mode == kModeLogonUser) waiting(line, folder, 1, false, run);
  else if (mode == kModeOwnHidden) waiting(line, folder, 1, xp, run);
  else if (mode == kModeOwnShown) waiting(line, folder, 0, xp, run);
  else return false;
  return true;
}

}  // namespace

void NAutoDist::getExecuteAccountType(const ADistItem& item, int& mode, int& configValue) {
  configValue = 0;
  if (item.m_szAccount[0] == 'C' && item.m_szAccount[1] == '\0') {
    mode = kModeOwnShown;
    return;
  }
  mode = item.m_szAccount[0] == 'L' && item.m_szAccount[1] == '\0' ? kModeLogonUser
                                                                     : kModeOwnHidden;
  const std::string ini = NMisc::getModuleFolder(NMisc::thisModule()).text() + std::string("\\crv.ini");
  char section[33];
  std::snprintf(section, sizeof section, "cvdt_AUTO_DT_%d", item.m_nDistId);
  int perItem = plat::getPrivateProfileInt(section, "PGM_EXECUTE_ACCOUNT_TYPE", 0, ini);
  int allCases = plat::getPrivateProfileInt("cvdt", "AUTO_DT_ALL_CASE_PGM_EXECUTE_ACCOUNT_TYPE", 0, ini);
  configValue = allCases != 0 ? allCases : perItem;
  if (configValue == kModeLogonUser || configValue == kModeOwnHidden) mode = configValue;
}

bool NAutoDist::distFileExecute(ADistItem& item) {
  writeStateFile(1, item);
  if (std::strlen(item.m_szProgram) < 2) return true;
  const NString path = NString(item.m_szDstFolder) + "\\" + item.m_szProgram;
  const NString line = path + " " + item.m_szProgramArgs;
  int slash = -1;
  for (int at = path.findChar('\\'); at >= 0; at = path.findChar('\\', at + 1)) slash = at;
  trace(1, "NAutoDist::distFileExecute <1>: (%.1024s, %.2047s) \n",
        slash >= 0 ? path.left(slash).text() : ".", line.text());
  int mode = 0;
  int configValue = 0;
  getExecuteAccountType(item, mode, configValue);
  const bool batch = isBatch(item.m_szProgram);
  ExecRun run;
  bool launched = batch ? runBatch(item, mode, run) : runProgram(item, mode, path, line, run);
  if (!launched) run.command = line;
  const char* kind = batch ? "Exec. Batch File" : "Exec. ";
  if (launched && run.ok) {
    trace(3, "[CHECK_POINT][OK] NAutoDist::distFileExecute: %s: strPgm: %.1024s,  strArg: %.1024s, [%u], [%u], [%d]\n",
          kind, run.command.text(), run.second.text(), static_cast<unsigned>(mode),
          static_cast<unsigned>(configValue), run.result);
    return true;
  }
  int systemError = static_cast<int>(plat::lastError());
  NString log;
  log.format("[CHECK_POINT][FAILED] NAutoDist::distFileExecute: %s: strPgm: %.1024s,  strArg: %.1024s, [%u], [%u], [%d], [%u], [%u]\n",
             kind, run.command.text(), run.second.text(), static_cast<unsigned>(mode),
             static_cast<unsigned>(configValue), run.result, static_cast<unsigned>(run.step),
             static_cast<unsigned>(run.error));
  NString code;
  code.format(" ErrCode:%d", systemError);
  return fail(item, log.text(), auto_status::kRunFailed,
              (catalogueText(auto_message::kRunFailed) + line + code).text());
}

void NAutoDist::execDtDlg() {
  const NString folder = NMisc::getModuleFolder(NMisc::thisModule());
  NString command;
  command.format("%s\\%s %s", folder.text(), kADistDlgImage, kADistDlgToken);
  if (NMisc::isXpOrLater() && NMisc::isVistaOrLater()) {
    trace(3, "NAutoDist::execDtDlg() <1> vista\n");
    if (!NMisc::createProcessInActiveSession(command.text(), folder.text(), 0)) {
      trace(3, "NAutoDist::execDtDlg() <2> vista\n");
      NMisc::createProcessNoWait(command.text(), folder.text());
    }
    trace(3, "NAutoDist::execDtDlg() <3> vista\n");
  } else if (NMisc::isXpOrLater()) {
    trace(3, "NAutoDist::execDtDlg() <4> xp, 2003\n");
    if (!NMisc::createProcessAsActiveUser(command.text(), folder.text(), 0)) {
      trace(3, "NAutoDist::execDtDlg() <5> xp, 2003\n");
      if (!NMisc::createProcessInActiveSession(command.text(), folder.text(), 0)) {
        trace(3, "NAutoDist::execDtDlg() <6> xp, 2003\n");
        NMisc::createProcessNoWait(command.text(), folder.text());
      }
    }
    trace(3, "NAutoDist::execDtDlg() <7> xp, 2003\n");
  } else {
    trace(3, "NAutoDist::execDtDlg() <8>\n");
    NMisc::createProcessNoWait(command.text(), folder.text());
  }
  m_bDialogLaunched = 1;
}
