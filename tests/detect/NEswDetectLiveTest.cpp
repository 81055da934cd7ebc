// Live facts: NProcess over the real process list and the processExists condition, windows on
// a display, and the host's addresses.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "DetectTestSupport.h"
#include "HostsNamespace.h"
#include "detect/NProcess.h"
#include "support/XServer.h"

namespace {

namespace fs = std::filesystem;
using cvdt::test::condition;
using cvdt::test::evaluateText;
using cvdt::test::onPath;
using cvdt::test::TestMachine;
using cvdt::test::XServer;
using Clock = std::chrono::steady_clock;

// A child process running a program (a path, or a name on PATH); killed and reaped at the end.
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
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
  }
  pid_t pid() const { return m_pid; }

 private:
  pid_t m_pid;
};

// Waits until the child has replaced its image and laid out its environment. The kernel
// switches the image link before it copies the new program's arguments and environment, and in
// between the environment reads empty, so the process belongs to no machine yet.
void waitForImage(pid_t pid, const std::string& hostImage) {
  const std::string proc = "/proc/" + std::to_string(pid);
  for (int i = 0; i < 5000; ++i) {
    std::error_code ec;
    std::ifstream environ(proc + "/environ", std::ios::binary);
    if (fs::read_symlink(proc + "/exe", ec) == hostImage &&
        environ.get() != std::char_traits<char>::eof())
      return;
    usleep(1000);
  }
  FAIL() << "child never ran " << hostImage;
}

// A copy of sleep installed in the machine under a Windows name; its host path.
std::string installSleep(const std::string& hostImage) {
  fs::create_directories(fs::path(hostImage).parent_path());
  fs::copy_file("/bin/sleep", hostImage);
  return hostImage;
}

TEST(NEswDetectLiveTest, ProcessesAreFoundAndCountedByImageFileNameIgnoringCase) {
  TestMachine machine;
  std::string image = installSleep(machine.host("C:\\Tools\\App.EXE"));
  auto exists = [](const std::string& name) {
    return evaluateText(condition("processExists", {{"processName", name}}));
  };
  EXPECT_EQ(exists(" app.exe "), 0);
  Child first({image, "30"}), second({image, "30"});
  waitForImage(first.pid(), image);
  waitForImage(second.pid(), image);

  NProcess processes;
  ASSERT_TRUE(processes.snapshot());
  EXPECT_EQ(processes.count("app.exe"), 2);
  EXPECT_EQ(processes.find("APP.EXE"), static_cast<uint32_t>(std::min(first.pid(), second.pid())));
  EXPECT_EQ(processes.find("C:\\Tools\\App.EXE"), 0u);  // only the name after the backslash counts
  EXPECT_STREQ(processes.imagePath(first.pid()).text(), "C:\\Tools\\App.EXE");
  EXPECT_STREQ(processes.imagePath(0x7FFFFFF0).text(), "");
  bool listedWithPath = false;
  for (int i = 0; i < processes.getCount(); ++i)
    listedWithPath |= processes.imageAt(i) == "C:\\Tools\\App.EXE";
  EXPECT_TRUE(listedWithPath);
  processes.clear();
  EXPECT_EQ(processes.find("app.exe"), 0u);

  EXPECT_EQ(exists(" app.exe "), 1);
  EXPECT_EQ(exists("C:\\Tools\\App.EXE"), 0);
  EXPECT_EQ(exists(""), -1);

  // Before Windows 2000 the list holds bare image names.
  TestMachine nt4([](auto& config, auto&) {
    config.version.major = 4;
    config.version.minor = 0;
  });
  ASSERT_TRUE(processes.snapshot());
  ASSERT_GT(processes.getCount(), 0);
  for (int i = 0; i < processes.getCount(); ++i)
    EXPECT_EQ(processes.imageAt(i).findChar('\\'), -1) << processes.imageAt(i).text();
}

// Waits until text evaluates to the expected value (the child has to start first).
bool becomes(const std::string& text, int expected) {
  for (auto end = Clock::now() + std::chrono::seconds(20); Clock::now() < end;) {
    if (evaluateText(text) == expected) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

std::string window(const std::string& className, const std::string& title) {
  return condition("windowExists", {{"className", className}, {"windowTitle", title}});
}

TEST(NEswDetectLiveTest, WindowExistsLooksAtTheDisplaysTopLevelWindows) {
  TestMachine machine;
  std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
  unsetenv("DISPLAY");
  EXPECT_EQ(evaluateText(window("", "Anything")), 0);
  if (!onPath("Xvfb") || !onPath("xmessage") || !onPath("xdpyinfo")) {
    if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
    GTEST_SKIP() << "needs Xvfb, xmessage and xdpyinfo (scripts/deps.sh installs them)";
  }
  XServer server;
  ASSERT_TRUE(server.answers()) << "Xvfb on " << server.display() << " never took a client";
  setenv("DISPLAY", server.display().c_str(), 1);
  EXPECT_EQ(evaluateText(window("", "Setup Wizard")), 0);
  {
    Child box({"xmessage", "-name", "setupwiz", "-title", "Setup Wizard", "hello"});
    EXPECT_TRUE(becomes(window("", "Setup Wizard"), 1));
    EXPECT_EQ(evaluateText(window("", "setup wizard")), 1);  // titles ignore case
    EXPECT_EQ(evaluateText(window("setupwiz", " Setup Wizard ")), 1);
    EXPECT_EQ(evaluateText(window("Xterm", "Setup Wizard")), 0);
    EXPECT_EQ(evaluateText(window("", "Setup")), 0);     // whole titles only
    EXPECT_EQ(evaluateText(window("Xmessage", "")), 0);  // an empty title is a title
  }
  if (display.empty()) unsetenv("DISPLAY");
  else setenv("DISPLAY", display.c_str(), 1);
}

std::string rangeResults() {
  std::string results;
  const char* bounds[][2] = {{"010.000.000.005", "010.000.000.005"},
                             {"10.0.0.1", "10.0.0.255"},
                             {"010.000.000.006", "010.000.000.255"},
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
  EXPECT_EQ(*answer, "1 0 0 1 ");
  answer = cvdt::test::inHostsNamespace("lonelyws", "127.0.0.1 localhost\n", rangeResults);
  ASSERT_TRUE(answer);
  EXPECT_EQ(*answer, "0 0 0 0 ");
}

}  // namespace
