// Running a package's registry file and program, the progress dialog and the software status
// query on test machines, with real processes: stand-ins record how they were run.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "NGenDistTestAccess.h"
#include "StandInProgram.h"
#include "platform/NMisc.h"
#include "platform/PlatformRegistry.h"
#include "support/TestMachine.h"

namespace {

namespace fs = std::filesystem;
using cvdt::test::installStandIn;
using cvdt::test::StandInRun;
using cvdt::test::standInRun;
using cvdt::test::TestMachine;
using Args = std::vector<std::string>;

struct Version {
  uint32_t major;
  uint32_t minor;
};
constexpr Version kWin10{10, 0};
constexpr Version kWinXp{5, 1};
constexpr Version kWin2000{5, 0};

constexpr const char* kIgnoreExitCode = "[cvdt]\nIGNORE_EXITCODE=1\n";
constexpr auto kLaunchTimeout = std::chrono::seconds(10);

// The account that user-token launches get: a second user when we run as root.
std::string consoleUser() {
  if (geteuid() == 0 && getpwnam("cvdt-test") != nullptr) return "cvdt-test";
  passwd* self = getpwuid(geteuid());
  return self ? self->pw_name : "";
}

struct MachineSpec {
  Version version = kWin10;
  int consoleSession = 1;
  bool userLoggedOn = false;
};

class NGenDistExecTest : public testing::Test {
 protected:
  // A fresh machine and a job of distribution 42 whose package sits in C:\Pkg, run by the host
  // ("command" actor) in session 1 with execution letter "S".
  void use(const MachineSpec& spec = {}) {
    m_job.reset();
    m_machine.reset();  // before the next one: a machine's end forgets CVDT_MACHINE
    m_machine = std::make_unique<TestMachine>([&](auto& config, auto&) {
      config.version.major = spec.version.major;
      config.version.minor = spec.version.minor;
      config.consoleSession = spec.consoleSession;
      config.consoleUser = spec.userLoggedOn ? consoleUser() : "";
    });
    m_job = std::make_unique<NGenDist>();
    job().distId() = "42";
    job().baseFolder() = "C:\\Pkg";
    job().execUser() = "S";
    job().actorSession() = 1;
    fs::create_directories(host("C:\\Pkg"));
    fs::permissions(host("C:\\Pkg"), fs::perms::all);
  }

  NGenDistTestAccess job() { return NGenDistTestAccess(*m_job); }
  std::string host(const std::string& windowsPath) const { return m_machine->host(windowsPath); }
  std::string moduleFolder() const { return m_machine->config().moduleFolder; }
  std::string systemFolder() const { return NMisc::getSystemFolder(0).text(); }
  void writeIni(const std::string& text) {
    std::error_code ec;
    fs::remove(host(moduleFolder() + "\\crv.ini"), ec);
    if (!text.empty()) m_machine->writeFile(moduleFolder() + "\\crv.ini", text);
  }
  bool logged(const std::string& text) const {
    return m_machine->traceLog().find(text) != std::string::npos;
  }
  // Each text is in the trace log, after the one before it.
  void expectLoggedInOrder(const Args& texts) const {
    std::string log = m_machine->traceLog();
    size_t from = 0;
    for (const std::string& text : texts) {
      size_t at = log.find(text, from);
      EXPECT_NE(at, std::string::npos) << "missing in order: " << text << "\n" << log;
      if (at != std::string::npos) from = at + text.size();
    }
  }
  bool hasFile(const std::string& windowsPath) const { return fs::exists(host(windowsPath)); }

