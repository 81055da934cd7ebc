// Ending a WinINet transfer when the stop event is signalled.
#include "StopWatch.h"

#include <chrono>

namespace cvftc {

StopWatch::StopWatch(const FtcEndpoint& endpoint, HINTERNET handle)
    : m_endpoint(endpoint), m_handle(handle) {
  if (endpoint.stopEvent() != nullptr) m_thread = std::thread([this] { watch(); });
}

StopWatch::~StopWatch() { release(); }

bool StopWatch::release() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bDone = true;
  }
  m_wake.notify_all();
  if (m_thread.joinable()) m_thread.join();
  return !stopped();
}

bool StopWatch::stopped() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_bStopped;
}

void StopWatch::watch() {
  std::unique_lock<std::mutex> lock(m_mutex);
  while (!m_bDone) {
    if (m_endpoint.stopRequested()) {
      m_bStopped = true;
      InternetCloseHandle(m_handle);
      return;
    }
    m_wake.wait_for(lock, std::chrono::milliseconds(20));
  }
}

}  // namespace cvftc
