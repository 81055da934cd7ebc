// crvmsg.exe: without a display it answers as a box closed without a choice and says so; the
// four message launchers bring the exact command line to it, as the right account in the right
// session on every Windows family (a recording stand-in takes its place for those).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>

#include "platform/NMisc.h"
#include "support/ConsoleUser.h"
#include "support/Subprocess.h"
#include "support/TestMachine.h"
#include "support/XServer.h"

using ::testing::HasSubstr;

namespace {

namespace fs = std::filesystem;
using cvdt::test::onPath;
using cvdt::test::ProcessResult;
using cvdt::test::Subprocess;
using cvdt::test::testConsoleUser;
using cvdt::test::TestMachine;
using cvdt::test::XServer;

constexpr int kYesNo = 266244;  // MB_TOPMOST | MB_SYSTEMMODAL | MB_YESNO
constexpr int kStop = 266256;   // MB_TOPMOST | MB_SYSTEMMODAL | MB_ICONHAND

std::string crvmsgOf(const TestMachine& machine) {
  return machine.host(machine.config().moduleFolder + "\\crvmsg.exe");
}

TEST(MessageProgramTest, WithoutADisplayItAnswersAsABoxClosedWithoutAChoice) {
  TestMachine machine;
  Subprocess crvmsg(crvmsgOf(machine));
  crvmsg.env("DISPLAY", std::nullopt).env("CVDT_SHOW_WINDOW", std::nullopt);
  const std::vector<std::pair<std::string, int>> styles = {
      {std::to_string(kYesNo), 7}, {std::to_string(kStop), 1}, {"0x41004", 7}, {"1", 2}, {"2", 3}};
  for (const auto& [style, answer] : styles) {
    ProcessResult result = crvmsg.run({"Install Office 2016?", "Software distribution", style});
    EXPECT_EQ(result.exitStatus, answer) << style;
    EXPECT_THAT(result.err, HasSubstr("no display"));
    EXPECT_THAT(result.err, HasSubstr("answering " + std::to_string(answer)));
  }
  ProcessResult hidden = Subprocess(crvmsgOf(machine))
                             .env("DISPLAY", ":0")
                             .env("CVDT_SHOW_WINDOW", "0")
                             .run({"a", "b", std::to_string(kYesNo)});
  EXPECT_EQ(hidden.exitStatus, 7);
  EXPECT_THAT(hidden.err, HasSubstr("started hidden"));
  // A display that nobody serves: the box cannot be shown, so it is closed too.
  ProcessResult unreachable = Subprocess(crvmsgOf(machine))
                                  .env("DISPLAY", "127.0.0.1:97")
                                  .env("CVDT_SHOW_WINDOW", std::nullopt)
                                  .run({"a", "b", std::to_string(kYesNo)});
  EXPECT_EQ(unreachable.exitStatus, 7);
  EXPECT_THAT(unreachable.err, HasSubstr("answering 7"));
  // Bad arguments fail as MessageBox fails: 0, never an answer.
  EXPECT_EQ(crvmsg.run({"a", "b", "yes"}).exitStatus, 0);
  EXPECT_EQ(crvmsg.run({"a", "b", "99999999999"}).exitStatus, 0);
  EXPECT_EQ(crvmsg.run({"a", "b"}).exitStatus, 0);
}

TEST(MessageProgramTest, OnADisplayTheBoxWaitsForTheUsersButton) {
  if (!onPath("Xvfb") || !onPath("xdotool") || !onPath("xmessage"))
    GTEST_SKIP() << "needs Xvfb, xdotool and xmessage (scripts/deps.sh installs them)";
  TestMachine machine;
  std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
  // Return presses the default button: Yes, or No with MB_DEFBUTTON2, or OK. Each box gets a
  // fresh server: input focus left over from the previous box can swallow the key.
  const std::vector<std::pair<int, int>> cases = {{kYesNo, 6}, {kYesNo | 0x100, 7}};
  for (const auto& [style, answer] : cases) {
    auto server = std::make_unique<XServer>();
    ASSERT_TRUE(server->answers()) << "Xvfb on " << server->display() << " never took a client";
    setenv("DISPLAY", server->display().c_str(), 1);  // inherited by both children below
    ProcessResult result;
    std::atomic<bool> answered = false;
    std::thread box([&] {
      result = Subprocess(crvmsgOf(machine))
                   .run({"Install Office 2016?", "Software distribution", std::to_string(style)});
      answered = true;
    });
    Subprocess("/usr/bin/timeout")
        .run({"20", "xdotool", "search", "--sync", "--name", "^Corvane$", "windowfocus", "--sync",
              "key", "Return"});
    for (int wait = 0; wait < 200 && !answered; ++wait)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(answered) << style << ": the box missed the key";
    server.reset();  // a box that missed the key loses its display and ends
    box.join();
    EXPECT_EQ(result.exitStatus, answer) << style << ": " << result.err;
  }
  if (display.empty()) unsetenv("DISPLAY");
  else setenv("DISPLAY", display.c_str(), 1);
}

// The stand-in records its account, session and arguments into the report folder, under the
// second word of its first text, and presses Yes.
void installStandIn(const TestMachine& machine, const std::string& reports) {
  std::string script = "#!/bin/sh\n"
                       "out='" + reports + "'/$(printf '%s' \"$1\" | cut -d' ' -f2)\n"
                       "{ printf 'uid=%s\\n' \"$(id -u)\"; printf 'session=%s\\n' \"${CVDT_SESSION:--}\";\n"
                       "  for a in \"$@\"; do printf 'arg=%s\\n' \"$a\"; done; } > \"$out.tmp\" && mv \"$out.tmp\" \"$out\"\n"
                       "exit 6\n";
  std::string path = crvmsgOf(machine);
  fs::remove(path);
  std::ofstream(path) << script;
  fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec);
}

