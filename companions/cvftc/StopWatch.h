// StopWatch: ends a WinINet transfer early when the connection's stop event is signalled. A
// thread looks at the event every 20 ms while the transfer runs and, once it is set, closes the
// transfer's handle, which makes a blocked InternetReadFile return at once. The transfer takes
// its handle back with release(); whichever side closes the handle does so exactly once.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "FtcEndpoint.h"

namespace cvftc {

class StopWatch {
 public:
  // Watches handle for as long as the object lives (nothing to watch without a stop event).
  StopWatch(const FtcEndpoint& endpoint, HINTERNET handle);
  ~StopWatch();
  StopWatch(const StopWatch&) = delete;
  StopWatch& operator=(const StopWatch&) = delete;

  // Ends the watch; true when the handle is still the caller's to close (no stop came), false
  // when the stop closed it already.
  bool release();
  bool stopped() const;

 private:
  void watch();

  const FtcEndpoint& m_endpoint;
  HINTERNET m_handle;
  mutable std::mutex m_mutex;
  std::condition_variable m_wake;
  bool m_bDone = false;
  bool m_bStopped = false;
  std::thread m_thread;
};

}  // namespace cvftc
