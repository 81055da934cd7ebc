// cvlgn.exe through NMisc::createProcessViaLogonProgram on a fresh machine: both caller forms
// run as the console user, the exit code comes back whole, the hide flag arrives, and the
// hand-over value is gone afterwards. This test program re-runs itself as the program to run.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/NMisc.h"
#include "platform/PlatformFs.h"
#include "platform/PlatformProcess.h"
#include "platform/PlatformRegistry.h"
#include "platform/WindowsCommandLine.h"
#include "support/ConsoleUser.h"
#include "support/Subprocess.h"
#include "support/TestMachine.h"

using ::testing::HasSubstr;

namespace {

namespace fs = std::filesystem;
using cvdt::test::ProcessResult;
using cvdt::test::Subprocess;
using cvdt::test::testConsoleUser;
using cvdt::test::TestMachine;

constexpr const char* kChildFlag = "--cvlgn-child";
constexpr const char* kHandoverKey = "SOFTWARE\\Plumbex\\Corvane\\LGN";

std::vector<std::string> ownArguments() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::vector<std::string> args;
  for (std::string arg; std::getline(in, arg, '\0');) args.push_back(arg);
  return args;
}

// Child mode: program, flag, report file, exit code, payload. Records what it sees and exits.
struct ChildMode {
  ChildMode() {
    std::vector<std::string> args = ownArguments();
    if (args.size() < 4 || args[1] != kChildFlag) return;
    const char* show = std::getenv("CVDT_SHOW_WINDOW");
    std::ofstream report(args[2] + ".tmp");
    report << "uid=" << getuid() << "\ncwd=" << fs::current_path().string()
           << "\nshow=" << (show ? show : "-") << "\n";
    for (size_t i = 4; i < args.size(); ++i) report << "arg=" << args[i] << "\n";
    report.close();
    fs::rename(args[2] + ".tmp", args[2]);
    plat::exitProcess(static_cast<uint32_t>(std::stoul(args[3])));
  }
} g_childMode;

// Logon-program mode: the test program installed as cvlgn.exe. It records the type and size of
// the hand-over value named on its command line into the file that the value's first text names.
struct HandOverMode {
  HandOverMode() {
    std::vector<std::string> args = ownArguments();
    if (args.size() != 2) return;
    std::string program = args[0].substr(args[0].find_last_of("/\\") + 1);
    if (program != "cvlgn.exe") return;
    plat::RegKey key;
    uint32_t type = 0;
    std::vector<uint8_t> data;
    if (plat::RegKey::open(plat::RegRoot::LocalMachine, kHandoverKey,
                           plat::kKeyRead | plat::kKeyWow64_32Key, key) != 0 ||
        key.queryValue(args[1], type, data) != 0)
      plat::exitProcess(1);
    std::string text(data.begin(), data.end());
    size_t first = text.find("|$") + 2;
    std::string report = text.substr(first, text.find("|$", first) - first);
    std::ofstream(report) << "type=" << type << " size=" << data.size() << " text=" << text.c_str();
    plat::exitProcess(0);
  }
} g_handOverMode;

std::string ownExecutable() { return plat::toWindowsPath(fs::read_symlink("/proc/self/exe")); }

struct LogonResult {
  int result = -1;
  int exitCode = -1;
  int step = -1;
};

class LogonProgramTest : public testing::Test {
 protected:
  LogonProgramTest()
      : m_machine([](auto& config, auto&) { config.consoleUser = testConsoleUser(); }) {
    m_reports = cvdt::test::makeTempFolder("cvdt-logon");
    fs::permissions(m_reports, fs::perms::all);  // the console user writes here
  }
  ~LogonProgramTest() override { fs::remove_all(m_reports); }

  LogonResult launch(const std::string& first, const std::string& second, int hide) {
    LogonResult out;
    int error = 0;
    out.result = NMisc::createProcessViaLogonProgram(1, kHandoverKey, first.c_str(), second.c_str(),
                                                     hide, &out.exitCode, &out.step, &error);
    EXPECT_EQ(valuesLeft(), 0) << "the hand-over value stayed behind";
    return out;
  }
  int valuesLeft() const {
    plat::RegKey key;
    if (plat::RegKey::open(plat::RegRoot::LocalMachine, kHandoverKey, plat::kKeyRead | plat::kKeyWow64_32Key, key) != 0)
      return 0;
    std::string name;
    int count = 0;
    while (key.enumValue(static_cast<uint32_t>(count), name) == 0) ++count;
    return count;
  }
  std::string childArguments(const std::string& name, uint32_t exitCode, const std::string& payload) const {
    return std::string(kChildFlag) + " " + plat::quoteArgument(report(name)) + " " + std::to_string(exitCode) +
           (payload.empty() ? "" : " " + payload);
  }
  std::string report(const std::string& name) const { return m_reports + "/" + name; }
  std::string seen(const std::string& name) const {
    std::ifstream in(report(name));
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
  }
  std::string expectedUid() const {
    return "uid=" + std::to_string(getpwnam(testConsoleUser().c_str())->pw_uid) + "\n";
  }

  TestMachine m_machine;
  std::string m_reports;
};

