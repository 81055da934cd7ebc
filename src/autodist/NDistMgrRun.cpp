// The automatic manager thread: a 100 ms tick that starts passes at the run interval (at once
// after a "now" or "command" call) and has the worker report at the status interval.
#include "autodist/NAutoDist.h"
#include "autodist/NDistMgr.h"
#include "platform/Trace.h"

namespace {
constexpr uint32_t kTickMs = 100;
}

void NDistMgr::run() {
  try {
    NAutoDist worker;
    trace(3, "NDistMgr::run: thread start\n");
    m_stopEvent.reset();  // the thread's own stop event starts unsignalled
    m_hEvent = &m_stopEvent;
    m_pWorker = &worker;
    runLoop(worker);
    m_pWorker = nullptr;
  } catch (...) {
    // Nothing leaves a thread entry; the thread just ends, as when its event is missing.
    trace(1, "NDistMgr::run: CreateEvent failed\n");
    m_bThreadEnded = 1;
  }
  m_hEvent = nullptr;
  m_bThreadHandle = false;
}

void NDistMgr::runLoop(NAutoDist& worker) {
  m_bThreadEnded = 0;
  uint32_t tick = 0;
  for (;;) {
    if (m_stopEvent.wait(kTickMs)) {
      trace(1, "NDistMgr::run: exit\n");
      worker.stop();
      break;
    }
    onTick(worker, tick);
    ++tick;
  }
  trace(3, "NDistMgr::run: thread stop\n");
  m_bThreadEnded = 1;
}

// One tick of 100 ms; 600 of them stand for a minute.
//
// A status interval of 0 means no periodic status report: the test "tick is a multiple of
// interval x 600" would divide by zero, and a host that sends 0 asks for none.
void NDistMgr::onTick(NAutoDist& worker, uint32_t& tick) {
  if (m_bRunNow.exchange(0) != 0) tick = 0;
  if (m_bDialogNow.load() != 0) {
    worker.setDisplay();
    m_bDialogNow = 0;
  }
  uint32_t runTicks = static_cast<uint32_t>(m_nRunInterval.load()) * kTicksPerMinute;
  if (runTicks != 0 && tick % runTicks == 0) {
    if (!worker.initSetting(this)) trace(1, "NAutoDist: initSetting failed \n");
    else if (!worker.isRunning()) worker.createThread();
  }
  int statusInterval = m_nStatusInterval.load();
  if (statusInterval > 0) {
    uint32_t statusTicks = static_cast<uint32_t>(statusInterval) * kTicksPerMinute;
    if (tick % statusTicks == 0 && worker.isRunning()) worker.updateDBDistStatus();
  }
}