  std::unique_ptr<TestMachine> m_machine;
  std::unique_ptr<NGenDist> m_job;
};

TEST_F(NGenDistExecTest, AccountKindComesFromTheLetterUnlessTheIniOverridesIt) {
  use();
  struct Row {
    const char* letter;
    uint32_t actor;
    const char* ini;
    int kind;
    int overrideValue;
    int ignoreExitCode;
  } rows[] = {
      // "C" reads no ini file at all.
      {"C", 0,
       "[cvdt]\nIGNORE_EXITCODE=1\nGEN_DT_ALL_CASE_COMMAND_ACTOR_PGM_EXECUTE_ACCOUNT_TYPE=1\n", 3,
       0, 0},
      {"L", 1, "[cvdt]\nGEN_DT_ALL_CASE_USER_ACTOR_PGM_EXECUTE_ACCOUNT_TYPE=2\n", 2, 2, 0},
      {"L", 0, "[cvdt]\nGEN_DT_ALL_CASE_USER_ACTOR_PGM_EXECUTE_ACCOUNT_TYPE=2\n", 1, 0, 0},
      // The all-distributions value wins, and 3 is no override.
      {"S", 0,
       "[cvdt_GEN_DT_42]\nCOMMAND_ACTOR_PGM_EXECUTE_ACCOUNT_TYPE=1\n[cvdt]\n"
       "GEN_DT_ALL_CASE_COMMAND_ACTOR_PGM_EXECUTE_ACCOUNT_TYPE=3\n",
       2, 3, 0},
      {"S", 0, "[cvdt_GEN_DT_42]\nCOMMAND_ACTOR_PGM_EXECUTE_ACCOUNT_TYPE=1\n", 1, 1, 0},
      {"L", 1, "[cvdt_GEN_DT_42]\nUSER_ACTOR_PGM_EXECUTE_ACCOUNT_TYPE=2\n", 2, 2, 0},
      {"L", 1, "[cvdt_GEN_DT_43]\nUSER_ACTOR_PGM_EXECUTE_ACCOUNT_TYPE=2\n", 1, 0, 0},
      {"S", 0, kIgnoreExitCode, 2, 0, 1},
      {"l", 0, "", 2, 0, 0},  // the letters are exact
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.letter) + " / " + row.ini);
    writeIni(row.ini);
    m_job = std::make_unique<NGenDist>();
    job().distId() = "42";
    job().execUser() = row.letter;
    job().actor() = row.actor;
    int kind = -1;
    int overrideValue = -1;
    m_job->resolveAccount(kind, overrideValue);
    EXPECT_EQ(kind, row.kind);
    EXPECT_EQ(overrideValue, row.overrideValue);
    EXPECT_EQ(job().ignoreExitCode(), row.ignoreExitCode);
  }
}

TEST_F(NGenDistExecTest, NothingToRunOrImportSucceedsWithoutALaunch) {
  use();
  for (const char* file : {"", "x"}) {
    job().execFile() = file;
    EXPECT_EQ(m_job->execFile(), 1);
  }
  job().regFile() = "ab";
  EXPECT_EQ(m_job->registRegFile(), 1);
  EXPECT_TRUE(logged("NGenDist::registRegFile : Empty!\n"));
  EXPECT_FALSE(logged("[CHECK_POINT]"));
}

// Installer packages and patches run through msiexec from the agent's folder; any other
// program runs itself, shown, in the actor's session and the target folder.
TEST_F(NGenDistExecTest, InstallersAndPatchesRunThroughMsiexecFromTheHostFolder) {
  use();
  const std::string msiexec = host(systemFolder() + "\\msiexec.exe");
  struct Row {
    const char* file;
    const char* options;
    Args args;  // empty: not an installer package, the file itself runs
  } rows[] = {
      {"pkg.msi", "/qn", {"/i", "C:\\Pkg\\pkg.msi /qn"}},
      {"Pkg.MSI", "", {"/i", "C:\\Pkg\\Pkg.MSI "}},
      {"fix.msp", "/qn", {"/p", "C:\\Pkg\\fix.msp /qn"}},
      {"tool.msi.exe", "-q \"two words\"", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.file);
    std::string program = row.args.empty() ? host(std::string("C:\\Pkg\\") + row.file) : msiexec;
    installStandIn(program, 0);
    job().execFile() = row.file;
    job().execOptions() = row.options;
    EXPECT_EQ(m_job->execFile(), 1);
    StandInRun run = standInRun(program);
    EXPECT_TRUE(run.ran);
    if (row.args.empty()) {
      EXPECT_EQ(run.args, (Args{"-q", "two words"}));
      EXPECT_EQ(run.cwd, host("C:\\Pkg"));
      EXPECT_EQ(run.show, "-");
      EXPECT_EQ(run.session, "1");
      continue;
    }
    EXPECT_EQ(run.args, row.args);
    EXPECT_EQ(run.cwd, host(m_machine->config().agentFolder));
  }
}