std::string waitForReport(const std::string& path) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!fs::exists(path) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::ifstream in(path);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

struct Launcher {
  const char* name;
  std::function<int(plat::ModuleHandle, const char*, int)> launch;  // module, first text, wait
  bool asConsoleUser;  // on XP or later
  bool inConsoleSession;  // on XP or later
  bool sameBeforeXp;   // before XP it runs as the system launcher does
};

TEST(MessageProgramTest, EveryLauncherBringsTheExactCommandLineOnEveryWindowsFamily) {
  // The module's texts are in the Korean machine's code page, 949; the program reads UTF-8.
  const char* second = "Software distribution \xBC\xB3\xC4\xA1";
  const std::string secondUtf8 = "Software distribution \xEC\x84\xA4\xEC\xB9\x98";
  const std::vector<Launcher> launchers = {
      {"system", [&](auto m, auto t, int w) { return NMisc::showMessageAsSystem(m, t, second, kYesNo, w); }, false, false, false},
      {"active", [&](auto m, auto t, int w) { return NMisc::showMessageAsActiveUser(m, t, second, kYesNo, w); }, true, true, false},
      {"session", [&](auto m, auto t, int w) { return NMisc::showMessageInSession(1, m, t, second, kYesNo, w, "", ""); }, false, true, true},
      {"sessionuser", [&](auto m, auto t, int w) { return NMisc::showMessageAsSessionUser(1, m, t, second, kYesNo, w); }, true, true, true},
  };
  const std::vector<std::pair<int, int>> versions = {{5, 0}, {5, 1}, {10, 0}};
  const std::string user = testConsoleUser();
  const std::string ownUid = "uid=" + std::to_string(geteuid()) + "\n";
  const std::string userUid = "uid=" + std::to_string(getpwnam(user.c_str())->pw_uid) + "\n";
  std::string reports = cvdt::test::makeTempFolder("cvdt-crvmsg");
  fs::permissions(reports, fs::perms::all);
  int tag = 0;
  for (const auto& [major, minor] : versions) {
    TestMachine machine([&](auto& config, auto&) {
      config.version.major = static_cast<uint32_t>(major);
      config.version.minor = static_cast<uint32_t>(minor);
      config.consoleUser = user;
      config.language = 1042;
    });
    installStandIn(machine, reports);
    bool xp = major > 5 || minor >= 1;
    for (const Launcher& launcher : launchers) {
      for (int wait : {1, 0}) {
        std::string where = std::string(launcher.name) + (wait ? " waiting" : "") + " on " +
                            std::to_string(major) + "." + std::to_string(minor);
        std::string first = "Case " + std::to_string(++tag) + " install Office 2016?";
        EXPECT_EQ(launcher.launch(machine.moduleHandle(), first.c_str(), wait), wait ? 6 : 1) << where;
        std::string seen = waitForReport(reports + "/" + std::to_string(tag));
        bool system = !xp && launcher.sameBeforeXp;
        EXPECT_THAT(seen, HasSubstr(launcher.asConsoleUser && !system ? userUid : ownUid))
            << where << "\n"
            << seen;
        EXPECT_THAT(seen,
                    HasSubstr(launcher.inConsoleSession && !system ? "session=1\n" : "session=0\n"))
            << where << "\n"
            << seen;
        EXPECT_THAT(seen, HasSubstr("arg=" + first + "\narg=" + secondUtf8 + "\narg=266244\n"))
            << where << "\n"
            << seen;
      }
    }
  }
  fs::remove_all(reports);
}

}  // namespace
