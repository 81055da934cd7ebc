// Named events shared between the processes of the machine (CreateEventA with a name).
#pragma once

#include <cstdint>
#include <string>

namespace plat {

// One handle to a named event. The event lives as long as any process holds a handle to it; it
// is removed with the last close. Not shared between threads; failures set plat::lastError().
class NamedEvent {
 public:
  NamedEvent() = default;
  ~NamedEvent();  // closes
  NamedEvent(const NamedEvent&) = delete;
  NamedEvent& operator=(const NamedEvent&) = delete;

  // CreateEventA with a null DACL: creates the event, or opens it when one of that name exists;
  // then manualReset and initiallySet are ignored and alreadyExisted() is true.
  bool create(const std::string& name, bool manualReset, bool initiallySet);
  // SetEvent: an auto-reset event wakes one waiter (or the next one to wait); a manual-reset
  // event wakes every waiter and stays set until reset.
  bool set();
  bool reset();
  // WaitForSingleObject: true when the event was signalled within the time-out (kInfinite
  // waits for ever); an auto-reset event is consumed. A closed handle fails at once.
  bool wait(uint32_t timeoutMs);
  void close();

  bool isOpen() const { return m_pBlock != nullptr; }
  bool alreadyExisted() const { return m_bExisted; }

 private:
  intptr_t m_hObject = -1;
  void* m_pBlock = nullptr;  // the event's state, shared with every other handle
  std::string m_strObject;   // the backend's name of the object
  bool m_bExisted = false;
};

}  // namespace plat
