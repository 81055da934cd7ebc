// The commanded manager: settings, thread start and stop, ban periods and the deletion batch.
#include "gendist/NGenDistMgr.h"

#include <cstdlib>
#include <cstring>

#include "detect/NProcess.h"
#include "entry/NModuleState.h"
#include "gendist/NGenDistDelete.h"
#include "net/NDBQuery.h"
#include "platform/NMisc.h"
#include "platform/NStrtok.h"
#include "platform/PlatformProcessList.h"
#include "platform/PlatformSystem.h"
#include "platform/Trace.h"

namespace {

constexpr uint32_t kThreadStartPauseMs = 4000;
constexpr uint32_t kStopPollMs = 2000;
constexpr int kMaxFolder = 259;

}  // namespace

NGenDistMgr::NGenDistMgr() { m_nLastTick = plat::tickCount(); }

NGenDistMgr::~NGenDistMgr() {
  setEvent();
  m_thread.wait(plat::kInfinite);
  m_workerThread.wait(plat::kInfinite);
  ThreadCommand command;
  int remaining = 0;
  while (count(remaining)) {
    GetNextCommand(command, remaining);
    releaseCommandPayload(command);
  }
}

int NGenDistMgr::releaseCommandPayload(ThreadCommand& command) {
  if (command.m_nSize >= 1 && command.m_pData != nullptr) std::free(command.m_pData);
  command.m_pData = nullptr;
  return 1;
}

int NGenDistMgr::initSetting(const char* curTime, const char*, const char* equipCfg, const char*,
                             int) {
  {
    plat::CriticalSectionLock lock(m_csSettings);
    m_nLastTick = plat::tickCount();
    m_strCurTime = curTime ? curTime : "";
  }
  return parseEquipCfg(equipCfg);
}

int NGenDistMgr::parseEquipCfg(const char* equipCfg) {
  plat::CriticalSectionLock lock(m_csSettings);
  NStrtok top;
  NStringArray& fields = top.split(equipCfg ? equipCfg : "", "|%");
  if (fields.getCount() < 2) return 0;
  NString config = fields.getAt(1);
  NString bans = fields.getCount() > 2 ? fields.getAt(2) : NString();
  NString completed = fields.getCount() > 3 ? fields.getAt(3) : NString();
  NStrtok listTokenizer;
  NStringArray& numbers = listTokenizer.split(config.text(), "|&");
  if (numbers.getCount() < 2) return 0;
  m_nConfig[0] = std::atoi(numbers.getAt(0).text());
  m_nConfig[1] = std::atoi(numbers.getAt(1).text());
  if (numbers.getCount() >= 3) {
    m_bBanCheck = numbers.getAt(2).equalsNoCase("Y");
    NStrtok banTokenizer;
    NStringArray& periods = banTokenizer.split(bans.text(), "|&");
    m_arrBanStart.clear();
    m_arrBanEnd.clear();
    for (int i = 0; i < periods.getCount(); ++i) {
      NStrtok pairTokenizer;
      NStringArray& pair = pairTokenizer.split(periods.getAt(i).text(), "|*");
      if (pair.getCount() < 2) continue;
      m_arrBanStart.add(pair.getAt(0));
      m_arrBanEnd.add(pair.getAt(1));
    }
  }
  if (completed.isEmpty()) return 1;
  NStrtok deleteTokenizer;
  NStringArray& entries = deleteTokenizer.split(completed.text(), "|&");
  for (int i = 0; i < entries.getCount(); ++i) {
    NStrtok pairTokenizer;
    NStringArray& pair = pairTokenizer.split(entries.getAt(i).text(), "|*");
    int32_t id = pair.getCount() >= 2 ? NMisc::decimalToInt(pair.getAt(0).text()) : 0;
    if (id <= 0) continue;
    DeleteEntry entry{id, {}};
    std::strncpy(entry.m_szFolder, pair.getAt(1).text(), kMaxFolder);
    m_listDelete.push_back(entry);
  }
  return 1;
}

int NGenDistMgr::firstConfigNumber() {
  plat::CriticalSectionLock lock(m_csSettings);
  return m_nConfig[0];
}

