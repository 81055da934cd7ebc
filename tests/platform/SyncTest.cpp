// Events, multi-event waits and threads: the synchronisation the managers and workers use.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/PlatformSync.h"

namespace {

using namespace plat;

TEST(SyncTest, ResetModesAndWaitForAnyInArrayOrder) {
  Event automatic(false, true);
  EXPECT_TRUE(automatic.isSet());  // a look does not take the signal
  EXPECT_TRUE(automatic.wait(0));
  EXPECT_FALSE(automatic.wait(0));  // consumed by the first wait

  Event stop(true), insert(false), end(false);
  Event* events[] = {&stop, &insert, &end};
  EXPECT_EQ(waitForAny(events, 20), kWaitTimeout);
  end.set();
  insert.set();
  EXPECT_EQ(waitForAny(events, 0), 1);
  EXPECT_EQ(waitForAny(events, 0), 2);
  EXPECT_EQ(waitForAny(events, 0), kWaitTimeout);
  stop.set();
  insert.set();
  EXPECT_EQ(waitForAny(events, 0), 0);
  EXPECT_EQ(waitForAny(events, 0), 0);  // manual reset: still set
  stop.reset();
  EXPECT_FALSE(stop.wait(10));
}

TEST(SyncTest, OneAutoResetSignalWakesExactlyOneOfManyWaiters) {
  Event work(false);
  Event quit(true);
  std::atomic<int> woken{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&] {
      Event* events[] = {&quit, &work};
      if (waitForAny(events, kInfinite) == 1) ++woken;
    });
  }
  for (int i = 0; i < 3; ++i) {
    work.set();
    while (woken.load() < i + 1) std::this_thread::yield();
  }
  quit.set();
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(woken.load(), 3);
}

TEST(SyncTest, ThreadEndCanBeWaitedWithATimeoutAndAlongsideEvents) {
  Event release(true);
  Thread worker;
  ASSERT_TRUE(worker.start([&] { release.wait(kInfinite); }));
  EXPECT_TRUE(worker.isRunning());
  EXPECT_FALSE(worker.start([] {}));  // one body at a time
  EXPECT_FALSE(worker.wait(20));
  Event stop(true);
  Event* events[] = {&stop, &worker.endedEvent()};
  release.set();
  EXPECT_EQ(waitForAny(events, kInfinite), 1);
  EXPECT_TRUE(worker.wait(kInfinite));
  EXPECT_FALSE(worker.isRunning());
  Event ready(false);  // a finished thread can be started again
  EXPECT_TRUE(worker.start([&] { ready.set(); }));
  EXPECT_TRUE(ready.wait(kInfinite));  // a signal from another thread ends an infinite wait
  EXPECT_TRUE(worker.wait(kInfinite));
}

}  // namespace
