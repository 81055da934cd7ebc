// Events, multi-event waits and threads on standard C++ primitives, for the Linux backend (the
// win32 backend has kernel events instead: a thread's end must be waitable without the loader
// lock). Each event keeps its own lock and the list of threads waiting on it, so a wait on
// several events needs no global lock.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <thread>
#include <vector>

#include "platform/PlatformSync.h"

namespace plat {
namespace {

// One waiting call: woken by any event it is registered with.
struct Waiter {
  std::mutex mutex;
  std::condition_variable condition;
  bool woken = false;
};

using Clock = std::chrono::steady_clock;

}  // namespace

struct Event::State {
  mutable std::mutex mutex;
  bool manualReset;
  bool signaled;
  std::vector<Waiter*> waiters;

  // Takes the signal when it is there; an auto-reset event is consumed.
  bool tryTake() {
    std::lock_guard<std::mutex> lock(mutex);
    if (!signaled) return false;
    if (!manualReset) signaled = false;
    return true;
  }
  void addWaiter(Waiter* waiter) {
    std::lock_guard<std::mutex> lock(mutex);
    waiters.push_back(waiter);
  }
  void removeWaiter(Waiter* waiter) {
    std::lock_guard<std::mutex> lock(mutex);
    waiters.erase(std::remove(waiters.begin(), waiters.end(), waiter), waiters.end());
  }
};

Event::Event(bool manualReset, bool initiallySet) : m_state(std::make_unique<State>()) {
  m_state->manualReset = manualReset;
  m_state->signaled = initiallySet;
}

Event::~Event() = default;

void Event::set() {
  std::lock_guard<std::mutex> lock(m_state->mutex);
  m_state->signaled = true;
  for (Waiter* waiter : m_state->waiters) {
    std::lock_guard<std::mutex> waiterLock(waiter->mutex);
    waiter->woken = true;
    waiter->condition.notify_one();
  }
}

void Event::reset() {
  std::lock_guard<std::mutex> lock(m_state->mutex);
  m_state->signaled = false;
}

bool Event::isSet() const {
  std::lock_guard<std::mutex> lock(m_state->mutex);
  return m_state->signaled;
}

bool Event::wait(uint32_t timeoutMs) {
  Event* self = this;
  return waitForAny(std::span<Event* const>(&self, 1), timeoutMs) == 0;
}

int waitForAny(std::span<Event* const> events, uint32_t timeoutMs) {
  Waiter waiter;
  for (Event* event : events) event->m_state->addWaiter(&waiter);
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  int result = kWaitTimeout;
  for (;;) {
    for (size_t i = 0; i < events.size() && result == kWaitTimeout; ++i) {
      if (events[i]->m_state->tryTake()) result = static_cast<int>(i);
    }
    if (result != kWaitTimeout) break;
    std::unique_lock<std::mutex> lock(waiter.mutex);
    if (timeoutMs == kInfinite) {
      waiter.condition.wait(lock, [&] { return waiter.woken; });
    } else if (!waiter.condition.wait_until(lock, deadline, [&] { return waiter.woken; })) {
      break;
    }
    waiter.woken = false;
  }
  for (Event* event : events) event->m_state->removeWaiter(&waiter);
  return result;
}

struct Thread::Impl {
  std::thread thread;
  Event ended{true, false};
};

Thread::Thread() : m_impl(std::make_unique<Impl>()) {}

Thread::~Thread() {
  if (m_impl->thread.joinable()) m_impl->thread.join();
}

bool Thread::start(std::function<void()> body) {
  if (m_impl->thread.joinable()) {
    if (!m_impl->ended.isSet()) return false;
    m_impl->thread.join();
  }
  m_impl->ended.reset();
  Event* ended = &m_impl->ended;
  try {
    m_impl->thread = std::thread([body = std::move(body), ended] {
      body();
      ended->set();
    });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

bool Thread::wait(uint32_t timeoutMs) {
  if (!m_impl->thread.joinable()) return true;
  if (!m_impl->ended.wait(timeoutMs)) return false;
  m_impl->thread.join();
  return true;
}

bool Thread::isRunning() const { return m_impl->thread.joinable() && !m_impl->ended.isSet(); }

Event& Thread::endedEvent() { return m_impl->ended; }

void sleepMs(uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace plat
