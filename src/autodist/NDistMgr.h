// NDistMgr: the automatic-distribution manager. It keeps the item list, the distribution
// servers and the policy settings from the host's texts, and owns the manager thread that wakes
// every 100 ms, starts a pass of its worker (NAutoDist) at the run interval or at once when an
// export asks, and has the worker report its status at the status interval. Exports call
// initSetting, isRunning, createThread and setEvent on the host's thread; the worker reads the
// lists only through copyItems, mergeItems, getNextServer and the setting getters.
#pragma once

#include <atomic>
#include <cstdint>

#include "autodist/ADistItem.h"
#include "platform/NString.h"
#include "platform/NStringArray.h"
#include "platform/PlatformSync.h"

class NAutoDist;

class NDistMgr {
 public:
  static constexpr int kTicksPerMinute = 600;  // one tick is 100 ms
  static constexpr int kModeNow = 1;
  static constexpr int kModeCommand = 2;
  static constexpr int kModePeriodic = 3;

  NDistMgr();
  virtual ~NDistMgr();
  NDistMgr(const NDistMgr&) = delete;
  NDistMgr& operator=(const NDistMgr&) = delete;

  // Parses the host's texts under the lock; modes 1 and 2 ask for a pass at once.
  bool initSetting(const char* curTime, const char* callArgs, const char* equipCfg,
                   const char* contents, int mode);
  bool enumConfig(const char* callArgs, const char* equipCfg, int mode) CVDT_REQUIRES(m_lock);
  void resetSetting();

  void addADist(const char* distId, const char* name, const char* digest, const char* status,
                uint32_t cmd);
  ADistItem* findADist(const char* distId);
  bool hasOpenNowItem();
  // Copies at most 100 items (newest first) into items, clearing their fresh-command marks.
  int copyItems(ADistItem* items);
  // Writes a pass's items back, except those re-commanded while the pass ran.
  void mergeItems(int count, const ADistItem* items);
  int getRetryCount() const { return m_nRetryCount; }
  bool isShowDialog() const { return m_bShowDialog != 0; }
  // The server after current (the first when current is empty); empty past the end.
  NString getNextServer(const char* current);

  bool isRunning() const { return m_bThreadHandle.load(); }
  bool createThread();
  // Stops the manager thread, waits for its end, resets the settings and ends the dialog.
  void setEvent();
  void killDialog(const char* imageName);

  // Settings, for tests and tools.
  int getRunInterval() const { return m_nRunInterval; }
  int getStatusInterval() const { return m_nStatusInterval; }
  const NStringArray& servers() const { return m_arrServers; }

 private:
  friend class NDistMgrTestAccess;

  void run();
  void runLoop(NAutoDist& worker);
  void onTick(NAutoDist& worker, uint32_t& tick);
  void freeItems();
  void updateItem(ADistItem& item, const char* name, const char* digest, int mode)
      CVDT_REQUIRES(m_lock);
  void applyCallArgs(const NStringArray& args) CVDT_REQUIRES(m_lock);
  void enumItems(const NString& field, int mode) CVDT_REQUIRES(m_lock);
  void parseServers(const NString& field) CVDT_REQUIRES(m_lock);

  plat::Thread m_thread;
  std::atomic<bool> m_bThreadHandle{false};
  // The stop event lives as long as the manager, so that a stop racing with the thread's end
  // never signals a destroyed event; m_hEvent points at it only while the thread runs.
  plat::Event m_stopEvent{false, false};
  std::atomic<plat::Event*> m_hEvent{nullptr};
  std::atomic<uint32_t> m_bRunNow{0};
  std::atomic<uint32_t> m_bDialogNow{0};
  plat::CriticalSection m_lock;
  uint32_t m_nLastCallTick CVDT_GUARDED_BY(m_lock) = 0;
  NString m_strCurTime CVDT_GUARDED_BY(m_lock);
  std::atomic<uint32_t> m_bThreadEnded{1};
  NStringArray m_arrServers CVDT_GUARDED_BY(m_lock);
  NString m_strEquip CVDT_GUARDED_BY(m_lock);
  std::atomic<int> m_nRetryCount{0};
  std::atomic<int> m_nRunInterval{60};
  std::atomic<int> m_bShowDialog{0};
  std::atomic<int> m_nStatusInterval{0};
  ADistItemNode* m_pItems CVDT_GUARDED_BY(m_lock) = nullptr;
  std::atomic<NAutoDist*> m_pWorker{nullptr};  // the manager thread's worker while the thread runs
};
