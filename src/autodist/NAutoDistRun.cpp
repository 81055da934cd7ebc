// The automatic worker's pass: copies the manager's items, checks each item's product,
// distributes the items that need it in eight stages and writes the items back.
#include <cstdlib>
#include <cstring>
#include <new>

#include "autodist/NAutoDist.h"
#include "autodist/NDistMgr.h"
#include "entry/StatusCodes.h"
#include "platform/FixedText.h"
#include "platform/NMisc.h"
#include "platform/PlatformSystem.h"
#include "platform/Trace.h"

namespace {

constexpr uint32_t kStopPollMs = 100;

bool hasStatus(const ADistItem& item, const char* status) {
  return std::strcmp(item.m_szStatus, status) == 0;
}

// A policy without any section counts as none.
bool isEmptyPolicy(const NString& policy) {
  return policy.isEmpty() || policy == "<polProduct/>" || policy == "<polProduct />" ||
         policy == "<polProduct></polProduct>";
}

}  // namespace

// The file maps start empty rather than absent, so a stage called outside a pass finds nothing
// to do instead of a missing map; every item of a pass gets new ones.
NAutoDist::NAutoDist()
    : m_pState(std::make_unique<ADistSharedState>()),
      m_pIndexMap(std::make_unique<NFileMap>()),
      m_pStaleMap(std::make_unique<NFileMap>()) {
  std::memset(m_pState.get(), 0, sizeof(ADistSharedState));
  m_esw_equip_cfg = ProductTargetList{};
  m_strTimeText = NMisc::getCurrentTimeText();
  m_nTimeMark = plat::tickCount();
  m_nDialogCheckTick = m_nTimeMark;
  m_strLocalFolder = NMisc::getModuleFolder(NMisc::thisModule()) + "\\adist";
  NMisc::makePath(m_strLocalFolder.text());
  m_strServerPath = "/Corvane/dist/auto";
}

NAutoDist::~NAutoDist() {
  m_thread.wait(plat::kInfinite);
  m_pIndexMap.reset();
  m_pStaleMap.reset();
  freeProducts();
}

void NAutoDist::freeProducts() {
  std::free(m_esw_equip_cfg.pProd);
  m_esw_equip_cfg.pProd = nullptr;
  m_esw_equip_cfg.iProd = 0;
}

bool NAutoDist::initSetting(NDistMgr* manager) {
  m_pManager = manager;
  return manager != nullptr;
}

bool NAutoDist::createThread() {
  trace(2, "NAutoDist::createThread:\n");
  m_thread.wait(plat::kInfinite);  // the previous pass has ended; join it before the next
  m_bPassFinished = 0;             // a stop from now on waits for this pass
  m_bPassStarted = true;
  m_bThreadHandle = true;
  if (!m_thread.start([this] {
        run();
        m_bThreadHandle = false;
      })) {
    m_bThreadHandle = false;
    trace(1, "NAutoDist::createThread: _beginthreadex failed\n");
    return false;
  }
  plat::sleepMs(200);
  return true;
}

void NAutoDist::stop() {
  if (!m_bPassStarted.load()) return;
  m_bStopRequest = 1;
  trace(3, "NAutoDist::stop (1):\n");
  plat::sleepMs(kStopPollMs);
  while (m_bPassFinished.load() == 0) plat::sleepMs(kStopPollMs);
  m_bPassFinished = 0;
  m_bStopRequest = 0;
  trace(3, "NAutoDist::stop (2):\n");
}

void NAutoDist::run() {
  try {
    m_bPassFinished = 0;
    m_nPublications = 0;
    if (m_pManager != nullptr) {
      for (bool first = true; sweep(first); first = false) {
      }
    }
  } catch (...) {
    trace(1, "NAutoDist::run: pass ended by an exception\n");
  }
  m_bReport = 0;
  m_bPassFinished = 1;
}

// One sweep over the manager's items; false when the pass ends.
bool NAutoDist::sweep(bool first) {
  setCurrentServer("");
  ADistSharedState& state = *m_pState;
  int count = m_pManager->copyItems(state.m_items);
  state.m_nItemCount = count;
  publishAllItems();
  if (!first) {
    bool waiting = false;
    for (int i = 0; i < count && !waiting; ++i)
      waiting = hasStatus(state.m_items[i], auto_status::kWaiting);
    if (!waiting) return false;
  }
  for (int i = 0; i < count; ++i) {
    m_pIndexMap.reset(new (std::nothrow) NFileMap());
    m_pStaleMap.reset(new (std::nothrow) NFileMap());
    if (m_pIndexMap == nullptr || m_pStaleMap == nullptr) break;
    handleItem(state.m_items[i]);
    if (stopRequested()) break;
  }
  m_pManager->mergeItems(count, state.m_items);
  return !stopRequested();
}

