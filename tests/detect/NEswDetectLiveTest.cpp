// Conditions on live facts: running processes, windows on a display, the host's addresses.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "DetectTestSupport.h"
#include "HostsNamespace.h"
#include "support/XServer.h"

namespace {

namespace fs = std::filesystem;
using cvdt::test::condition;
using cvdt::test::evaluateText;
using cvdt::test::onPath;
using cvdt::test::TestMachine;
using cvdt::test::XServer;
using Clock = std::chrono::steady_clock;

// A child process running a program; killed and reaped at the end.
class Child {
 public:
  explicit Child(const std::vector<std::string>& argv) {
    m_pid = fork();
    if (m_pid == 0) {
      std::vector<char*> args;
      for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
      args.push_back(nullptr);
      execvp(args[0], args.data());
      _exit(127);
    }
  }
  ~Child() {
    if (m_bReaped) return;
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
  }
  pid_t pid() const { return m_pid; }
  bool exited() {
    if (!m_bReaped) m_bReaped = waitpid(m_pid, nullptr, WNOHANG) == m_pid;
    return m_bReaped;
  }

 private:
  pid_t m_pid;
  bool m_bReaped = false;
};

// Waits until text evaluates to the expected value (the child has to start first).
bool becomes(const std::string& text, int expected) {
  for (auto end = Clock::now() + std::chrono::seconds(20); Clock::now() < end;) {
    if (evaluateText(text) == expected) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST(NEswDetectLiveTest, ProcessExistsByImageFileNameIgnoringCase) {
  TestMachine machine;
  std::string image = machine.host("C:\\Tools\\DetectMe.EXE");
  fs::create_directories(fs::path(image).parent_path());
  fs::copy_file("/bin/sleep", image);
  std::string lookup = condition("processExists", {{"processName", " detectme.exe "}});
  EXPECT_EQ(evaluateText(lookup), 0);
  Child child({image, "30"});
  EXPECT_TRUE(becomes(lookup, 1));
  EXPECT_EQ(evaluateText(condition("processExists", {{"processName", "C:\\Tools\\DetectMe.EXE"}})), 0);
  EXPECT_EQ(evaluateText(condition("processExists", {{"processName", "no-such-image.exe"}})), 0);
  EXPECT_EQ(evaluateText(condition("processExists", {{"processName", ""}})), -1);
}

// DISPLAY for the life of the object.
class DisplayVariable {
 public:
  explicit DisplayVariable(const char* value) {
    const char* old = std::getenv("DISPLAY");
    m_had = old != nullptr;
    if (m_had) m_old = old;
    if (value != nullptr) setenv("DISPLAY", value, 1);
    else unsetenv("DISPLAY");
  }
  ~DisplayVariable() {
    if (m_had) setenv("DISPLAY", m_old.c_str(), 1);
    else unsetenv("DISPLAY");
  }

 private:
  bool m_had = false;
  std::string m_old;
};

std::string window(const std::string& className, const std::string& title) {
  return condition("windowExists", {{"className", className}, {"windowTitle", title}});
}

TEST(NEswDetectLiveTest, WindowExistsLooksAtTheDisplaysTopLevelWindows) {
  TestMachine machine;
  {
    DisplayVariable none(nullptr);
    EXPECT_EQ(evaluateText(window("", "Anything")), 0);
    EXPECT_EQ(evaluateText(window("", "")), 0);
  }
  if (!onPath("Xvfb") || !onPath("xmessage"))
    GTEST_SKIP() << "needs Xvfb and xmessage (scripts/deps.sh installs them)";
  if (!onPath("xdpyinfo")) GTEST_SKIP() << "needs xdpyinfo (scripts/deps.sh installs x11-utils)";
  XServer server;
  ASSERT_TRUE(server.answers()) << "Xvfb on " << server.display() << " never took a client";
  DisplayVariable display(server.display().c_str());
  EXPECT_EQ(evaluateText(window("", "Setup Wizard")), 0);
  Child box({"xmessage", "-name", "setupwiz", "-title", "Setup Wizard", "hello"});
  ASSERT_TRUE(becomes(window("", "Setup Wizard"), 1)) << "xmessage exited: " << box.exited();
  EXPECT_EQ(evaluateText(window("", "setup wizard")), 1);       // titles ignore case
  EXPECT_EQ(evaluateText(window("Xmessage", "Setup Wizard")), 1);
  EXPECT_EQ(evaluateText(window("setupwiz", " Setup Wizard ")), 1);
  EXPECT_EQ(evaluateText(window("Xterm", "Setup Wizard")), 0);
  EXPECT_EQ(evaluateText(window("", "Setup")), 0);              // whole titles only
  EXPECT_EQ(evaluateText(window("Xmessage", "")), 0);           // an empty title is a title
}

std::string rangeResults() {
  std::string results;
  const char* bounds[][2] = {{"010.000.000.001", "010.000.000.255"},
                             {"10.0.0.1", "10.0.0.255"},
                             {"010.000.000.005", "010.000.000.005"},
                             {"010.000.000.006", "010.000.000.255"},
                             {"", "999"},
                             {" 010.000.000.000\n", "011"}};
  for (const auto& bound : bounds) {
    int r = evaluateText(condition("ipAddressRange", {{"fromIP", bound[0]}, {"toIP", bound[1]}}));
    results += std::to_string(r) + " ";
  }
  return results;
}

TEST(NEswDetectLiveTest, AddressRangeComparesZeroPaddedTexts) {
  auto answer = cvdt::test::inHostsNamespace("rangews", "10.0.0.5 rangews\n", rangeResults);
  if (!answer) GTEST_SKIP() << "no private mount and host-name namespace here";
  EXPECT_EQ(*answer, "1 0 1 0 1 1 ");
  answer = cvdt::test::inHostsNamespace("lonelyws", "127.0.0.1 localhost\n", rangeResults);
  ASSERT_TRUE(answer);
  EXPECT_EQ(*answer, "0 0 0 0 0 0 ");
}

}  // namespace
