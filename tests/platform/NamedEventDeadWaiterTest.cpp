// Named events after a process died waiting on one (a host killed while its reporting component
// waits for results): later sets and waits must neither block nor lose a signal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/PlatformNamedEvent.h"
#include "platform/posix/KernelObjectName.h"
#include "support/TestMachine.h"

namespace {

using namespace std::chrono_literals;
constexpr const char* kName = "Global\\cvdt_dead_waiter";

// True once the process sits in a futex wait (the first field of /proc/PID/syscall is the
// number of the system call it is blocked in); false at the deadline.
bool blockedInFutex(pid_t pid, std::chrono::milliseconds deadline) {
  auto end = std::chrono::steady_clock::now() + deadline;
  const std::string futex = std::to_string(SYS_futex) + " ";
  while (std::chrono::steady_clock::now() < end) {
    std::string call;
    std::getline(std::ifstream("/proc/" + std::to_string(pid) + "/syscall"), call);
    if (call.rfind(futex, 0) == 0) return true;
    std::this_thread::sleep_for(5ms);
  }
  return false;
}

// Waits up to the deadline for the child to exit; its exit code, or -1 after killing it.
int exitCodeWithin(pid_t pid, std::chrono::milliseconds deadline) {
  auto end = std::chrono::steady_clock::now() + deadline;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= end) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(10ms);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(NamedEventDeadWaiterTest, AWaiterThatDiedBlocksNoLaterSetOrWait) {
  cvdt::test::TestMachine machine;
  plat::NamedEvent event;
  ASSERT_TRUE(event.create(kName, false, false));
  pid_t waiter = fork();
  if (waiter == 0) {
    plat::NamedEvent mine;
    mine.create(kName, false, false);
    mine.wait(60000);
    _exit(0);
  }
  ASSERT_GT(waiter, 0);
  ASSERT_TRUE(blockedInFutex(waiter, 10s));
  kill(waiter, SIGKILL);
  ASSERT_EQ(waitpid(waiter, nullptr, 0), waiter);

  // Afterwards, as between a host's reporting component and the module: one thread waits in
  // short timed waits, another sets the event each time the last set was taken. The pair runs
  // in a child process, so a set that blocks fails the test instead of hanging it.
  pid_t pair = fork();
  if (pair == 0) {
    std::atomic<int> taken{0};
    std::thread collector([&] {
      plat::NamedEvent mine;
      mine.create(kName, false, false);
      auto end = std::chrono::steady_clock::now() + 10s;
      while (taken < 20 && std::chrono::steady_clock::now() < end)
        if (mine.wait(100)) ++taken;
    });
    plat::NamedEvent mine;
    mine.create(kName, false, false);
    for (int round = 0; round < 20; ++round) {
      mine.set();
      auto end = std::chrono::steady_clock::now() + 10s;
      while (taken <= round && std::chrono::steady_clock::now() < end) std::this_thread::yield();
    }
    collector.join();
    _exit(taken == 20 ? 0 : 1);
  }
  ASSERT_GT(pair, 0);
  EXPECT_EQ(exitCodeWithin(pair, 30s), 0) << "a set or a wait blocked after a waiter died";
  // The dead waiter never closed its handle, so the object would outlive every other one.
  event.close();
  std::filesystem::remove("/dev/shm" + plat::posix::kernelObjectName(plat::posix::kObjectEvent, kName));
}

}  // namespace