// The commanded form runs a command line in the target folder; the automatic form a program
// (its path unquoted, with blanks) with its arguments, hidden, in its own folder. Both run as
// the console user.
TEST_F(LogonProgramTest, BothFormsRunTheProgramInItsFolderAsTheConsoleUser) {
  m_machine.writeFile("C:\\Dist\\Job 1\\.keep", "");
  fs::create_directories(m_machine.host("C:\\Program Files\\Child App"));
  fs::create_symlink(fs::read_symlink("/proc/self/exe"), m_machine.host("C:\\Program Files\\Child App") + "/child.exe");
  struct Case {
    const char* name;
    std::string first, second;
    int hide;
    std::string folder, seen;
  } cases[] = {
      {"c", plat::quoteArgument(ownExecutable()) + " " + childArguments("c", 0, "\"two words\" x"),
       "C:\\Dist\\Job 1", 0, "C:\\Dist\\Job 1", "show=-\narg=two words\narg=x\n"},
      {"a", "C:\\Program Files\\Child App\\child.exe", childArguments("a", 0, "tail"), 1,
       "C:\\Program Files\\Child App", "show=0\narg=tail\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LogonResult result = launch(c.first, c.second, c.hide);
    EXPECT_EQ(result.result, 1);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.step, 0);
    std::string report = seen(c.name);
    EXPECT_THAT(report, HasSubstr(expectedUid()));
    EXPECT_THAT(report, HasSubstr("cwd=" + m_machine.host(c.folder) + "\n"));
    EXPECT_THAT(report, HasSubstr(c.seen));
  }
}

TEST_F(LogonProgramTest, AFailedProgramGivesStep9999AndItsWholeExitCode) {
  std::string program = plat::quoteArgument(ownExecutable());
  m_machine.writeFile("C:\\Dist\\Job\\.keep", "");
  LogonResult five = launch(program + " " + childArguments("f", 5, ""), "C:\\Dist\\Job", 1);
  EXPECT_EQ(five.result, 0);
  EXPECT_EQ(five.step, 9999);
  EXPECT_EQ(five.exitCode, 5);
  EXPECT_EQ(launch(ownExecutable(), childArguments("g", 3010, ""), 0).exitCode, 3010);
  LogonResult missing = launch("C:\\Dist\\Job\\missing.exe", "", 0);
  EXPECT_EQ(missing.result, 0);
  EXPECT_EQ(missing.step, 9999);
  EXPECT_EQ(missing.exitCode, 9104);  // the program could not be started
}

TEST_F(LogonProgramTest, BatchFilesRunThroughTheInterpreterInTheirOwnFolder) {
  std::string record = m_reports + "/batch";
  m_machine.writeFile("C:\\Dist\\Batch App\\run.bat",
                      "{ printf 'arg=%s\\n' \"$@\"; echo \"cwd=$(pwd)\"; echo \"uid=$(id -u)\"; } > '" + record + "'\nexit 3\n");
  std::string cmd = NMisc::getSystemFolder(0).text() + std::string("\\CMD.EXE");
  // Automatic distribution: the interpreter, then its arguments.
  LogonResult automatic = launch(cmd, "  /c \"C:\\Dist\\Batch App\\run.bat one\"", 1);
  EXPECT_EQ(automatic.exitCode, 3);
  EXPECT_EQ(automatic.step, 9999);
  std::string expected = "arg=one\ncwd=" + m_machine.host("C:\\Dist\\Batch App") + "\n" + expectedUid();
  EXPECT_EQ(seen("batch"), expected);
}

TEST_F(LogonProgramTest, MissingAndMalformedValuesEndWithAReason) {
  std::string cvlgn = m_machine.config().agentFolder + "\\cvlgn.exe";
  plat::RegKey key;
  ASSERT_EQ(plat::RegKey::create(plat::RegRoot::LocalMachine, kHandoverKey, plat::kKeyAllAccess | plat::kKeyWow64_32Key, key), 0u);
  auto text = [&](const char* name, const std::string& value) {
    key.setValue(name, plat::kRegSz, value.c_str(), value.size() + 1);
  };
  text("mode", "USER_RUN|$prog.exe|$");
  text("short", "USER_WAIT|$prog.exe");
  text("empty", "USER_WAIT_HIDE|$  |$C:\\Temp");
  uint32_t number = 1;
  key.setValue("number", plat::kRegDword, &number, sizeof number);
  struct Case {
    std::vector<std::string> arguments;
    int code;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {{}, 9101, "usage"},
      {{"absent"}, 9102, "cannot read the value \"absent\""},
      {{"number"}, 9102, "is not text"},
      {{"mode"}, 9103, "unknown mode \"USER_RUN\""},
      {{"short"}, 9103, "separated by"},
      {{"empty"}, 9103, "names no program"},
  };
  Subprocess program(m_machine.host(cvlgn));
  for (const Case& c : cases) {
    ProcessResult result = program.run(c.arguments);
    EXPECT_EQ(result.exitStatus, c.code & 0xFF) << c.reason;
    EXPECT_THAT(result.err, HasSubstr(c.reason));
  }
  // The whole code reaches a parent that starts it as the module does.
  EXPECT_EQ(NMisc::createProcessWait(("\"" + cvlgn + "\" absent").c_str(), nullptr, 0), 9102);
}

// The hand-over value is a string of the text's length, without a terminating zero.
TEST_F(LogonProgramTest, TheHandOverValueIsAStringWithoutItsTerminatingZero) {
  std::string cvlgn = m_machine.host(m_machine.config().agentFolder + "\\cvlgn.exe");
  fs::remove(cvlgn);
  fs::create_symlink(fs::read_symlink("/proc/self/exe"), cvlgn);
  std::string report = m_reports + "/handover";
  LogonResult result = launch(report, "second", 1);
  EXPECT_EQ(result.result, 1);
  std::string expected = "USER_WAIT_HIDE|$" + report + "|$second";
  EXPECT_EQ(seen("handover"), "type=1 size=" + std::to_string(expected.size()) + " text=" + expected);
}

}  // namespace
