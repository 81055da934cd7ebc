// NProcess over the real process list: lookups by image file name, counts, image paths.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "detect/NProcess.h"
#include "platform/PlatformFs.h"
#include "support/TestMachine.h"

namespace {

using cvdt::test::TestMachine;
namespace fs = std::filesystem;

// A child running a copy of sleep installed in the machine under a Windows name.
class Child {
 public:
  // otherMachine: the child runs under that machine root instead of the test's.
  explicit Child(const std::string& hostImage, const char* otherMachine = nullptr) {
    std::string variable = std::string("CVDT_MACHINE=") + (otherMachine ? otherMachine : "");
    m_pid = fork();
    if (m_pid == 0) {
      if (otherMachine != nullptr) {
        char* env[] = {variable.data(), nullptr};
        execle(hostImage.c_str(), hostImage.c_str(), "30", static_cast<char*>(nullptr), env);
      }
      execl(hostImage.c_str(), hostImage.c_str(), "30", static_cast<char*>(nullptr));
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

// True once the process's environment block is laid out. The kernel switches the image link
// before it copies the new program's arguments and environment, and in between the environment
// reads empty, so the process is not yet known to belong to any machine.
bool environmentLaidOut(pid_t pid) {
  std::ifstream environ("/proc/" + std::to_string(pid) + "/environ", std::ios::binary);
  return environ.get() != std::char_traits<char>::eof();
}

// Waits until the child has replaced its image and its environment (the snapshot would see the
// test program before, or a process of no machine).
void waitForImage(pid_t pid, const std::string& hostImage) {
  for (int i = 0; i < 5000; ++i) {
    std::error_code ec;
    if (fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec) == hostImage &&
        environmentLaidOut(pid))
      return;
    usleep(1000);
  }
  FAIL() << "child never ran " << hostImage;
}

TEST(NProcessTest, FindsAndCountsByImageFileNameIgnoringCase) {
  TestMachine machine;
  std::string image = machine.host("C:\\Tools\\App.EXE");
  fs::create_directories(fs::path(image).parent_path());
  fs::copy_file("/bin/sleep", image);
  Child first(image), second(image);
  waitForImage(first.pid(), image);
  waitForImage(second.pid(), image);

  NProcess processes;
  ASSERT_TRUE(processes.snapshot());
  EXPECT_EQ(processes.count("app.exe"), 2);
  EXPECT_EQ(processes.find("APP.EXE"), static_cast<uint32_t>(std::min(first.pid(), second.pid())));
  EXPECT_EQ(processes.find("C:\\Tools\\App.EXE"), 0u);  // only the name after the backslash counts
  EXPECT_EQ(processes.count("no-such-image.exe"), 0);
  EXPECT_STREQ(processes.imagePath(first.pid()).text(), "C:\\Tools\\App.EXE");
  EXPECT_STREQ(processes.imagePath(0x7FFFFFF0).text(), "");

  bool listedWithPath = false;
  for (int i = 0; i < processes.getCount(); ++i)
    listedWithPath |= processes.imageAt(i) == "C:\\Tools\\App.EXE";
  EXPECT_TRUE(listedWithPath);
  processes.clear();
  EXPECT_EQ(processes.find("app.exe"), 0u);
}

TEST(NProcessTest, BeforeWindows2000OnlyBareNamesAreListed) {
  TestMachine machine([](auto& config, auto&) {
    config.version.major = 4;
    config.version.minor = 0;
  });
  NProcess processes;
  ASSERT_TRUE(processes.snapshot());
  ASSERT_GT(processes.getCount(), 0);
  for (int i = 0; i < processes.getCount(); ++i)
    EXPECT_EQ(processes.imageAt(i).findChar('\\'), -1) << processes.imageAt(i).text();
}

}  // namespace

namespace {

TEST(NProcessTest, ListsOnlyTheProcessesOfItsOwnMachine) {
  TestMachine other;
  TestMachine machine;  // the current machine is the one made last
  // host() maps through the current machine, so the other machine's path is taken by hand.
  std::string image = other.root() + "/drives/c/Tools/Other.exe";
  fs::create_directories(fs::path(image).parent_path());
  fs::copy_file("/bin/sleep", image);
  std::string ownImage = machine.host("C:\\Tools\\Other.exe");
  fs::create_directories(fs::path(ownImage).parent_path());
  fs::copy_file("/bin/sleep", ownImage);
  Child foreign(image, other.root().c_str());
  Child own(ownImage);
  waitForImage(foreign.pid(), image);
  waitForImage(own.pid(), ownImage);

  NProcess processes;
  ASSERT_TRUE(processes.snapshot());
  EXPECT_EQ(processes.count("other.exe"), 1);
  EXPECT_EQ(processes.find("other.exe"), static_cast<uint32_t>(own.pid()));
}

}  // namespace
