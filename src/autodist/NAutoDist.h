// NAutoDist: the automatic-distribution worker. The manager thread owns one for its life and
// starts one pass at a time on the worker's own thread. A pass copies the manager's items,
// checks each item's product with detection, brings the items that need it up to date in eight
// stages (index fetch and load, destination check, download, copy, clean-up, program run) and
// writes the items back. Status goes to the shared state block, the registry (for the dialog),
// the gateway and an optional state file in the destination.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "autodist/ADistItem.h"
#include "detect/ProductTarget.h"
#include "platform/NFileMap.h"
#include "platform/NString.h"
#include "platform/PlatformSync.h"

class NDistMgr;
class NDownload;

class NAutoDist {
 public:
  NAutoDist();
  virtual ~NAutoDist();
  NAutoDist(const NAutoDist&) = delete;
  NAutoDist& operator=(const NAutoDist&) = delete;

  // --- pass (NAutoDistRun.cpp) ---
  bool initSetting(NDistMgr* manager);
  bool isRunning() const { return m_bThreadHandle.load(); }
  bool createThread();
  // Asks a running pass to end after its current file operation and waits for it.
  void stop();
  void run();
  void doAutoDist(ADistItem& item);

  // --- index (NAutoDistIndex.cpp) ---
  bool idxFileCheck(ADistItem& item);
  bool idxFileLoad(ADistItem& item);

  // --- destination, download, copy, clean-up (NAutoDistFiles.cpp, NAutoDistDownload.cpp) ---
  bool distFileCheck(ADistItem& item);
  bool distFileDownload(ADistItem& item, int& fetched);
  bool distFileCopy(ADistItem& item);
  bool isSafeToDelete(ADistItem& item);
  bool removeStaleFiles(ADistItem& item, int& removed);
  bool makeFolderPath(const char* path, bool withoutLastComponent);
  bool countFiles(const char* folder, bool subFolders, int& count);
  bool compareFolder(ADistItem& item, int total);
  bool checkDiskSpace(ADistItem& item);
  uint64_t getDiskFreeSpace(char driveLetter);

  // --- execution and dialog (NAutoDistExec.cpp) ---
  bool distFileExecute(ADistItem& item);
  void getExecuteAccountType(const ADistItem& item, int& mode, int& configValue);
  void execDtDlg();

  // --- status (NAutoDistStatus.cpp) ---
  void setStatus(int32_t distId, int percent, const char* status, const char* text);
  void reportStatus(int32_t distId, int percent, const char* status, const char* text,
                    bool quiet);
  void setDisplay();
  void writeStateFile(int mark, const ADistItem& item);
  void updateDBDistStatus();

  // --- installed-product check (NAutoDistProduct.cpp) ---
  bool initProduct(int32_t distId);
  bool Check_ChangedProductInstall(int& failed, int targetIndex);

  // --- state the manager, tools and tests read ---
  const ADistSharedState& sharedState() const { return *m_pState; }
  const NString& errorDetail() const { return m_strErrorDetail; }
  const NString& localFolder() const { return m_strLocalFolder; }
  bool stopRequested() const { return m_bStopRequest.load() != 0; }

 private:
  friend class NAutoDistTestAccess;

  // Sets the item's status and the error detail from catalogue keys, reports, returns false.
  bool fail(ADistItem& item, const char* logLine, const char* status, const char* detail);
  NString catalogueText(int key);
  NString packageFolder(const ADistItem& item) const;
  // Fetches the index archive from the servers in order; true when a copy with the right
  // digest is in the local folder.
  bool fetchIndexArchive(ADistItem& item, const NString& remote, const NString& local,
                         const char* errorLine);
  bool connectServer(NDownload& download);
  void advanceClock();

  std::atomic<bool> m_bThreadHandle{false};
  plat::Thread m_thread;
  uint32_t m_bDialogLaunched = 0;
  std::atomic<uint32_t> m_bPassFinished{0};
  std::atomic<uint32_t> m_bStopRequest{0};
  uint32_t m_nPublications = 0;
  uint32_t m_nDialogCheckTick = 0;
  NString m_strLocalFolder;
  NString m_strServerPath;
  NString m_strCurrentServer;
  NDistMgr* m_pManager = nullptr;
  std::unique_ptr<ADistSharedState> m_pState;
  plat::CriticalSection m_statusLock;  // one status record update or copy at a time
  std::unique_ptr<NFileMap> m_pIndexMap;
  std::unique_ptr<NFileMap> m_pStaleMap;
  std::atomic<uint32_t> m_bReport{0};
  NString m_strErrorDetail;
  ProductTargetList m_esw_equip_cfg;
  NString m_strTimeText;
  uint32_t m_nTimeMark = 0;
  uint32_t m_bReinstall = 0;
};
