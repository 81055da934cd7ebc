// Test access to the automatic manager and worker, and helpers the automatic tests share: the
// host block pointed at a gateway, waits with deadlines, and the trace log's lines.
#pragma once

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "autodist/NAutoDist.h"
#include "autodist/NDistMgr.h"
#include "detect/NRegistry.h"
#include "entry/HostEnvironment.h"
#include "entry/NModuleState.h"

class NDistMgrTestAccess {
 public:
  static NString equipText(NDistMgr& m) {
    plat::CriticalSectionLock lock(m.m_lock);
    return m.m_strEquip;
  }
  static bool runNow(NDistMgr& m) { return m.m_bRunNow.load() != 0; }
  static bool dialogNow(NDistMgr& m) { return m.m_bDialogNow.load() != 0; }
  // A copy of the item of that id (id 0 and status "" when there is none), under the lock.
  static ADistItem item(NDistMgr& m, int32_t id) {
    ADistItem copy;
    std::memset(&copy, 0, sizeof copy);
    plat::CriticalSectionLock lock(m.m_lock);
    for (ADistItemNode* node = m.m_pItems; node != nullptr; node = node->pNext)
      if (node->item.m_nDistId == id) return node->item;
    return copy;
  }
  static int itemCount(NDistMgr& m) {
    plat::CriticalSectionLock lock(m.m_lock);
    int count = 0;
    for (ADistItemNode* node = m.m_pItems; node != nullptr; node = node->pNext) ++count;
    return count;
  }
  // Whether the manager thread's worker runs a pass now.
  static bool passRunning(NDistMgr& m) {
    NAutoDist* worker = m.m_pWorker.load();
    return worker != nullptr && worker->isRunning();
  }
  static bool threadEnded(NDistMgr& m) { return m.m_bThreadEnded.load() != 0; }
};

class NAutoDistTestAccess {
 public:
  // Puts items into the worker's array as a pass would after copying them.
  static void setItems(NAutoDist& w, const std::vector<ADistItem>& items) {
    ADistSharedState& state = *w.m_pState;
    state.m_nItemCount = static_cast<int32_t>(items.size());
    for (size_t i = 0; i < items.size(); ++i) state.m_items[i] = items[i];
    w.publishAllItems();
  }
  static void setReport(NAutoDist& w, bool on) { w.m_bReport = on ? 1 : 0; }
  static ProductTargetList& targets(NAutoDist& w) { return w.m_esw_equip_cfg; }
  static NString& timeText(NAutoDist& w) { return w.m_strTimeText; }
  static uint32_t publications(NAutoDist& w) { return w.m_nPublications.load(); }
  static void run(NAutoDist& w) { w.run(); }
  static bool passFinished(NAutoDist& w) { return w.m_bPassFinished.load() != 0; }
  static void setDialogCheckTick(NAutoDist& w, uint32_t tick) { w.m_nDialogCheckTick = tick; }
};

namespace cvdt::test {

// A zeroed item as the manager adds it.
inline ADistItem makeItem(int32_t id, const char* status, int32_t updateId = 1) {
  ADistItem item;
  std::memset(&item, 0, sizeof item);
  item.m_nDistId = id;
  item.iCmd = 3;
  std::snprintf(item.m_szName, sizeof item.m_szName, "Item%d", id);
  std::snprintf(item.m_szStatus, sizeof item.m_szStatus, "%s", status);
  item.m_nUpdateId = updateId;
  return item;
}

// The module's host block: equipment "EQ0000000001", the gateway at 127.0.0.1:port, transfers
// over http on httpPort.
inline void setHostEnvironment(int gatewayPort, int httpPort = 0) {
  HostEnvironment env;
  std::memset(&env, 0, sizeof env);
  std::strcpy(env.m_szEquipId, "EQ0000000001");
  std::strcpy(env.m_szDbAddress, "127.0.0.1");
  std::snprintf(env.m_szDbPort, sizeof env.m_szDbPort, "%d", gatewayPort);
  std::strcpy(env.m_szFtAddress, "http");
  std::snprintf(env.m_szFtPort, sizeof env.m_szFtPort, "%d", httpPort);
  std::strcpy(env.m_szTransferMode, "P");
  NModuleState::setHostEnvironment(env);
}

// Polls condition every 20 ms until it holds; false at the deadline.
inline bool waitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds deadline = std::chrono::seconds(30)) {
  auto end = std::chrono::steady_clock::now() + deadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// The block the dialog reads, as the registry holds it (empty when absent), and its counter.
inline std::vector<uint8_t> publishedBlock(std::string* counter = nullptr) {
  NRegistry registry;
  std::vector<uint8_t> image;
  uint32_t type = 0;
  if (!registry.open(plat::RegRoot::LocalMachine, "SOFTWARE\\Plumbex\\Corvane", true, true,
                     false) ||
      registry.handle()->queryValue("dtdlg_cfg", type, image) != 0)
    image.clear();
  if (counter != nullptr) *counter = registry.readText("dtdlg_cfgcnt").text();
  return image;
}

inline size_t countOf(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

}  // namespace cvdt::test
