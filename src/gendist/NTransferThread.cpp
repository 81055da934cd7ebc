// The transfer thread of a commanded job's part download.
#include "gendist/NTransferThread.h"

#include <utility>

NTransferThread::NTransferThread(plat::Event* jobStop) : m_pJobStop(jobStop) {}

NTransferThread::~NTransferThread() {
  if (m_bBusy) abandon();
}

void NTransferThread::begin(std::function<bool()> step) {
  m_bBusy = true;
  m_bResult = false;
  m_bThreaded = m_thread.start([this, step] { m_bResult = step(); });
  if (!m_bThreaded) m_bResult = step();
}

bool NTransferThread::end() {
  if (!m_bBusy) return false;
  while (m_bThreaded && !m_thread.endedEvent().wait(kStopLookMs)) passStopOn();
  if (m_bThreaded) m_thread.wait(plat::kInfinite);
  m_bBusy = false;
  return m_bResult;
}

bool NTransferThread::abandon() {
  if (!m_bBusy) return false;
  m_evtTransferStop.set();
  return end();
}

void NTransferThread::passStopOn() {
  if (m_pJobStop != nullptr && m_pJobStop->isSet()) m_evtTransferStop.set();
}
