// Named events: reset modes, time-outs, one wake per auto-reset signal, signals between
// processes, the event's end with its last handle, and waiters that died waiting.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/PlatformNamedEvent.h"
#include "platform/WinError.h"
#include "platform/posix/KernelObjectName.h"
#include "support/ForkedChild.h"
#include "support/TestMachine.h"

namespace {

using cvdt::test::ForkedChild;
using cvdt::test::TestMachine;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::filesystem::path eventObject(const char* name) {
  return "/dev/shm" + plat::posix::kernelObjectName(plat::posix::kObjectEvent, name);
}

TEST(NamedEventTest, ResetModesInitialStateAndTimeOut) {
  TestMachine machine;
  plat::NamedEvent manual, automatic, closed;
  ASSERT_TRUE(manual.create("Global\\cvdt_manual", true, false));
  ASSERT_TRUE(automatic.create("Global\\cvdt_auto", false, true));
  EXPECT_FALSE(manual.alreadyExisted());

  EXPECT_TRUE(automatic.wait(0));
  EXPECT_FALSE(automatic.wait(0));  // consumed
  manual.set();
  EXPECT_TRUE(manual.wait(0));
  EXPECT_TRUE(manual.wait(0));  // stays set
  manual.reset();
  auto start = Clock::now();
  EXPECT_FALSE(manual.wait(150));
  EXPECT_GE(Clock::now() - start, 150ms);

  // Opening an existing event keeps its mode and state.
  plat::NamedEvent opened;
  ASSERT_TRUE(opened.create("Global\\cvdt_auto", true, true));
  EXPECT_TRUE(opened.alreadyExisted());
  EXPECT_EQ(plat::lastError(), plat::kErrorAlreadyExists);
  EXPECT_FALSE(opened.wait(0));
  opened.set();
  EXPECT_TRUE(automatic.wait(0));
  EXPECT_FALSE(opened.wait(0));

  EXPECT_FALSE(closed.wait(1000));  // no handle: fails at once
  EXPECT_EQ(plat::lastError(), plat::kErrorInvalidHandle);
  EXPECT_FALSE(closed.set());
}

TEST(NamedEventTest, EachAutoResetSignalWakesExactlyOneWaiter) {
  TestMachine machine;
  plat::NamedEvent work, gate;
  ASSERT_TRUE(work.create("Global\\cvdt_work", false, false));
  ASSERT_TRUE(gate.create("Global\\cvdt_gate", true, false));
  std::atomic<int> woken{0}, passed{0};
  std::atomic<bool> done{false};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&] {
      plat::NamedEvent myWork, myGate;  // every thread has its own handles
      myWork.create("Global\\cvdt_work", false, false);
      myGate.create("Global\\cvdt_gate", true, false);
      if (myGate.wait(10000)) ++passed;
      if (myWork.wait(10000) && !done) ++woken;
    });
  }
  gate.set();  // manual reset: lets every thread through
  for (int i = 0; i < 3; ++i) {
    work.set();
    for (auto end = Clock::now() + 10s; woken < i + 1 && Clock::now() < end;) std::this_thread::yield();
  }
  done = true;
  work.set();  // releases the last waiter
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(passed, 4);
  EXPECT_EQ(woken, 3);
}

TEST(NamedEventTest, ProcessesSignalEachOtherAndTheLastCloseEndsTheEvent) {
  TestMachine machine;
  plat::NamedEvent ping, pong;
  ASSERT_TRUE(ping.create("Global\\cvdt_ping", false, false));
  ForkedChild child([] {
    plat::NamedEvent childPing, childPong;
    if (!childPing.create("Global\\cvdt_ping", false, false) || !childPing.alreadyExisted()) return 1;
    if (!childPong.create("Global\\cvdt_pong", false, false)) return 2;
    for (int round = 0; round < 50; ++round) {
      if (!childPing.wait(10000)) return 3;
      childPong.set();
    }
    return 0;  // the handles close before the process ends, or the names would stay behind
  });
  ASSERT_TRUE(child.started());
  ASSERT_TRUE(pong.create("Global\\cvdt_pong", false, false));
  int answered = 0;
  for (int round = 0; round < 50; ++round) {
    ping.set();
    if (pong.wait(10000)) ++answered;
  }
  EXPECT_EQ(child.wait(), 0);
  EXPECT_EQ(answered, 50);

  {
    plat::NamedEvent first, second;
    ASSERT_TRUE(first.create("Global\\cvdt_gone", true, true));
    ASSERT_TRUE(second.create("Global\\cvdt_gone", true, false));
    EXPECT_TRUE(std::filesystem::exists(eventObject("Global\\cvdt_gone")));
    first.close();
    EXPECT_TRUE(second.wait(0));  // still the same, signalled event
  }
  EXPECT_FALSE(std::filesystem::exists(eventObject("Global\\cvdt_gone")));
  plat::NamedEvent fresh;
  ASSERT_TRUE(fresh.create("Global\\cvdt_gone", false, false));
  EXPECT_FALSE(fresh.alreadyExisted());
  EXPECT_FALSE(fresh.wait(0));
}

// True once the process sits in a futex wait (the first field of /proc/PID/syscall is the
// number of the system call it is blocked in); false at the deadline.
bool blockedInFutex(pid_t pid) {
  const std::string futex = std::to_string(SYS_futex) + " ";
  for (auto end = Clock::now() + 10s; Clock::now() < end; std::this_thread::sleep_for(5ms)) {
    std::string call;
    std::getline(std::ifstream("/proc/" + std::to_string(pid) + "/syscall"), call);
    if (call.rfind(futex, 0) == 0) return true;
  }
  return false;
}

// A host killed while its reporting component waits for results: later sets and waits must
// neither block nor lose a signal.
TEST(NamedEventTest, AWaiterThatDiedBlocksNoLaterSetOrWait) {
  constexpr const char* kName = "Global\\cvdt_dead_waiter";
  TestMachine machine;
  plat::NamedEvent event;
  ASSERT_TRUE(event.create(kName, false, false));
  ForkedChild waiter([] {
    plat::NamedEvent mine;
    mine.create(kName, false, false);
    mine.wait(60000);
    return 0;
  });
  ASSERT_TRUE(blockedInFutex(waiter.pid()));
  kill(waiter.pid(), SIGKILL);
  EXPECT_EQ(waiter.wait(), -1);

  // Afterwards one thread waits in short timed waits, another sets the event each time the
  // last set was taken. The pair runs in a child with an alarm, so a set or a wait that blocks
  // fails the test instead of hanging it.
  int pair = cvdt::test::exitCodeInChild([] {
    alarm(30);
    std::atomic<int> taken{0};
    std::thread collector([&] {
      plat::NamedEvent mine;
      mine.create(kName, false, false);
      for (auto end = Clock::now() + 10s; taken < 20 && Clock::now() < end;)
        if (mine.wait(100)) ++taken;
    });
    plat::NamedEvent mine;
    mine.create(kName, false, false);
    for (int round = 0; round < 20; ++round) {
      mine.set();
      for (auto end = Clock::now() + 10s; taken <= round && Clock::now() < end;) std::this_thread::yield();
    }
    collector.join();
    return taken == 20 ? 0 : 1;
  });
  EXPECT_EQ(pair, 0) << "a set or a wait blocked after a waiter died";
  // The dead waiter never closed its handle, so the object would outlive every other one.
  event.close();
  std::filesystem::remove(eventObject(kName));
}

}  // namespace
