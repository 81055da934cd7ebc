// NGenDist: one commanded distribution job. It takes its settings from the posted command
// record, runs the pipeline (consent, index, disk check, parts, extraction, registry import,
// system files, program) and reports every step to the host, the progress dialog and, at the
// end, the database gateway. One object per worker thread; nothing here is shared but the
// module-wide index lock.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "gendist/DistCommandRecord.h"
#include "net/NDownload.h"
#include "platform/NString.h"
#include "platform/NStringArray.h"
#include "platform/PlatformSync.h"

class NTransferThread;

class NGenDist {
 public:
  NGenDist();
  virtual ~NGenDist();
  NGenDist(const NGenDist&) = delete;
  NGenDist& operator=(const NGenDist&) = delete;

  // --- settings (NGenDistSettings.cpp) ---
  // Reports "071", takes the record and parses its texts; on failure reports "920".
  int initSetting(const DistCommandRecord& record, int& distId);
  int parseCallArgs(const char* callArgs);
  int parseEquipCfg(const char* equipCfg);
  int set(const DistContent& content);

  // --- pipeline (NGenDistPipeline.cpp, NGenDistIndex.cpp) ---
  // Runs the job to "060" (1) or to the status of the step that failed (0).
  int doDistNormal(plat::Event* stopEvent);
  int downloadIdxFile(const char* address, plat::Event* stopEvent);
  int checkIdxFile();
  int idxFileLoad(const char* indexPath);
  int checkDiskSpace();
  int downloadFiles(const char* address, plat::Event* stopEvent);
  int extractPackage();
  int copySysFile();
  // Where the package is extracted, from the base folder.
  NString targetFolder() const;

  // --- execution (NGenDistExec.cpp) ---
  int registRegFile();
  int execFile();
  void execDtnDlg();
  int SwGiveStatusFlag(int softwareId, uint32_t& flags);
  // The account kind (1 logon program, 2 own token hidden, 3 own token shown) and the ini
  // override value that was read.
  void resolveAccount(int& kind, int& overrideValue);

  // --- reporting (NGenDistReport.cpp) ---
  void report(int sendNow, int dialog, const char* status);
  void report(int sendNow, int dialog, const char* status, const char* detail, int append);
  void rptToServer(int sendNow, int dialog);
  void sendResultFile(uint32_t cmdId, const char* timeText, const char* status,
                      const char* detail);
  int updateDBDistResult();
  void dialogUpdate(int progress, const char* status, const char* text, int noLaunch);
  // The words that explain a status to people.
  NString textForStatus(const char* status);
  // Builds a job from a refused record and, when its settings parse, reports the status.
  static void reportForRecord(const DistCommandRecord& record, int sendNow, int dialog,
                              const char* status);

  // The module-wide lock that serialises the shared index extraction folder.
  static plat::CriticalSection& indexLock();

  // --- state the manager and worker read ---
  const NString& status() const { return m_strStatus; }
  const NString& detail() const { return m_strDetail; }
  const NString& distId() const { return m_strDistId; }
  uint32_t cmdId() const { return m_nCmdId; }
  const DistCommandRecord& record() const { return *m_pRecord; }
  void setDialogParameter(const char* text) { m_strDlgParam = text ? text : ""; }

 private:
  friend class NGenDistTestAccess;

  // The pipeline after the consent and kind checks: index, disk, parts, then the install steps.
  int runDownloadPhase(plat::Event* stopEvent);
  // Tries the addresses in order; address receives the one whose index was fetched and loaded.
  bool fetchIndex(plat::Event* stopEvent, NString& address);
  int runInstallSteps();
  NString partName(uint32_t part) const;
  void moveExtractedIndex(const NString& extraction, const NString& index);
  void loadSystemFiles(const NString& line);
  bool loadPartLine(const NString& line);
  // One part's turn in downloadFiles: where it goes, and whether it was already present with
  // its digest (kept) or is being fetched.
  struct PartTurn {
    uint32_t index = 0;
    NString local;
    NString remote;
    NString expected;
    bool kept = false;
  };
  PartTurn beginPart(uint32_t index, NDownload& download, NTransferThread& transfers);
  bool checkPart(const PartTurn& part, NTransferThread& transfers);

  // Loads the step texts T1901..T1920 from the catalogue.
  void loadStepTexts();
  const NString& stepText(int id) const;
  // Elapsed whole seconds since the last tick, added to the total and to the time text.
  void advanceClock();
  NString moduleFolder() const;
  NString jobFolder() const;

  std::unique_ptr<DistCommandRecord> m_pRecord;
  uint32_t m_nCmdId = 0;
  NString m_strCurTime;

  // From the call arguments and the equipment configuration.
  bool m_bShowProgress = false;
  int m_nReportInterval = 10;
  NStringArray m_arrAddresses;

  // From the content.
  NString m_strDistId;
  NString m_strDistName;
  NString m_strVersion;
  NString m_strBaseFolder;
  NString m_strDescr;
  int m_bAgree = 0;
  int m_bPublic = 0;
  NString m_strExecFile;
  NString m_strExecOpt;
  NString m_strExecUser;
  NString m_strRegFile;
  uint32_t m_nSplitCount = 0;
  NString m_strSize;
  uint32_t _compressed_file_size_sum = 0;
  uint32_t m_nField19 = 0;
  uint32_t m_nField13 = 0;
  NString m_strIdxFileDigest;
  int _n_dt_proc_type = 0;
  int _sw_id = 0;
  NString _szSwInstallPlatformString;
  uint32_t _n_dt_actor = 0;
  uint32_t _n_dt_actor_process_id = 0;
  uint32_t _n_dt_actor_session_id = 0;

  // Reporting state.
  NString m_strStatus;
  NString m_strDetail;
  uint32_t m_nLastTick = 0;
  int m_nTotalElapsed = 0;
  int m_nLastSentElapsed = 0;
  int m_nProgress = 0;
  int m_nDlgUpdateCount = 1;
  bool m_bDlgStarted = false;
  std::map<int, NString> m_mapStepTexts;

  // Pipeline and execution state.
  NStringArray m_arrSysFiles;
  NStringArray m_arrPartDigests;
  int m_nIgnoreExitCode = 0;
  NString m_strDlgParam;
};
