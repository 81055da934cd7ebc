// NTransferThread: runs a commanded job's transfer steps (the connection, then one part at a
// time) on a thread of their own, so that the job's thread can check the previous part's digest
// while the next part arrives.
#pragma once

#include <functional>

#include "platform/PlatformSync.h"

class NTransferThread {
 public:
  // jobStop is the job's stop event (auto-reset): it is only looked at, never waited on, so it
  // stays signalled for whoever looks next. May be null.
  explicit NTransferThread(plat::Event* jobStop);
  // Abandons a step that is still running.
  ~NTransferThread();
  NTransferThread(const NTransferThread&) = delete;
  NTransferThread& operator=(const NTransferThread&) = delete;

  // The event the transfers are to watch (given to the connection): it is signalled when the
  // job's stop is passed on, or when a step is abandoned.
  plat::Event* transferStop() { return &m_evtTransferStop; }
  // Starts step on the thread (on the calling thread, at once, when no thread can start).
  // REQUIRES: no step running (end or abandon called for the last one).
  void begin(std::function<bool()> step);
  // Waits for the step to end, passing the job's stop on meanwhile; its result, false when no
  // step was begun.
  bool end();
  // Ends the running step early through the transfer stop and waits for it; its result (true
  // when it had completed anyway).
  bool abandon();
  bool busy() const { return m_bBusy; }
  // Signals the transfer stop when the job's stop is signalled. Called by the job's thread while
  // it does other work (between the pieces of a digest).
  void passStopOn();

 private:
  // How often a waiting job thread looks at the job's stop event.
  static constexpr uint32_t kStopLookMs = 20;

  plat::Event* m_pJobStop;
  plat::Event m_evtTransferStop{true, false};
  plat::Thread m_thread;
  bool m_bBusy = false;
  bool m_bThreaded = false;  // the running step has a thread of its own
  bool m_bResult = false;  // written by the step's thread before it ends, read after the join
};
