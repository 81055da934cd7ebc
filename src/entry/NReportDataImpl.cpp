// The report-data channel: the lock-free hand-over of one message into the reporting
// component's queue, and the result-file fallback.
#include "entry/NReportDataImpl.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/FixedText.h"
#include "platform/NMisc.h"
#include "platform/Trace.h"

namespace {

using report::ReportMessage;
using report::ReportQueue;
using report::ReportRecord;

constexpr int kMaxFolder = 259;

// Length of text up to the first zero, looking at no more than max bytes.
size_t boundedLength(const char* text, size_t max) {
  size_t n = 0;
  while (n < max && text[n] != '\0') ++n;
  return n;
}

// A field of a record that came from elsewhere: never read past its end.
template <size_t N>
std::string fieldText(const char (&field)[N]) {
  return std::string(field, boundedLength(field, N));
}

std::string objectName(const char* nameTemplate) {
  char name[128];
  std::snprintf(name, sizeof name, nameTemplate, report::kQueueBaseName);
  return name;
}

}  // namespace

int NReportDataImpl::reportCmdResult(const HostEnvironment& env, int msgCode, uint32_t cmdId,
                                     const char* textA, const char* textB, const char* dateTime,
                                     const char* resultCode, const char* detail,
                                     int fileFallback) {
  NReportDataImpl channel;
  int ret = channel.SendReportDataRequest(msgCode, cmdId, textA, textB, dateTime, resultCode, detail);
  if (ret == 0 && fileFallback != 0) {
    ReportRecord record{};
    buildRecord(record, cmdId, textA, textB, dateTime, resultCode, detail);
    std::string unitKey = fieldText(env.m_szEquipId).substr(0, 12);
    SaveToFFDR(msgCode, unitKey.c_str(), record);
  }
  return ret;
}

int NReportDataImpl::SendReportDataRequest(int msgCode, uint32_t cmdId, const char* textA,
                                           const char* textB, const char* dateTime,
                                           const char* resultCode, const char* detail) {
  trace(10, "NReportDataImpl::SendReportDataRequest: START \n ");
  openQueue();
  ReportMessage message{};
  message.m_nCode = static_cast<uint32_t>(msgCode);
  message.m_nLength = sizeof(ReportRecord);
  buildRecord(message.m_record, cmdId, textA, textB, dateTime, resultCode, detail);
  bool written = writeMessage(message);
  while (!written) {
    if (!m_evtAvail.wait(report::kWaitAvailMs)) {
      trace(3, "NReportDataImpl::SendReportDataRequest: write wait ERROR () \n");
      break;
    }
    written = writeMessage(message);
  }
  int ret = written ? 1 : 0;
  trace(5, "NReportDataImpl::SendReportDataRequest: END(ret=%d) \n ", ret);
  closeQueue();
  return ret;
}

void NReportDataImpl::SaveToFFDR(int msgCode, const char* unitKey, const ReportRecord& record) {
  NString folder = NMisc::getModuleFolder(nullptr) + "\\dataV2";
  if (folder.length() > kMaxFolder) folder = folder.left(kMaxFolder);
  if (NMisc::getPathKind(folder.text(), 0) != 2) {
    int made = NMisc::makePath(folder.text());
    trace(1, "NReportDataImpl::SaveToFFDR: NMisc::makePath(%s) ret = %d \n", folder.text(), made);
  }
  if (msgCode != static_cast<int>(report::kMsgCmdResult) || record.m_nCmdId == 0) return;
  std::string dateTime = fieldText(record.m_szDateTime);
  std::string code = fieldText(record.m_szResultCode);
  NString name = NMisc::saveCmdResultFile_V2(folder.text(), unitKey, dateTime.c_str(),
                                             record.m_nCmdId, code.c_str(),
                                             fieldText(record.m_szDetail).c_str());
  trace(10, "NReportDataImpl::SaveToFFDR: param: ukey = %.12s, dt = %.30s, cmd_id = %d, code = %.30s \n",
        unitKey != nullptr ? unitKey : "", dateTime.c_str(), static_cast<int>(record.m_nCmdId),
        code.c_str());
  if (!name.isEmpty())
    trace(10, "NReportDataImpl::SaveToFFDR: NMisc::saveCmdResultFile_V2(%s) OK\n", name.text());
  else
    trace(1, "NReportDataImpl::SaveToFFDR: NMisc::saveCmdResultFile_V2(%s) error\n", name.text());
}

void NReportDataImpl::buildRecord(ReportRecord& record, uint32_t cmdId, const char* textA,
                                  const char* textB, const char* dateTime,
                                  const char* resultCode, const char* detail) {
  record.m_nCmdId = cmdId;
  plat::setFixedText(record.m_szTextA, textA);
  plat::setFixedText(record.m_szTextB, textB);
  plat::setFixedText(record.m_szDateTime, dateTime);
  plat::setFixedText(record.m_szResultCode, resultCode);
  plat::setFixedText(record.m_szDetail, detail);
}

// Failures leave the queue unusable; the write then fails and the wait on "avail" decides.
void NReportDataImpl::openQueue() {
  m_evtFilled.create(objectName(report::kFilledTemplate), false, false);
  m_evtAvail.create(objectName(report::kAvailTemplate), false, false);
  if (!m_shmQueue.open(objectName(report::kMappingTemplate))) return;
  if (m_shmQueue.size() < sizeof(ReportQueue)) return;
  m_pQueue = static_cast<ReportQueue*>(m_shmQueue.map());
}

void NReportDataImpl::closeQueue() {
  m_evtFilled.close();
  m_evtAvail.close();
  m_pQueue = nullptr;
  m_shmQueue.close();
}

bool NReportDataImpl::writeMessage(const ReportMessage& message) {
  uint32_t index = 0;
  if (m_pQueue == nullptr || !takeFreeSlot(index)) return false;
  report::ReportSlot& slot = m_pQueue->m_slots[index];
  constexpr uint32_t kUsed = sizeof message < report::kMessageSize ? sizeof message : report::kMessageSize;
  slot.m_nUsed = kUsed;
  std::memcpy(slot.m_data, &message, kUsed);
  pushFilled(index);
  m_evtFilled.set();
  return true;
}

// Pops the head of the free list; a writer that lost the race retries from the new head.
bool NReportDataImpl::takeFreeSlot(uint32_t& slot) {
  uint32_t head = plat::interlockedRead(&m_pQueue->m_nFreeHead);
  while (head != 0 && head < report::kSlotCount) {
    uint32_t next = plat::interlockedRead(&m_pQueue->m_slots[head].m_nNext);
    uint32_t seen = plat::interlockedCompareExchange(&m_pQueue->m_nFreeHead, next, head);
    if (seen == head) {
      slot = head;
      return true;
    }
    head = seen;
  }
  return false;
}

void NReportDataImpl::pushFilled(uint32_t slot) {
  uint32_t head = plat::interlockedRead(&m_pQueue->m_nFilledHead);
  for (;;) {
    plat::interlockedWrite(&m_pQueue->m_slots[slot].m_nNext, head);
    uint32_t seen = plat::interlockedCompareExchange(&m_pQueue->m_nFilledHead, slot, head);
    if (seen == head) return;
    head = seen;
  }
}
