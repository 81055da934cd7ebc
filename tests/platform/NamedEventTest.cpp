// Named events: reset modes, time-outs, one wake per auto-reset signal, signals between
// processes, and the event's end with its last handle.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/PlatformNamedEvent.h"
#include "platform/PlatformSync.h"
#include "platform/WinError.h"
#include "platform/posix/KernelObjectName.h"
#include "support/ForkedChild.h"
#include "support/TestMachine.h"

namespace {

using cvdt::test::TestMachine;
using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
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
  EXPECT_GE(msSince(start), 150);

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
    auto deadline = Clock::now() + std::chrono::seconds(10);
    while (woken < i + 1 && Clock::now() < deadline) std::this_thread::yield();
  }
  done = true;
  work.set();  // releases the last waiter
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(passed, 4);
  EXPECT_EQ(woken, 3);
}

TEST(NamedEventTest, ProcessesSignalEachOther) {
  TestMachine machine;
  plat::NamedEvent ping, pong;
  ASSERT_TRUE(ping.create("Global\\cvdt_ping", false, false));
  auto answer = [] {
    plat::NamedEvent childPing, childPong;
    if (!childPing.create("Global\\cvdt_ping", false, false) || !childPing.alreadyExisted()) return 1;
    if (!childPong.create("Global\\cvdt_pong", false, false)) return 2;
    for (int round = 0; round < 50; ++round) {
      if (!childPing.wait(10000)) return 3;
      childPong.set();
    }
    return 0;  // the handles close before the process ends, or the names would stay behind
  };
  cvdt::test::ForkedChild child(answer);
  ASSERT_TRUE(child.started());
  ASSERT_TRUE(pong.create("Global\\cvdt_pong", false, false));
  int answered = 0;
  for (int round = 0; round < 50; ++round) {
    ping.set();
    if (pong.wait(10000)) ++answered;
  }
  EXPECT_EQ(child.wait(), 0);
  EXPECT_EQ(answered, 50);
}

TEST(NamedEventTest, TheLastCloseEndsTheEvent) {
  TestMachine machine;
  std::filesystem::path object =
      "/dev/shm" + plat::posix::kernelObjectName(plat::posix::kObjectEvent, "Global\\cvdt_gone");
  {
    plat::NamedEvent first, second;
    ASSERT_TRUE(first.create("Global\\cvdt_gone", true, true));
    ASSERT_TRUE(second.create("Global\\cvdt_gone", true, false));
    EXPECT_TRUE(std::filesystem::exists(object));
    first.close();
    EXPECT_TRUE(second.wait(0));  // still the same, signalled event
  }
  EXPECT_FALSE(std::filesystem::exists(object));
  plat::NamedEvent fresh;
  ASSERT_TRUE(fresh.create("Global\\cvdt_gone", false, false));
  EXPECT_FALSE(fresh.alreadyExisted());
  EXPECT_FALSE(fresh.wait(0));
}

}  // namespace
