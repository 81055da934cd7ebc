// The automatic manager: settings and item list from the host's texts, the server list, the
// copies the worker takes and gives back, and the manager's stop.
#include "autodist/NDistMgr.h"

#include <cstdlib>
#include <cstring>

#include "detect/NProcess.h"
#include "entry/StatusCodes.h"
#include "platform/FixedText.h"
#include "platform/NMisc.h"
#include "platform/NStrtok.h"
#include "platform/PlatformProcessList.h"
#include "platform/PlatformSystem.h"
#include "platform/Trace.h"

namespace {

constexpr uint32_t kStopPollMs = 100;
constexpr int kMaxServerText = 99;
constexpr int kMaxCopiedItems = ADistSharedState::kMaxItems;

}  // namespace

NDistMgr::NDistMgr() { resetSetting(); }

NDistMgr::~NDistMgr() {
  setEvent();
  m_thread.wait(plat::kInfinite);
  freeItems();
}

bool NDistMgr::initSetting(const char* curTime, const char* callArgs, const char* equipCfg,
                           const char*, int mode) {
  if (mode == kModeNow || mode == kModeCommand) m_bRunNow = 1;
  {
    plat::CriticalSectionLock lock(m_lock);
    m_nLastCallTick = plat::tickCount();
    m_strCurTime = curTime ? curTime : "";
  }
  plat::CriticalSectionLock lock(m_lock);
  return enumConfig(callArgs, equipCfg, mode);
}

bool NDistMgr::enumConfig(const char* callArgs, const char* equipCfg, int mode) {
  NStrtok argsTokenizer;
  NStringArray& args = argsTokenizer.split(callArgs ? callArgs : "", "|%");
  if (args.getCount() < 4) return false;
  applyCallArgs(args);
  NStrtok cfgTokenizer;
  NStringArray& cfg = cfgTokenizer.split(equipCfg ? equipCfg : "", "|%");
  if (cfg.getCount() < 2) return false;
  m_strEquip = cfg.getAt(0);
  enumItems(cfg.getAt(1), mode);
  if (mode == kModeNow) {
    m_bShowDialog = 1;
    m_bDialogNow = 1;
  }
  if (m_bShowDialog == 0 && hasOpenNowItem()) m_bShowDialog = 1;
  parseServers(cfg.getAt(2));
  return true;
}

// Retry count, sweep interval, dialog flag and status interval, each with its fallback.
void NDistMgr::applyCallArgs(const NStringArray& args) {
  int retry = std::atoi(args.getAt(0).text());
  m_nRetryCount = retry < 1 ? 3 : retry;
  int interval = std::atoi(args.getAt(1).text());
  m_nRunInterval = interval < 1 ? 10 : interval;
  m_bShowDialog = args.getAt(2) == "Y" ? 1 : 0;
  int status = std::atoi(args.getAt(3).text());
  m_nStatusInterval = status < 0 ? 2880 : status;
}

// The "|&"-joined item entries: a new id is added waiting ("010"), a known one updated; entries
// with fewer than three parts are skipped.
void NDistMgr::enumItems(const NString& field, int mode) {
  NStrtok entryTokenizer;
  NStringArray& entries = entryTokenizer.split(field.text(), "|&");
  for (int i = 0; i < entries.getCount(); ++i) {
    NStrtok partTokenizer;
    NStringArray& parts = partTokenizer.split(entries.getAt(i).text(), "|*");
    if (parts.getCount() < 3) continue;
    NString id = parts.getAt(0);
    NString name = parts.getAt(1);
    NString digest = parts.getAt(2);
    ADistItem* item = findADist(id.text());
    if (item == nullptr) {
      addADist(id.text(), name.text(), digest.text(), auto_status::kWaiting,
               static_cast<uint32_t>(mode));
      trace(3, "NDistMgr::enumConfig(add): iCmd: %u, Name: %.255s, status: %s\n",
            static_cast<unsigned>(mode), name.text(), auto_status::kWaiting);
    } else {
      updateItem(*item, name.text(), digest.text(), mode);
    }
  }
}

// An item named again: modes 1 and 2 command it anew; every mode refreshes name and digest.
void NDistMgr::updateItem(ADistItem& item, const char* name, const char* digest, int mode) {
  bool wasComplete = std::strcmp(item.m_szStatus, auto_status::kComplete) == 0;
  if (mode == kModeNow || mode == kModeCommand) {
    plat::setFixedText(item.m_szStatus, auto_status::kWaiting);
    item.iCmd = static_cast<uint32_t>(mode);
    item.m_bFreshCmd = 1;
  }
  plat::setFixedText(item.m_szName, name);
  plat::setFixedText(item.m_szIdxDigest, digest);
  if (wasComplete)
    trace(3, "NDistMgr::enumConfig(060): iCmd: %u, Name: %.255s, status: %s\n",
          static_cast<unsigned>(item.iCmd), item.m_szName, item.m_szStatus);
  else
    trace(3, "NDistMgr::enumConfig(else): iCmd: %u, Name: %.255s, status: %s\n",
          static_cast<unsigned>(item.iCmd), item.m_szName, item.m_szStatus);
}

