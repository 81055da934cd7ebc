// The win32 backend's events, threads, named events and named shared memory on kernel objects.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/PlatformNamedEvent.h"
#include "platform/PlatformSharedMemory.h"
#include "platform/PlatformSync.h"
#include "platform/PlatformSystem.h"
#include "platform/WinError.h"
#include "win32/Win32Scratch.h"

namespace {

using namespace plat;

std::string globalName(const char* purpose) {
  return "Global\\" + cvdt::win32test::uniqueKeyName(purpose);
}

TEST(Win32KernelObjectsTest, EventsAndWaitForAny) {
  Event automatic(false), manual(true);
  Event* both[] = {&automatic, &manual};
  EXPECT_EQ(waitForAny(both, 10), kWaitTimeout);
  automatic.set();
  EXPECT_TRUE(automatic.isSet());  // a look does not take the signal
  EXPECT_EQ(waitForAny(both, 0), 0);
  EXPECT_FALSE(automatic.isSet());  // the wait did
  manual.set();
  EXPECT_EQ(waitForAny(both, 0), 1);
  EXPECT_EQ(waitForAny(both, 0), 1);  // manual reset stays set
  manual.reset();
  EXPECT_FALSE(manual.wait(0));
}

TEST(Win32KernelObjectsTest, ThreadEndIsAnEventAndThreadsRestart) {
  Thread thread;
  Event release(true);
  std::atomic<int> runs{0};
  ASSERT_TRUE(thread.start([&] {
    release.wait(kInfinite);
    ++runs;
  }));
  EXPECT_TRUE(thread.isRunning());
  EXPECT_FALSE(thread.start([] {}));  // one at a time
  EXPECT_FALSE(thread.wait(20));
  release.set();
  ASSERT_TRUE(thread.wait(10000));
  EXPECT_TRUE(thread.endedEvent().isSet());
  ASSERT_TRUE(thread.start([&] { ++runs; }));
  ASSERT_TRUE(thread.wait(10000));
  EXPECT_EQ(runs.load(), 2);
}

TEST(Win32KernelObjectsTest, NamedEventsAreSharedByName) {
  std::string name = globalName("event");
  NamedEvent first, second;
  ASSERT_TRUE(first.create(name, false, false));
  EXPECT_FALSE(first.alreadyExisted());
  ASSERT_TRUE(second.create(name, true, true));  // opens: the flags are the first one's
  EXPECT_TRUE(second.alreadyExisted());
  EXPECT_FALSE(second.wait(0));
  first.set();
  EXPECT_TRUE(second.wait(1000));
  EXPECT_FALSE(first.wait(0));  // auto reset: taken once
  second.close();
  EXPECT_FALSE(second.wait(0));
  EXPECT_EQ(lastError(), kErrorInvalidHandle);
}

TEST(Win32KernelObjectsTest, SharedMemoryIsSharedByName) {
  std::string name = globalName("mapping");
  SharedMemory owner, user;
  EXPECT_FALSE(user.open(name));
  ASSERT_TRUE(owner.create(name, 5000));
  EXPECT_FALSE(owner.alreadyExisted());
  EXPECT_EQ(owner.size(), 5000u);
  auto* words = static_cast<uint32_t*>(owner.map());
  ASSERT_NE(words, nullptr);
  EXPECT_EQ(owner.map(), words);
  interlockedWrite(&words[10], 41);
  ASSERT_TRUE(user.open(name));
  EXPECT_GE(user.size(), 5000u);
  auto* seen = static_cast<uint32_t*>(user.map());
  ASSERT_NE(seen, nullptr);
  EXPECT_EQ(interlockedCompareExchange(&seen[10], 42, 41), 41u);
  EXPECT_EQ(interlockedRead(&words[10]), 42u);
  SharedMemory again;
  ASSERT_TRUE(again.create(name, 100));
  EXPECT_TRUE(again.alreadyExisted());
  EXPECT_GE(again.size(), 5000u);
  EXPECT_FALSE(SharedMemory().create(globalName("empty"), 0));
}

}  // namespace
