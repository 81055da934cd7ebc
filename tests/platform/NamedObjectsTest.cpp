// Named kernel objects. Events: reset modes, time-outs, signals between processes, the event's end
// with its last handle, and waiters that died waiting. Shared memory: one object per name, reached
// from other processes, owned by its creator.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/PlatformNamedEvent.h"
#include "platform/PlatformSharedMemory.h"
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
}

TEST(NamedEventTest, ProcessesSignalEachOtherAndTheLastCloseEndsTheEvent) {
  TestMachine machine;
  plat::NamedEvent ping, pong;
  ASSERT_TRUE(ping.create("Global\\cvdt_ping", false, false));
  ForkedChild child([] {
    plat::NamedEvent childPing, childPong;
    if (!childPing.create("Global\\cvdt_ping", false, false) || !childPing.alreadyExisted())
      return 1;
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
      for (auto end = Clock::now() + 10s; taken <= round && Clock::now() < end;)
        std::this_thread::yield();
    }
    collector.join();
    return taken == 20 ? 0 : 1;
  });
  EXPECT_EQ(pair, 0) << "a set or a wait blocked after a waiter died";
  // The dead waiter never closed its handle, so the object would outlive every other one.
  event.close();
  std::filesystem::remove(eventObject(kName));
}

constexpr uint32_t kSize = 3 * 4096;

TEST(SharedMemoryTest, OneNameIsOneMemoryForEveryProcess) {
  TestMachine machine;
  plat::SharedMemory created;
  ASSERT_TRUE(created.create("Global\\Global\\cvdt_test_mem", kSize));
  EXPECT_FALSE(created.alreadyExisted());
  auto* bytes = static_cast<unsigned char*>(created.map());
  ASSERT_NE(bytes, nullptr);
  EXPECT_TRUE(std::all_of(bytes, bytes + kSize, [](unsigned char b) { return b == 0; }));
  std::memcpy(bytes, "parent", 7);
  auto* word = reinterpret_cast<uint32_t*>(bytes + 4096);
  EXPECT_EQ(plat::interlockedCompareExchange(word, 5, 1), 0u);  // no match: unchanged
  EXPECT_EQ(plat::interlockedCompareExchange(word, 5, 0), 0u);

  int child = cvdt::test::exitCodeInChild([] {
    plat::SharedMemory opened;
    // The doubled global prefix names the same object, as it does on Windows.
    if (!opened.open("Global\\cvdt_test_mem") || opened.size() != kSize) return 1;
    auto* view = static_cast<char*>(opened.map());
    if (view == nullptr || std::strcmp(view, "parent") != 0) return 2;
    std::memcpy(view + kSize - 6, "child", 6);
    return plat::interlockedExchange(reinterpret_cast<uint32_t*>(view + 4096), 9) == 5 ? 0 : 3;
  });
  EXPECT_EQ(child, 0);
  EXPECT_STREQ(reinterpret_cast<char*>(bytes) + kSize - 6, "child");
  EXPECT_EQ(plat::interlockedRead(word), 9u);

  plat::SharedMemory again;
  ASSERT_TRUE(again.create("Global\\cvdt_test_mem", 64));
  EXPECT_TRUE(again.alreadyExisted());
  EXPECT_EQ(plat::lastError(), plat::kErrorAlreadyExists);
  EXPECT_EQ(again.size(), kSize);  // the existing object keeps its size
}

TEST(SharedMemoryTest, TheCreatorsCloseRemovesTheNameButNotOtherViews) {
  TestMachine machine;
  plat::SharedMemory owner, user;
  ASSERT_TRUE(owner.create("Global\\cvdt_owned_mem", 4096));
  ASSERT_TRUE(user.open("Global\\cvdt_owned_mem"));
  auto* view = static_cast<char*>(user.map());
  ASSERT_NE(view, nullptr);
  std::memcpy(static_cast<char*>(owner.map()), "still here", 11);
  owner.close();

  plat::SharedMemory late;
  EXPECT_FALSE(late.open("Global\\cvdt_owned_mem"));
  EXPECT_STREQ(view, "still here");
}

TEST(SharedMemoryTest, NamesTooLongForTheHostAreRefused) {
  TestMachine machine;
  plat::SharedMemory tooLong;
  EXPECT_FALSE(tooLong.create(std::string(300, 'n'), 4096));
  EXPECT_EQ(plat::lastError(), plat::kErrorInvalidName);
}

}  // namespace
