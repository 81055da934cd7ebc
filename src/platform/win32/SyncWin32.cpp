// Events, multi-event waits and threads of the win32 backend: kernel events, WaitForMultipleObjects
// and threads started with _beginthreadex. A thread's end is its own manual-reset event, set
// when the body has returned, so that a wait for it never needs the loader lock that the end of
// a thread takes (the module's threads are stopped while the library is being unloaded).
#include <process.h>

#include <new>

#include <utility>
#include <vector>

#include "platform/PlatformSync.h"
#include "platform/win32/WindowsApi.h"

namespace plat {

struct Event::State {
  HANDLE handle = nullptr;
  bool manualReset = false;
};

Event::Event(bool manualReset, bool initiallySet) : m_state(std::make_unique<State>()) {
  m_state->manualReset = manualReset;
  m_state->handle = CreateEventA(nullptr, manualReset ? TRUE : FALSE, initiallySet ? TRUE : FALSE,
                                 nullptr);
}

Event::~Event() {
  if (m_state->handle != nullptr) CloseHandle(m_state->handle);
}

void Event::set() { SetEvent(m_state->handle); }
void Event::reset() { ResetEvent(m_state->handle); }

bool Event::wait(uint32_t timeoutMs) {
  return WaitForSingleObject(m_state->handle, timeoutMs) == WAIT_OBJECT_0;
}

// A look at an auto-reset event takes its signal, which is given back at once.
bool Event::isSet() const {
  if (WaitForSingleObject(m_state->handle, 0) != WAIT_OBJECT_0) return false;
  if (!m_state->manualReset) SetEvent(m_state->handle);
  return true;
}

int waitForAny(std::span<Event* const> events, uint32_t timeoutMs) {
  HANDLE handles[MAXIMUM_WAIT_OBJECTS];
  DWORD count = 0;
  for (Event* event : events) {
    if (count == MAXIMUM_WAIT_OBJECTS) break;
    handles[count++] = event->m_state->handle;
  }
  if (count == 0) {
    Sleep(timeoutMs);
    return kWaitTimeout;
  }
  DWORD result = WaitForMultipleObjects(count, handles, FALSE, timeoutMs);
  if (result >= WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + count)
    return static_cast<int>(result - WAIT_OBJECT_0);
  return kWaitTimeout;
}

struct Thread::Impl {
  HANDLE thread = nullptr;
  Event ended{true, false};
};

namespace {

// What a new thread runs: the body, released before the end is signalled.
struct Launch {
  std::function<void()> body;
  Event* ended;
};

unsigned __stdcall threadEntry(void* argument) {
  auto* launch = static_cast<Launch*>(argument);
  Event* ended = launch->ended;
  try {
    launch->body();
  } catch (...) {
    // Nothing may leave a thread entry; a body that threw has ended all the same.
  }
  delete launch;
  ended->set();
  return 0;
}

}  // namespace

Thread::Thread() : m_impl(std::make_unique<Impl>()) {}

Thread::~Thread() {
  if (m_impl->thread != nullptr) {
    m_impl->ended.wait(kInfinite);
    CloseHandle(m_impl->thread);
  }
}

bool Thread::start(std::function<void()> body) {
  if (m_impl->thread != nullptr) {
    if (!m_impl->ended.isSet()) return false;
    CloseHandle(m_impl->thread);
    m_impl->thread = nullptr;
  }
  m_impl->ended.reset();
  auto* launch = new (std::nothrow) Launch{std::move(body), &m_impl->ended};
  if (launch == nullptr) return false;
  uintptr_t handle = _beginthreadex(nullptr, 0, threadEntry, launch, 0, nullptr);
  if (handle == 0) {
    delete launch;
    m_impl->ended.set();
    return false;
  }
  m_impl->thread = reinterpret_cast<HANDLE>(handle);
  return true;
}

bool Thread::wait(uint32_t timeoutMs) {
  if (m_impl->thread == nullptr) return true;
  if (!m_impl->ended.wait(timeoutMs)) return false;
  CloseHandle(m_impl->thread);
  m_impl->thread = nullptr;
  return true;
}

bool Thread::isRunning() const { return m_impl->thread != nullptr && !m_impl->ended.isSet(); }

Event& Thread::endedEvent() { return m_impl->ended; }

void sleepMs(uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace plat
