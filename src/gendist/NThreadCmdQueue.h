// NThreadCmdQueue: a locked double-ended queue of thread commands with an auto-reset insert
// event; the base of the commanded manager.
#pragma once

#include <cstdint>
#include <deque>

#include "platform/PlatformSync.h"

// One queue entry. The data block belongs to the queue while the entry is queued.
struct ThreadCommand {
  int32_t m_nCode = 0;
  void* m_pData = nullptr;
  uint32_t m_nSize = 0;
  uint32_t m_nReserved = 0;
};

inline constexpr int32_t kRunGenDistFromCommandProc = 3;
inline constexpr int32_t kRunGenDistOuterRequest = 4;
inline constexpr int32_t kUrgentTopCancelForce = 5;

class NThreadCmdQueue {
 public:
  NThreadCmdQueue();
  // Payloads still queued are not released here; a derived class drains them first.
  virtual ~NThreadCmdQueue();
  NThreadCmdQueue(const NThreadCmdQueue&) = delete;
  NThreadCmdQueue& operator=(const NThreadCmdQueue&) = delete;

  // Releases the data block of a command taken from the queue; the base keeps it.
  virtual int releaseCommandPayload(ThreadCommand& command);

  plat::Event* insertEvent() { return &m_evtInsert; }
  // Writes the number of entries to count; true when there is at least one.
  bool count(int& count);
  // Moves the front entry to command (untouched when the queue is empty) and writes what
  // remains to remaining. Always returns 1.
  int GetNextCommand(ThreadCommand& command, int& remaining);

 protected:
  plat::CriticalSection m_csQueue;
  std::deque<ThreadCommand> m_queue CVDT_GUARDED_BY(m_csQueue);
  plat::Event m_evtInsert{false, false};
};