// The server field: addresses in the order given, normalised, each once.
void NDistMgr::parseServers(const NString& field) {
  NStrtok tokenizer;
  NStringArray& parts = tokenizer.split(field.text(), "|&");
  m_arrServers.clear();
  for (int i = 0; i < parts.getCount(); ++i) {
    NString server = parts.getAt(i).left(kMaxServerText);
    NMisc::normalizeIpAddress(server);
    bool present = false;
    for (int j = 0; j < m_arrServers.getCount() && !present; ++j)
      present = m_arrServers.getAt(j) == server;
    if (!present) m_arrServers.add(server);
  }
}

void NDistMgr::resetSetting() {
  plat::CriticalSectionLock lock(m_lock);
  m_arrServers.clear();
  m_strEquip = "";
  m_nRetryCount = 0;
  m_nRunInterval = 60;
  m_bShowDialog = 0;
  m_nStatusInterval = 0;
  freeItems();
}

void NDistMgr::freeItems() {
  plat::CriticalSectionLock lock(m_lock);
  while (m_pItems != nullptr) {
    ADistItemNode* next = m_pItems->pNext;
    std::free(m_pItems);
    m_pItems = next;
  }
}

void NDistMgr::addADist(const char* distId, const char* name, const char* digest,
                        const char* status, uint32_t cmd) {
  auto* node = static_cast<ADistItemNode*>(std::calloc(1, sizeof(ADistItemNode)));
  if (node == nullptr) {
    trace(1, "NDistMgr::addADist: malloc error\n");
    return;
  }
  ADistItem& item = node->item;
  item.m_nDistId = std::atoi(distId ? distId : "");
  item.iCmd = cmd;
  plat::setFixedText(item.m_szName, name);
  plat::setFixedText(item.m_szIdxDigest, digest);
  plat::setFixedText(item.m_szStatus, status);
  item.m_nAttempts = 0;
  item.m_bFreshCmd = 1;
  plat::CriticalSectionLock lock(m_lock);
  node->pNext = m_pItems;
  m_pItems = node;
}

ADistItem* NDistMgr::findADist(const char* distId) {
  int32_t id = std::atoi(distId ? distId : "");
  plat::CriticalSectionLock lock(m_lock);
  for (ADistItemNode* node = m_pItems; node != nullptr; node = node->pNext)
    if (node->item.m_nDistId == id) return &node->item;
  return nullptr;
}

bool NDistMgr::hasOpenNowItem() {
  plat::CriticalSectionLock lock(m_lock);
  for (ADistItemNode* node = m_pItems; node != nullptr; node = node->pNext)
    if (node->item.iCmd == kModeNow &&
        std::strcmp(node->item.m_szStatus, auto_status::kComplete) != 0)
      return true;
  return false;
}

int NDistMgr::copyItems(ADistItem* items) {
  plat::CriticalSectionLock lock(m_lock);
  int count = 0;
  for (ADistItemNode* node = m_pItems; node != nullptr && count < kMaxCopiedItems;
       node = node->pNext) {
    node->item.m_bFreshCmd = 0;
    std::memcpy(&items[count++], &node->item, sizeof(ADistItem));
  }
  return count;
}

void NDistMgr::mergeItems(int count, const ADistItem* items) {
  plat::CriticalSectionLock lock(m_lock);
  for (int i = 0; i < count; ++i) {
    for (ADistItemNode* node = m_pItems; node != nullptr; node = node->pNext) {
      if (node->item.m_nDistId != items[i].m_nDistId) continue;
      if (node->item.m_bFreshCmd == 0) std::memcpy(&node->item, &items[i], sizeof(ADistItem));
      break;
    }
  }
}

NString NDistMgr::getNextServer(const char* current) {
  plat::CriticalSectionLock lock(m_lock);
  NString now = current ? current : "";
  if (now.isEmpty()) return m_arrServers.getCount() > 0 ? m_arrServers.getAt(0) : NString();
  for (int i = 0; i < m_arrServers.getCount(); ++i) {
    if (!(m_arrServers.getAt(i) == now)) continue;
    return i + 1 < m_arrServers.getCount() ? m_arrServers.getAt(i + 1) : NString();
  }
  return NString();
}

bool NDistMgr::createThread() {
  trace(2, "NDistMgr::createThread:\n");
  m_thread.wait(plat::kInfinite);  // a thread that has ended is joined before the next starts
  m_bThreadHandle = true;
  if (!m_thread.start([this] { run(); })) {
    m_bThreadHandle = false;
    trace(1, "NDistMgr::createThread: _beginthreadex failed\n");
    return false;
  }
  plat::sleepMs(200);
  return true;
}

void NDistMgr::setEvent() {
  if (plat::Event* event = m_hEvent.load()) {
    event->set();
    trace(1, "NDistMgr::setEvent\n");
  } else {
    trace(1, "NDistMgr::setEvent: m_hEvent is null\n");
  }
  plat::sleepMs(kStopPollMs);
  while (m_bThreadEnded.load() == 0) plat::sleepMs(kStopPollMs);
  resetSetting();
  killDialog(kADistDlgImage);
}

void NDistMgr::killDialog(const char* imageName) {
  NProcess processes;
  if (!processes.snapshot()) return;
  uint32_t id = processes.find(imageName);
  if (id != 0) plat::terminateProcess(id, 0);
}
