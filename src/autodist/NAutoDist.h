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
class NLinkGuard;
class NStringArray;

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
  // The manager thread reads the error detail and the current server while a pass runs: the
  // pass writes them only through these setters, which take the status lock.
  NString errorDetail();
  void setErrorDetail(const NString& text);
  NString currentServer();
  void setCurrentServer(const NString& server);
  const NString& localFolder() const { return m_strLocalFolder; }
  bool stopRequested() const { return m_bStopRequest.load() != 0; }

 private:
  friend class NAutoDistTestAccess;
  friend class NAutoDistStagesTestAccess;

  // Sets the item's status and the error detail from catalogue keys, reports, returns false.
  bool fail(ADistItem& item, const char* logLine, const char* status, const char* detail);
  NString catalogueText(int key);
  NString packageFolder(const ADistItem& item) const;
  // Fetches the index archive from the servers in order; true when a copy with the right
  // digest is in the local folder.
  bool fetchIndexArchive(ADistItem& item, const NString& remote, const NString& local,
                         const char* errorLine);
  bool connectServer(NDownload& download);
  // One line of the index file into the item or the index map; 0, or the invalid-format case.
  int loadIndexLine(int number, const NString& line, ADistItem& item, NFileData*& current);
  // Stage 5 for one entry: its folder made or its file moved into the destination.
  bool copyEntry(ADistItem& item, const NFileData& entry, const NString& package,
                 NLinkGuard& links);
  bool copyFailed(ADistItem& item, const NString& source, const NString& target);
  // Stage 4 helpers (NAutoDistDownload.cpp): the server when stage 1 used the local archive,
  // one index entry, one part, and the stage's two failure reports (both return false).
  bool chooseServer(ADistItem& item);
  bool downloadEntries(ADistItem& item, int totalParts);
  bool downloadEntry(ADistItem& item, NDownload& download, const NFileData& entry, int& handled,
                     int totalParts);
  bool downloadPart(ADistItem& item, NDownload& download, const NFileData& entry, uint32_t part);
  bool downloadFailed(ADistItem& item, const NString& remote, const NString& local);
  bool downloadStopped(ADistItem& item, int stopCase);
  void advanceClock();

  // The steps of doAutoDist (NAutoDistRun.cpp); each is false when the item goes no further.
  bool beginAttempt(ADistItem& item);
  bool prepareIndex(ADistItem& item);
  bool updateFiles(ADistItem& item, int& fetched, int& removed);

  // The pass's sweeps (NAutoDistRun.cpp): false when the pass ends.
  bool sweep(bool first);
  void handleItem(ADistItem& item);
  int findTarget(int32_t distId) const;
  void handleDetected(ADistItem& item, int targetIndex);
  void distributeItem(ADistItem& item, const char* runLine);
  // Keeps the update id of an item where the manager thread may read it (status lock).
  void publishItem(const ADistItem& item);
  void publishAllItems();
  // A copy of the whole block (status lock), as the registry and the dialog get it.
  void copyState(ADistSharedState& out);
  bool stageDone(ADistItem& item, int stage);
  bool storeProducts(NStringArray& rows);
  bool recordChangedTarget(const ProductTarget& target);
  void traceChangedTarget(const ProductTarget& target, int index);
  void freeProducts();

  std::atomic<bool> m_bThreadHandle{false};
  plat::Thread m_thread;
  std::atomic<uint32_t> m_bDialogLaunched{0};
  std::atomic<uint32_t> m_bPassFinished{0};
  std::atomic<uint32_t> m_bStopRequest{0};
  std::atomic<uint32_t> m_nPublications{0};
  std::atomic<uint32_t> m_nDialogCheckTick{0};
  std::atomic<bool> m_bPassStarted{false};  // a pass was started since construction
  NString m_strLocalFolder;
  NString m_strServerPath;
  // Written under m_statusLock by the pass thread, its only writer, which reads it without the
  // lock; other threads read it through currentServer().
  NString m_strCurrentServer;
  NDistMgr* m_pManager = nullptr;
  std::unique_ptr<ADistSharedState> m_pState;
  plat::CriticalSection m_statusLock;  // one status record update or copy at a time
  std::unique_ptr<NFileMap> m_pIndexMap;
  std::unique_ptr<NFileMap> m_pStaleMap;
  std::atomic<uint32_t> m_bReport{0};
  NString m_strErrorDetail CVDT_GUARDED_BY(m_statusLock);
  // Distribution id and update id of each item of the array.
  struct UpdateIdEntry {
    int32_t m_nDistId;
    int32_t m_nUpdateId;
  };
  UpdateIdEntry m_updateIds[ADistSharedState::kMaxItems] CVDT_GUARDED_BY(m_statusLock) = {};
  int m_nUpdateIds CVDT_GUARDED_BY(m_statusLock) = 0;
  ProductTargetList m_esw_equip_cfg;
  NString m_strTimeText;
  uint32_t m_nTimeMark = 0;
  uint32_t m_bReinstall = 0;
};
