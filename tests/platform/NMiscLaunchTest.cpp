// The launch variants with real processes: this test program re-runs itself as the child,
// records what it sees (arguments, uid, folder, environment) and exits with the code it is given.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/NMisc.h"
#include "platform/PlatformFs.h"
#include "platform/PlatformProcess.h"
#include "platform/WindowsCommandLine.h"
#include "support/ConsoleUser.h"
#include "support/TestMachine.h"

using ::testing::HasSubstr;

namespace {

namespace fs = std::filesystem;
using cvdt::test::testConsoleUser;
using cvdt::test::TestMachine;

constexpr const char* kChildFlag = "--cvdt-child";

std::vector<std::string> ownCommandLine() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::vector<std::string> args;
  std::string arg;
  while (std::getline(in, arg, '\0')) args.push_back(arg);
  return args;
}

std::string variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "-";
}

// Child mode: argv = program, --cvdt-child, report file, exit code, payload arguments.
struct ChildMode {
  ChildMode() {
    std::vector<std::string> args = ownCommandLine();
    if (args.size() < 4 || args[1] != kChildFlag) return;
    std::ofstream report(args[2] + ".tmp");
    report << "uid=" << getuid() << "\ncwd=" << fs::current_path().string()
           << "\nshow=" << variable("CVDT_SHOW_WINDOW") << "\nsession=" << variable("CVDT_SESSION")
           << "\nmarker=" << variable("CVDT_TEST_MARKER") << "\nhome=" << variable("HOME") << "\n";
    for (size_t i = 4; i < args.size(); ++i) report << "arg=" << args[i] << "\n";
    report.close();
    fs::rename(args[2] + ".tmp", args[2]);
    plat::exitProcess(static_cast<uint32_t>(std::stoul(args[3])));
  }
} g_childMode;

uid_t uidOf(const std::string& user) { return getpwnam(user.c_str())->pw_uid; }

class NMiscLaunchTest : public testing::Test {
 protected:
  void SetUp() override {
    m_reports = cvdt::test::makeTempFolder("cvdt-launch");
    fs::permissions(m_reports, fs::perms::all);  // the console user writes its reports here
  }
  void TearDown() override { fs::remove_all(m_reports); }

  // A command line that runs this program as a child reporting into name.
  std::string childCommand(const std::string& name, uint32_t exitCode,
                           const std::vector<std::string>& payload = {}) {
    std::string line = plat::quoteArgument(plat::toWindowsPath(fs::read_symlink("/proc/self/exe"))) +
                       " " + kChildFlag + " " + plat::quoteArgument(report(name)) + " " +
                       std::to_string(exitCode);
    for (const std::string& arg : payload) line += " " + plat::quoteArgument(arg);
    return line;
  }
  std::string report(const std::string& name) const { return m_reports + "/" + name; }
  // The child's report, waiting for it to appear (no-wait launches).
  std::string readReport(const std::string& name) const {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!fs::exists(report(name)) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::ifstream in(report(name));
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
  }

  std::string m_reports;
};

TEST_F(NMiscLaunchTest, OwnSessionLaunchesCarryArgumentsFoldersAndExitCodes) {
  TestMachine machine;
  std::vector<std::string> payload = {"two words", R"(say "hi")", R"(C:\Program Files\)", ""};
  EXPECT_EQ(NMisc::createProcessWait(childCommand("a", 0, payload).c_str(), "C:\\Temp", 1), 0);
  std::string seen = readReport("a");
  EXPECT_THAT(seen, HasSubstr("cwd=" + machine.host("C:\\Temp") + "\n"));
  EXPECT_THAT(seen, HasSubstr("show=0\n"));
  EXPECT_THAT(seen, HasSubstr("arg=two words\narg=say \"hi\"\narg=C:\\Program Files\\\narg=\n"));

  EXPECT_EQ(NMisc::createProcessWait(childCommand("b", 5).c_str(), nullptr, 0), 5);
  EXPECT_THAT(readReport("b"), HasSubstr("show=-\n"));  // visible: no show flag
  EXPECT_EQ(NMisc::createProcessNoWait(childCommand("d", 0).c_str(), nullptr), 1);
  EXPECT_THAT(readReport("d"), HasSubstr("uid="));

  EXPECT_EQ(NMisc::createProcessWait("C:\\Missing\\prog.exe", nullptr, 0), -1);
  EXPECT_EQ(NMisc::createProcessNoWait("C:\\Missing\\prog.exe", nullptr), 0);
  EXPECT_EQ(NMisc::createProcessWait(childCommand("e", 0).c_str(), "C:\\No\\Such\\Folder", 0), -1);
  EXPECT_FALSE(fs::exists(report("e")));
}

// Out of descriptors between the launch's two pipes: the launch fails and the first pipe is
// closed again (an agent that runs for months must not keep one per failed launch).
TEST_F(NMiscLaunchTest, LaunchOutOfDescriptorsFailsWithoutKeepingAny) {
  TestMachine machine;
  auto openCount = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), {}); };
  std::vector<int> free;  // the three lowest free descriptor numbers
  for (int fd = 0; free.size() < 3; ++fd)
    if (fcntl(fd, F_GETFD) == -1) free.push_back(fd);
  std::string command = childCommand("g", 0);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  auto before = openCount();
  rlimit tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(free[2]);  // room for the first pipe only
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
  int result = NMisc::createProcessWait(command.c_str(), nullptr, 0);
  setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(openCount(), before);
  EXPECT_FALSE(fs::exists(report("g")));
}