TEST_F(NGenDistExecTest, TheIgnoreSwitchForgivesFailedProgramsCaseByCase) {
  struct Row {
    Version version;
    const char* letter;
    const char* file;
    bool installed;
    uint32_t exitCode;
    const char* ini;
    int result;
    const char* rule;  // the forgiving rule's number, or null
  } rows[] = {
      {kWin10, "S", "setup.exe", true, 3010, kIgnoreExitCode, 1, "55"},
      {kWin10, "S", "setup.exe", true, 3010, "", 0, nullptr},
      {kWin10, "C", "setup.exe", true, 3010, kIgnoreExitCode, 0, nullptr},
      {kWin10, "S", "missing.exe", false, 0, kIgnoreExitCode, 1, "55"},
      {kWin2000, "S", "setup.exe", true, 7, kIgnoreExitCode, 1, "66"},
      {kWin2000, "L", "setup.exe", true, 7, kIgnoreExitCode, 1, "33"},
      {kWin10, "S", "pkg.msi", true, 1603, kIgnoreExitCode, 1, "44"},
      {kWinXp, "L", "pkg.msi", true, 1603, kIgnoreExitCode, 1, "11"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.letter) + " " + row.file + " " + std::to_string(row.version.major));
    use({row.version});
    writeIni(row.ini);
    std::string file = row.file;
    std::string program = file.ends_with(".msi") ? host(systemFolder() + "\\msiexec.exe")
                                                 : host("C:\\Pkg\\" + file);
    if (row.installed) installStandIn(program, row.exitCode);
    job().execFile() = row.file;
    job().execUser() = row.letter;
    EXPECT_EQ(m_job->execFile(), row.result);
    EXPECT_EQ(standInRun(program).ran, row.installed);
    EXPECT_TRUE(logged("[CHECK_POINT][FAILED] NGenDist::execFile: Exec. : "));
    std::string forgiven = row.rule == nullptr ? "ERR -> SUCC return"
                           : "[CHECK_POINT]NGenDist::execFile: " + std::string(row.rule) + " ERR -> SUCC return\n";
    EXPECT_EQ(logged(forgiven), row.rule != nullptr);
  }
}

TEST_F(NGenDistExecTest, BatchFilesRunThroughTheMachinesCommandInterpreter) {
  struct Row {
    Version version;
    const char* letter;
    const char* file;
    uint32_t exitCode;
    const char* ini;
    int result;
    const char* rule;
    const char* show;
  } rows[] = {
      {kWin10, "S", "install.bat", 0, "", 1, nullptr, "0"},
      {kWin10, "C", "Setup.BAT", 0, "", 1, nullptr, "-"},
      {kWin10, "S", "install.bat", 4, kIgnoreExitCode, 1, "3", "0"},
      {kWin10, "S", "install.bat", 4, "", 0, nullptr, "0"},
      {kWin2000, "S", "install.bat", 4, kIgnoreExitCode, 1, "4", "0"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.letter) + " " + row.file + " " + std::to_string(row.exitCode));
    use({row.version});
    if (!hasFile(systemFolder() + "\\CMD.EXE")) GTEST_SKIP() << "CMD.EXE is not in the stage";
    writeIni(row.ini);
    m_machine->writeFile(std::string("C:\\Pkg\\") + row.file,
                         "printf 'arg=%s\\n' \"$@\" > batch.out\n"
                         "echo \"show=${CVDT_SHOW_WINDOW:--}\" >> batch.out\n"
                         "exit " + std::to_string(row.exitCode) + "\n");
    job().execFile() = row.file;
    job().execOptions() = "-x y";
    job().execUser() = row.letter;
    EXPECT_EQ(m_job->execFile(), row.result);
    EXPECT_EQ(m_machine->readFile("C:\\Pkg\\batch.out"),
              "arg=-x\narg=y\nshow=" + std::string(row.show) + "\n");
    std::string head = std::string(row.exitCode == 0 ? "[CHECK_POINT][OK]" : "[CHECK_POINT][FAILED]") +
                       " NGenDist::execFile: Exec. Batch File: strPgm: " + systemFolder() +
                       "\\CMD.EXE,  strArg: /c \"C:\\Pkg\\" + row.file + " -x y\", [";
    EXPECT_TRUE(logged(head + (row.letter[0] == 'C' ? "3" : "2") + "], [0], [0], [1], [" +
                       std::to_string(row.exitCode) + "]"));
    if (row.rule != nullptr)
      expectLoggedInOrder({"[CHECK_POINT]NGenDist::execFile: SET IGNORE_EXITCODE \n",
                           "[CHECK_POINT]NGenDist::execFile: " + std::string(row.rule) + " ERR -> SUCC return\n"});
  }
}