int NAutoDist::findTarget(int32_t distId) const {
  if (m_esw_equip_cfg.pProd == nullptr) return -1;
  for (int i = 0; i < m_esw_equip_cfg.iProd; ++i)
    if (m_esw_equip_cfg.pProd[i].iDist_id == distId) return i;
  return -1;
}

void NAutoDist::handleItem(ADistItem& item) {
  trace(3, "NAutoDist::run(1): DIST: %d, %s\n", item.m_nDistId, item.m_szStatus);
  if (!initProduct(item.m_nDistId))
    trace(1, "NDistMgr::run()\t<1>\t\t- [FAIL] initProduct(%d) \n", item.m_nDistId);
  int target = findTarget(item.m_nDistId);
  NString policy;
  if (target >= 0) {
    ProductTarget& product = m_esw_equip_cfg.pProd[target];
    item.m_nUpdateId = product.iUpdate_id;
    publishItem(item);
    int failed = 0;
    Check_ChangedProductInstall(failed, target);
    if (failed == 0) trace(3, "NAutoDist::run: Check_ChangedProductInstall OK\n");
    char text[ProductTarget::kPolicySize];
    plat::setFixedText(text, product.pcPolicy);
    policy = text;
    policy.trimLeft();
    policy.trimRight();
  }
  if (target >= 0 && !isEmptyPolicy(policy)) {
    handleDetected(item, target);
  } else if (!hasStatus(item, auto_status::kComplete)) {
    m_bReinstall = 0;
    distributeItem(item, "NAutoDist::run(2): DIST: %d, %s\n");
  }
}

// The detection outcome of an item's target decides: failed, installed, or reinstall.
void NAutoDist::handleDetected(ADistItem& item, int targetIndex) {
  const ProductTarget& product = m_esw_equip_cfg.pProd[targetIndex];
  if (product.bDetectDone == 0) {
    trace(1, "[CHECK_POINT][FAIL] NAutoDist::run: [disk_id : %d, prod_index : %d] check xml "
             "parsing Error!\n", item.m_nDistId, targetIndex);
    m_bReport = 1;
    plat::setFixedText(item.m_szStatus, auto_status::kPolicyFailed);
    setStatus(item.m_nDistId, -1, auto_status::kPolicyFailed, "");
    updateDBDistStatus();
    return;
  }
  if (product.bReal_Installed != 0) {
    trace(1, "NAutoDist::run(4) [FALSE] m_esw_equip_cfg.pProd[nRowCount].bReal_Installed is "
             "TRUE.\n");
    m_bReport = 1;
    plat::setFixedText(item.m_szStatus, auto_status::kComplete);
    setStatus(item.m_nDistId, -1, auto_status::kComplete, "");
    updateDBDistStatus();
  } else if (!hasStatus(item, auto_status::kComplete)) {
    m_bReinstall = 1;
    plat::setFixedText(item.m_szStatus, auto_status::kWaiting);
    distributeItem(item, "NAutoDist::run(3): DIST: %d, %s\n");
  }
  if (product.bReal_Installed != product.bInstalled)
    trace(1, "NAutoDist::run(5) m_esw_equip_cfg.pProd[prod_index].bReal_Installed != "
             "m_esw_equip_cfg.pProd[prod_index].bInstalled.\n");
}

void NAutoDist::distributeItem(ADistItem& item, const char* runLine) {
  m_bDialogLaunched = 0;
  setStatus(item.m_nDistId, -1, auto_status::kRunStarted, "");
  trace(3, runLine, item.m_nDistId, item.m_szStatus);
  doAutoDist(item);
  publishItem(item);
  updateDBDistStatus();
}

// After a stage that succeeded: false when a stop was asked for.
bool NAutoDist::stageDone(ADistItem& item, int) {
  writeStateFile(1, item);
  return !stopRequested();
}

