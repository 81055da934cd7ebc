// The post: urgent cancels to the front, outer requests only when idle, commands unless the
// same distribution is queued or running.
#include <cstdlib>

#include "entry/StatusCodes.h"
#include "gendist/CurrentDist.h"
#include "gendist/NGenDist.h"
#include "gendist/NGenDistMgr.h"
#include "platform/NMisc.h"
#include "platform/Trace.h"

namespace {
constexpr int kRefusalStyle = 0x41010;  // stop icon, system-modal, topmost
}

bool NGenDistMgr::isDuplicate(int32_t distId) {
  {
    plat::CriticalSectionLock lock(m_csQueue);
    for (const ThreadCommand& queued : m_queue) {
      bool isJob = queued.m_nCode == kRunGenDistFromCommandProc ||
                   queued.m_nCode == kRunGenDistOuterRequest;
      if (!isJob || queued.m_pData == nullptr || queued.m_nSize != DistCommandRecord::kSize)
        continue;
      if (static_cast<const DistCommandRecord*>(queued.m_pData)->m_content.m_nDistId == distId)
        return true;
    }
  }
  int32_t running = CurrentDist::runningDistId();
  return running > 0 && running == distId;
}

void NGenDistMgr::refuseOuterRequest(bool busy, uint32_t actorSessionId) {
  plat::ModuleHandle module = NMisc::thisModule();
  NString refusal =
      busy ? NMisc::getMessage(module, commanded_message::kBusyRefusal, "") : NString();
  NString caption = NMisc::getMessage(module, commanded_message::kRefusalCaption, "");
  if (NMisc::isVistaOrLater()) {
    NMisc::showMessageInSession(actorSessionId, module, refusal.text(), caption.text(),
                                kRefusalStyle, 0, "", "");
  } else {
    NMisc::showMessageAsSessionUser(actorSessionId, module, refusal.text(), caption.text(),
                                    kRefusalStyle, 0);
  }
}

int NGenDistMgr::post(int32_t distId, uint32_t, uint32_t actorSessionId, ThreadCommand command,
                      int* queueLength, int) {
  bool queued = false;
  bool busy = false;
  bool duplicate = false;
  int signalled = 0;
  if (command.m_nCode == kUrgentTopCancelForce) {
    plat::CriticalSectionLock lock(m_csQueue);
    m_queue.push_front(command);
    m_evtInsert.set();
    queued = true;
  } else if (command.m_nCode == kRunGenDistOuterRequest) {
    int waiting = 0;
    busy = count(waiting) || CurrentDist::runningDistId() > 0;
    if (!busy) {
      plat::CriticalSectionLock lock(m_csQueue);
      m_queue.push_back(command);
      m_evtInsert.set();
      queued = true;
    }
  } else if (command.m_nCode == kRunGenDistFromCommandProc) {
    duplicate = isDuplicate(distId);
    if (!duplicate) {
      plat::CriticalSectionLock lock(m_csQueue);
      m_queue.push_back(command);
      m_evtInsert.set();
      queued = true;
    }
  }
  signalled = queued ? 1 : 0;
  int length = 0;
  count(length);
  if (queueLength != nullptr) *queueLength = length;
  if (queued) return signalled;

  if (duplicate && command.m_pData != nullptr && command.m_nSize == DistCommandRecord::kSize)
    NGenDist::reportForRecord(*static_cast<const DistCommandRecord*>(command.m_pData), 1, 0,
                              commanded_status::kDuplicate);
  if (command.m_nCode == kRunGenDistOuterRequest) refuseOuterRequest(busy, actorSessionId);
  releaseCommandPayload(command);
  return 0;
}
