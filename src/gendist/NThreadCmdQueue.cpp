// The command queue shared by the exports (producers) and the manager thread (consumer).
#include "gendist/NThreadCmdQueue.h"

NThreadCmdQueue::NThreadCmdQueue() = default;
NThreadCmdQueue::~NThreadCmdQueue() = default;

int NThreadCmdQueue::releaseCommandPayload(ThreadCommand&) { return 1; }

bool NThreadCmdQueue::count(int& count) {
  plat::CriticalSectionLock lock(m_csQueue);
  count = static_cast<int>(m_queue.size());
  return count != 0;
}

int NThreadCmdQueue::GetNextCommand(ThreadCommand& command, int& remaining) {
  plat::CriticalSectionLock lock(m_csQueue);
  if (!m_queue.empty()) {
    command = m_queue.front();
    m_queue.pop_front();
  }
  remaining = static_cast<int>(m_queue.size());
  return 1;
}