int NGenDistMgr::createThread() {
  trace(2, "NGenDistMgr::createThread:\n");
  m_thread.wait(plat::kInfinite);  // a thread that has ended is joined before the next starts
  m_bThreadHandle = true;
  if (!m_thread.start([this] { run(); })) {
    m_bThreadHandle = false;
    trace(1, "NGenDistMgr::createThread: _beginthreadex failed\n");
    return 0;
  }
  plat::sleepMs(kThreadStartPauseMs);
  return 1;
}

void NGenDistMgr::setEvent() {
  if (m_bThreadHandle) {
    m_hEvent.set();
    trace(1, "NGenDistMgr::setEvent\n");
  } else {
    trace(1, "NGenDistMgr::setEvent: m_hEvent is null\n");
  }
  plat::sleepMs(kStopPollMs);
  while (m_bThreadStopped.load() == 0) plat::sleepMs(kStopPollMs);
  {
    plat::CriticalSectionLock lock(m_csSettings);
    m_nConfig[0] = 0;
    m_nConfig[1] = 60;
    m_nConfig[2] = 0;
    m_nConfig[3] = 0;
  }
  NProcess processes;
  processes.snapshot();
  uint32_t dialog = processes.find("cvdtndlg.exe");
  if (dialog != 0) plat::terminateProcess(dialog, 0);
}

bool NGenDistMgr::BanDT_PeriodTime() {
  plat::CriticalSectionLock lock(m_csSettings);
  if (!m_bBanCheck || m_arrBanStart.getCount() == 0 || m_arrBanEnd.getCount() == 0) return false;
  NString now;
  now.format("%.2s:%.2s:%.2s", m_strCurTime.mid(8, 2).text(), m_strCurTime.mid(10, 2).text(),
             m_strCurTime.mid(12, 2).text());
  int periods = std::min(m_arrBanStart.getCount(), m_arrBanEnd.getCount());
  for (int i = 0; i < periods; ++i) {
    if (m_arrBanStart.getAt(i).compare(now.text()) <= 0 && now.compare(m_arrBanEnd.getAt(i).text()) <= 0)
      return true;
  }
  return false;
}

void NGenDistMgr::DoBatch_COMPLETED_DT_DELETE() {
  std::vector<DeleteEntry> entries;
  {
    plat::CriticalSectionLock lock(m_csSettings);
    entries = m_listDelete;
  }
  NString completed;
  NGenDistDelete deleter;
  for (const DeleteEntry& entry : entries) {
    uint32_t reason = 0;
    if (entry.m_nDistId <= 0) continue;
    if (deleter.DeleteAll(entry.m_nDistId, entry.m_szFolder, reason)) {
      NString id;
      id.format(completed.isEmpty() ? "%d" : "|&%d", entry.m_nDistId);
      completed += id;
      trace(3, "NGenDistMgr::DoBatch_COMPLETED_DT_DELETE: DeleteAll(%d, %.255s) OK(%u). \n",
            entry.m_nDistId, entry.m_szFolder, reason);
    } else {
      trace(1, "NGenDistMgr::DoBatch_COMPLETED_DT_DELETE: DeleteAll(%d, %.255s) FAILED!(%u) \n",
            entry.m_nDistId, entry.m_szFolder, reason);
    }
  }
  if (!completed.isEmpty()) updateDB_DistDeleteOK(completed.text());
}

int NGenDistMgr::updateDB_DistDeleteOK(const char* distIds) {
  std::unique_ptr<HostEnvironment> env = NModuleState::hostEnvironment();
  NString parameters;
  parameters.format("EQUIP_ID|#S|#%.12s|$DIST_ID_DATA|#S|#%.999s", env->m_szEquipId,
                    distIds ? distIds : "");
  NDBQuery query;
  query.setServer(env->m_szDbAddress, std::atoi(env->m_szDbPort));
  NString result;
  if (query.execStoredProc("SP_SV_DT_N_EQUIP_DELETE_DATETIME_U", 2, parameters.text(), result))
    return 1;
  trace(1, "NGenDistMgr::updateDB_DistDeleteOK: failed (%.1024s)\n", parameters.text());
  return 0;
}
