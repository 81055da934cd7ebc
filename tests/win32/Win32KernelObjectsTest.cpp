// The win32 backend's named events and named shared memory on kernel objects (its events and
// threads are SyncTest's, which this program runs too).
#include <gtest/gtest.h>

#include "platform/PlatformNamedEvent.h"
#include "platform/PlatformSharedMemory.h"
#include "platform/WinError.h"
#include "win32/Win32Scratch.h"

namespace {

using namespace plat;

std::string globalName(const char* purpose) {
  return "Global\\" + cvdt::win32test::uniqueKeyName(purpose);
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