TEST_F(NMiscLaunchTest, UnquotedProgramPathsWithBlanksAreFoundAsWindowsFindsThem) {
  TestMachine machine;
  fs::create_directories(machine.host("C:\\Program Files\\Child App"));
  fs::create_symlink(fs::read_symlink("/proc/self/exe"),
                     machine.host("C:\\Program Files\\Child App") + "/child.exe");
  std::string line = "C:\\Program Files\\Child App\\child " + std::string(kChildFlag) + " " +
                     plat::quoteArgument(report("f")) + " 7 tail";
  EXPECT_EQ(NMisc::createProcessWait(line.c_str(), nullptr, 0), 7);
  EXPECT_THAT(readReport("f"), HasSubstr("arg=tail\n"));
}

TEST_F(NMiscLaunchTest, UserTokenLaunchesRunAsTheConsoleUserWithAFreshEnvironment) {
  const std::string user = testConsoleUser();
  TestMachine machine([&](auto& config, auto&) { config.consoleUser = user; });
  setenv("CVDT_TEST_MARKER", "inherited", 1);
  EXPECT_EQ(NMisc::createProcessAsActiveUserWait(childCommand("u", 5).c_str(), nullptr), 5);
  EXPECT_EQ(NMisc::createProcessAsSessionUserWait(1, childCommand("v", 0).c_str(), nullptr), 0);
  EXPECT_EQ(NMisc::createProcessAsActiveUser(childCommand("w", 0).c_str(), nullptr, 1), 1);
  int step = -1, error = -1;
  EXPECT_EQ(NMisc::createProcessAsLoginUserWaitEx(1, childCommand("x", 0).c_str(), nullptr, &step, &error), 1);
  EXPECT_EQ(step, 0);
  unsetenv("CVDT_TEST_MARKER");
  for (const char* name : {"u", "v", "w", "x"}) {
    std::string seen = readReport(name);
    EXPECT_THAT(seen, HasSubstr("uid=" + std::to_string(uidOf(user)) + "\n"));
    EXPECT_THAT(seen, HasSubstr("marker=-\n")) << name;  // nothing inherited
    EXPECT_THAT(seen, HasSubstr("home=" + std::string(getpwnam(user.c_str())->pw_dir) + "\n"));
  }
  EXPECT_THAT(readReport("w"), HasSubstr("show=0\n"));
}

TEST_F(NMiscLaunchTest, OwnTokenMovedIntoASession) {
  TestMachine machine;
  EXPECT_EQ(NMisc::createProcessInSessionWait(1, childCommand("s", 3010).c_str(), nullptr, 0), 3010);
  std::string seen = readReport("s");
  EXPECT_THAT(seen, HasSubstr("uid=" + std::to_string(getuid()) + "\n"));
  EXPECT_THAT(seen, HasSubstr("session=1\n"));
  int step = -1, error = -1;
  EXPECT_EQ(NMisc::createProcessInSessionEx(0, childCommand("m", 0).c_str(), nullptr, 0, &step, &error), 1);
  EXPECT_EQ(step, 0);
  EXPECT_THAT(readReport("m"), HasSubstr("session=0\n"));
  EXPECT_EQ(NMisc::createProcessInSessionEx(0, "C:\\Missing.exe", nullptr, 0, &step, &error), 0);
  EXPECT_EQ(step, 6);
  EXPECT_EQ(error, 2);
}

TEST_F(NMiscLaunchTest, SessionsWithoutATokenFailAndMinusOneIsNeverZero) {
  {
    TestMachine machine([](auto& config, auto&) { config.consoleUser.clear(); });
    EXPECT_EQ(NMisc::createProcessInSessionWait(plat::kNoSession, childCommand("n", 0).c_str(),
                                                nullptr, 0),
              -1);
    EXPECT_EQ(NMisc::createProcessAsActiveUser(childCommand("n", 0).c_str(), nullptr, 0), 0);
    int step = -1, error = -1;
    EXPECT_EQ(NMisc::createProcessAsLoginUserWaitEx(1, childCommand("n", 0).c_str(), nullptr, &step, &error), 0);
    EXPECT_EQ(step, 2);
    EXPECT_EQ(error, 1008);
    EXPECT_EQ(NMisc::createProcessInSessionEx(plat::kNoSession, "x", nullptr, 0, &step, &error), 0);
    EXPECT_EQ(step, 1);
    EXPECT_EQ(NMisc::createProcessInSessionEx(7, "x", nullptr, 0, &step, &error), 0);
    EXPECT_EQ(step, 3);
    EXPECT_THAT(machine.traceLog(), HasSubstr("Err <1>: 1008\n"));
  }
  {
    TestMachine machine([](auto& config, auto&) { config.consoleSession = -1; });
    EXPECT_EQ(NMisc::getActiveConsoleSessionId(), plat::kNoSession);
    EXPECT_EQ(NMisc::createProcessInActiveSession(childCommand("n", 0).c_str(), nullptr, 0), 0);
  }
  EXPECT_FALSE(fs::exists(report("n")));
}

}  // namespace