TEST_F(NGenDistExecTest, LetterLRunsThroughTheLogonProgramAsTheLoggedOnUser) {
  struct Row {
    const char* file;
    uint32_t exitCode;
    const char* ini;
    int result;
    const char* rule;
  } rows[] = {
      {"setup.exe", 0, "", 1, nullptr},
      {"setup.exe", 5, kIgnoreExitCode, 1, "22"},
      {"install.bat", 4, kIgnoreExitCode, 1, "1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.file) + " " + std::to_string(row.exitCode));
    use({kWin10, 1, true});
    if (!hasFile(m_machine->config().agentFolder + "\\cvlgn.exe") || !hasFile(systemFolder() + "\\CMD.EXE"))
      GTEST_SKIP() << "cvlgn.exe or CMD.EXE is not in the stage";
    writeIni(row.ini);
    std::string file = row.file;
    if (file.ends_with(".bat"))
      m_machine->writeFile("C:\\Pkg\\" + file, "id -u > batch.out\nexit " + std::to_string(row.exitCode) + "\n");
    else
      installStandIn(host("C:\\Pkg\\" + file), row.exitCode);
    job().execFile() = row.file;
    job().execUser() = "L";
    job().actor() = 1;
    EXPECT_EQ(m_job->execFile(), row.result);
    std::string uid = std::to_string(getpwnam(consoleUser().c_str())->pw_uid);
    std::string seenUid = file.ends_with(".bat") ? m_machine->readFile("C:\\Pkg\\batch.out")
                                                 : standInRun(host("C:\\Pkg\\" + file)).uid + "\n";
    EXPECT_EQ(seenUid, uid + "\n");
    if (row.rule != nullptr) {
      EXPECT_TRUE(logged("[CHECK_POINT]NGenDist::execFile: " + std::string(row.rule) + " ERR -> SUCC return\n"));
    }
  }
}

TEST_F(NGenDistExecTest, RegistryFileIsImportedByTheMachinesRegedit) {
  use();
  if (!hasFile(m_machine->config().windowsFolder + "\\regedit.exe"))
    GTEST_SKIP() << "regedit.exe is not in the stage";
  m_machine->writeFile("C:\\Pkg\\settings.reg",
                       "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Plumbex\\ExecTest]\r\n"
                       "\"Name\"=\"Value\"\r\n");
  job().regFile() = "settings.reg";
  EXPECT_EQ(m_job->registRegFile(), 1);
  // The module is a 32-bit program: its regedit is SysWOW64's, which imports into the 32-bit
  // view, so the key is where the module itself reads it (the values are regedit's own tests').
  plat::RegKey key;
  ASSERT_EQ(
      plat::RegKey::open(plat::RegRoot::LocalMachine, "SOFTWARE\\WOW6432Node\\Plumbex\\ExecTest",
                         plat::kKeyRead | plat::kKeyWow64_64Key, key),
      0u);
  EXPECT_NE(plat::RegKey::open(plat::RegRoot::LocalMachine, "SOFTWARE\\Plumbex\\ExecTest",
                               plat::kKeyRead | plat::kKeyWow64_64Key, key), 0u);

  job().regFile() = "missing.reg";
  EXPECT_EQ(m_job->registRegFile(), 0);
}

TEST_F(NGenDistExecTest, ProgressDialogStartsByActorKindAndWindowsVersion) {
  const std::string vista = "NGenDist::execDtnDlg() ";
  const std::string command = "NGenDist::execDtnDlg() <0> vista [COMMAND_ACTOR]\n";
  const std::string user = "NGenDist::execDtnDlg() <1> vista [USER_ACTOR]\n";
  struct Row {
    MachineSpec machine;
    uint32_t actor;
    Args lines;  // in this order
    const char* absent;
    bool launched;
  } rows[] = {
      {{kWin10}, 0, {command, vista + "<1> vista\n", vista + "<3> vista\n"}, "<2> vista", true},
      {{kWin10, -1},
       0,
       {command, vista + "<1> vista\n", vista + "<2> vista\n", vista + "<3> vista\n"},
       nullptr,
       true},
      {{kWinXp, 1, true},
       0,
       {command, vista + "<4> xp, 2003\n", vista + "<7> xp, 2003\n"},
       "<5> xp",
       true},
      {{kWinXp},
       0,
       {vista + "<4> xp, 2003\n", vista + "<5> xp, 2003\n", vista + "<7> xp, 2003\n"},
       "<6> xp",
       true},
      {{kWinXp, -1},
       0,
       {vista + "<5> xp, 2003\n", vista + "<6> xp, 2003\n", vista + "<7> xp, 2003\n"},
       nullptr,
       true},
      {{kWin2000}, 0, {command, vista + "<8>\n"}, nullptr, true},
      {{kWin10},
       1,
       {user, "createProcessAsConsoleSessionWaitEx [USER_ACTOR]",
        "(iRet=1) <3> vista [USER_ACTOR]\n"},
       nullptr,
       true},
      {{kWinXp},
       1,
       {user, "createProcessAsLoginUserWaitEx [USER_ACTOR]", "(iRet=0) <3> vista [USER_ACTOR]\n"},
       nullptr,
       false},
      {{kWinXp, 1, true},
       1,
       {user, "createProcessAsLoginUserWaitEx [USER_ACTOR]", "(iRet=1) <3> vista [USER_ACTOR]\n"},
       nullptr,
       true},
      {{kWin2000}, 1, {vista + "<4> [USER_ACTOR]\n"}, nullptr, true},
      {{kWin10}, 2, {}, "execDtnDlg", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("actor " + std::to_string(row.actor) + " on " + std::to_string(row.machine.version.major) +
                 "." + std::to_string(row.machine.version.minor) + " session " + std::to_string(row.machine.consoleSession));
    use(row.machine);
    const std::string module = moduleFolder();
    const std::string dialog = host(module + "\\cvdtndlg.exe");
    installStandIn(dialog, 0);
    job().distName() = "Office Suite";
    job().version() = "2.1";
    job().description() = "Word and more";
    job().agree() = 1;
    job().actor() = row.actor;
    job().actorProcessId() = 4321;
    m_job->setDialogParameter("param text");
    m_job->execDtnDlg();
    expectLoggedInOrder(row.lines);
    if (row.absent != nullptr) {
      EXPECT_FALSE(logged(row.absent));
    }
    EXPECT_EQ(job().dialogStarted(), row.actor <= 1);
    StandInRun run = standInRun(dialog, row.launched ? kLaunchTimeout : std::chrono::seconds(0));
    ASSERT_EQ(run.ran, row.launched);
    if (!row.launched) continue;
    EXPECT_EQ(run.args, (Args{"7E2A9F04B13D", "42", "Office Suite", "2.1", "Word and more", "param text",
                              "1", std::to_string(row.actor), "4321"}));
    EXPECT_EQ(run.cwd, host(module));
  }
}

TEST_F(NGenDistExecTest, SoftwareStatusComesFromCvswAndTheRegistry) {
  use();
  const std::string library = host(moduleFolder() + "\\cvsw.dll");
  if (!fs::exists(library)) GTEST_SKIP() << "cvsw.dll is not in the stage";
  // The broken libraries first: once the real one has read the registry, this thread keeps it
  // loaded under its path.
  const std::string real = library + ".real";
  fs::rename(library, real);
  uint32_t flags = 7;
  EXPECT_EQ(m_job->SwGiveStatusFlag(77, flags), 0);
  EXPECT_TRUE(logged("NGenDist::SwGiveStatusFlag: cvsw.dll Load Fail\n"));
  fs::copy_file(CVDT_PARTIAL_COMPANION, library);
  EXPECT_EQ(m_job->SwGiveStatusFlag(77, flags), 0);
  EXPECT_TRUE(logged("NGenDist::SwGiveStatusFlag: cvfSwGiveStatusFlag GetProcAddress Fail\n"));
  EXPECT_EQ(flags, 7u);
  fs::remove(library);
  fs::rename(real, library);

  EXPECT_EQ(m_job->SwGiveStatusFlag(77, flags), 1);  // no status key yet
  EXPECT_EQ(flags, 0u);
  plat::RegKey key;
  ASSERT_EQ(plat::RegKey::create(plat::RegRoot::LocalMachine, "SOFTWARE\\Plumbex\\Corvane\\SoftwareStatus",
                                 plat::kKeyAllAccess | plat::kKeyWow64_32Key, key), 0u);
  const uint32_t installed = 0x2000010;
  const uint32_t newer = 0x2000020;
  key.setValue("77", plat::kRegDword, &installed, 4);
  plat::RegKey native;  // where a 64-bit installer writes
  ASSERT_EQ(plat::RegKey::create(plat::RegRoot::LocalMachine, "SOFTWARE\\Plumbex\\Corvane\\SoftwareStatus",
                                 plat::kKeyAllAccess | plat::kKeyWow64_64Key, native), 0u);
  native.setValue("77", plat::kRegDword, &newer, 4);
  EXPECT_EQ(m_job->SwGiveStatusFlag(77, flags), 1);
  EXPECT_EQ(flags, installed);
}

}  // namespace