void NAutoDist::doAutoDist(ADistItem& item) {
  setErrorDetail("");
  if (!beginAttempt(item)) return;
  const int id = item.m_nDistId;
  const char* name = item.m_szName;
  if (!prepareIndex(item)) return;
  int fetched = 0;
  int removed = 0;
  if (!updateFiles(item, fetched, removed)) return;
  if (fetched != 0 || removed != 0 || m_bReinstall != 0) {
    trace(3, "NAutoDist::doAutoDist: (%d, %s) stage 8 (exec file)\n", id, name);
    if (!distFileExecute(item) || !stageDone(item, 8)) return;
  }
  plat::setFixedText(item.m_szStatus, auto_status::kComplete);
  reportStatus(id, -1, auto_status::kComplete, "", false);
  trace(3, "NAutoDist::doAutoDist: (%d, %s) complete\n", id, name);
  writeStateFile(2, item);
}

// A completed item, a stop, or an item whose attempts are used up is left alone; a failed item
// counts one more attempt. The item is distributing ("070") from here on.
bool NAutoDist::beginAttempt(ADistItem& item) {
  if (hasStatus(item, auto_status::kComplete) || stopRequested()) return false;
  if (!hasStatus(item, auto_status::kWaiting) && !hasStatus(item, auto_status::kStarted)) {
    if (item.m_nAttempts > m_pManager->getRetryCount()) return false;
    ++item.m_nAttempts;
  }
  plat::setFixedText(item.m_szStatus, auto_status::kStarted);
  return true;
}

// Stages 1 and 2: the index archive checked and the index loaded; the item's update id is then
// known, so it is reported from here on.
bool NAutoDist::prepareIndex(ADistItem& item) {
  const int id = item.m_nDistId;
  const char* name = item.m_szName;
  trace(3, "NAutoDist::doAutoDist: (%d, %s) stage 1 start\n", id, name);
  if (!idxFileCheck(item) || stopRequested()) return false;
  trace(3, "NAutoDist::doAutoDist: (%d, %s) stage 2 start\n", id, name);
  if (!idxFileLoad(item)) return false;
  writeStateFile(1, item);
  m_bReport = 1;
  publishItem(item);
  updateDBDistStatus();
  return !stopRequested();
}

// Stages 3 to 6: the destination compared, the changed files fetched and moved into place, and
// files the index no longer names removed when the item asks for it and the folder is safe.
bool NAutoDist::updateFiles(ADistItem& item, int& fetched, int& removed) {
  const int id = item.m_nDistId;
  const char* name = item.m_szName;
  trace(3, "NAutoDist::doAutoDist: (%d, %s) stage 3 start\n", id, name);
  if (!distFileCheck(item) || !stageDone(item, 3)) return false;
  trace(3, "NAutoDist::doAutoDist: (%d, %s) stage 4 start\n", id, name);
  if (!distFileDownload(item, fetched) || !stageDone(item, 4)) return false;
  trace(3, "NAutoDist::doAutoDist: (%d, %s) stage 5start\n", id, name);
  if (!distFileCopy(item) || !stageDone(item, 5)) return false;
  if (std::strcmp(item.m_szCleanUp, "Y") != 0) return true;
  trace(3, "NAutoDist::doAutoDist: (6) \n");
  if (isSafeToDelete(item)) {
    trace(3, "NAutoDist::doAutoDist: (7) \n");
    removeStaleFiles(item, removed);
  }
  return stageDone(item, 6);
}

bool NAutoDist::fail(ADistItem& item, const char* logLine, const char* status,
                     const char* detail) {
  if (logLine != nullptr) trace(1, "%.2047s", logLine);
  plat::setFixedText(item.m_szStatus, status);
  setErrorDetail(detail ? detail : "");
  reportStatus(item.m_nDistId, 0, status, "", false);
  return false;
}

NString NAutoDist::catalogueText(int key) {
  NString id;
  id.format("%d", key);
  return NMisc::getMessage(NMisc::thisModule(), id.text(), "");
}

NString NAutoDist::packageFolder(const ADistItem& item) const {
  NString folder;
  folder.format("%s\\%d", m_strLocalFolder.text(), item.m_nDistId);
  return folder;
}

// Moves the time text on by the whole seconds since the last use; the rest stays in the mark.
void NAutoDist::advanceClock() {
  uint32_t now = plat::tickCount();
  uint32_t seconds = (now - m_nTimeMark) / 1000;
  m_nTimeMark += seconds * 1000;
  NString advanced = NMisc::addSecondsToTimeText(m_strTimeText.text(), static_cast<long>(seconds));
  if (!advanced.isEmpty()) m_strTimeText = advanced;
}
