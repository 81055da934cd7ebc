// Windows-shaped synchronisation: events (manual and auto reset), a wait on several events
// with a time-out, critical sections, threads and sleeps.
//
// An Event is self-contained (no process-wide state), so it may be handed to a companion
// library that is loaded into the same process.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>

#include "platform/Compiler.h"

namespace plat {

inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;
inline constexpr int kWaitTimeout = 258;  // WAIT_TIMEOUT

class Event {
 public:
  explicit Event(bool manualReset, bool initiallySet = false);
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void set();
  void reset();
  // True when the event was signalled within the time-out (an auto-reset event is consumed).
  bool wait(uint32_t timeoutMs);
  // True when signalled now; does not consume an auto-reset event.
  bool isSet() const;

  struct State;

 private:
  friend int waitForAny(std::span<Event* const> events, uint32_t timeoutMs);
  std::unique_ptr<State> m_state;
};

// WaitForMultipleObjects(wait any): the index of the first signalled event in array order,
// consuming it when it is auto-reset, or kWaitTimeout.
int waitForAny(std::span<Event* const> events, uint32_t timeoutMs);

// A recursive lock, as a Windows critical section.
class CVDT_CAPABILITY("critical section") CriticalSection {
 public:
  void enter() CVDT_ACQUIRE() { m_mutex.lock(); }
  void leave() CVDT_RELEASE() { m_mutex.unlock(); }

 private:
  std::recursive_mutex m_mutex;
};

class CVDT_SCOPED_CAPABILITY CriticalSectionLock {
 public:
  explicit CriticalSectionLock(CriticalSection& section) CVDT_ACQUIRE(section)
      : m_section(section) {
    m_section.enter();
  }
  ~CriticalSectionLock() CVDT_RELEASE() { m_section.leave(); }
  CriticalSectionLock(const CriticalSectionLock&) = delete;
  CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

 private:
  CriticalSection& m_section;
};

// A thread whose end can be waited for with a time-out, like a thread handle.
class Thread {
 public:
  Thread();
  ~Thread();  // joins a thread that is still running
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts body on a new thread; false when a thread is already running or cannot start.
  bool start(std::function<void()> body);
  // Waits for the thread's end; true when it ended within the time-out (it is then joined).
  bool wait(uint32_t timeoutMs);
  bool isRunning() const;
  // Signalled (manual reset) when the body has returned.
  Event& endedEvent();

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

void sleepMs(uint32_t milliseconds);

}  // namespace plat
