// NGenDistMgr: the commanded-distribution manager. It owns the command queue, the manager
// settings from the equipment configuration (ban periods, deletion list), the manager thread
// that starts one worker per job, and the rules for duplicates, busy refusals and urgent
// cancels. Exports call post, initSetting, createThread and setEvent on the host's thread.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "gendist/DistCommandRecord.h"
#include "gendist/NThreadCmdQueue.h"
#include "platform/NString.h"
#include "platform/NStringArray.h"
#include "platform/PlatformSync.h"

// UrgentCancelRecord: 9 words laid out by the host; words 1-4 as in DistContent, word 5 the
// command id.
struct UrgentCancelRecord {
  uint32_t m_nWord0;
  uint32_t m_nActorKind;
  uint32_t m_nActorProcessId;
  uint32_t m_nActorSessionId;
  int32_t m_nDistId;
  uint32_t m_nCmdId;
  uint32_t m_nCarried[3];
};
static_assert(sizeof(UrgentCancelRecord) == 36);

class NGenDistMgr : public NThreadCmdQueue {
 public:
  struct DeleteEntry {
    int32_t m_nDistId;
    char m_szFolder[260];
  };

  NGenDistMgr();
  ~NGenDistMgr() override;

  int releaseCommandPayload(ThreadCommand& command) override;

  // Stores the current time text and parses the manager fields of the equipment configuration.
  int initSetting(const char* curTime, const char* callArgs, const char* equipCfg,
                  const char* contents, int mode);
  // Parses the manager fields under the settings lock.
  int parseEquipCfg(const char* equipCfg);
  bool threadExists() const { return m_bThreadHandle.load(); }
  int createThread();
  // Stops the manager thread and waits for its end; then ends a running progress dialog.
  void setEvent();
  // Queues a command (the post owns its data block from now on). Non-zero when queued.
  int post(int32_t distId, uint32_t actorKind, uint32_t actorSessionId, ThreadCommand command,
           int* queueLength, int urgent);

  int firstConfigNumber();
  // The manager thread's pass counter after pass: 1 to 10,000,000, wrapping to 1, never 0.
  static uint32_t nextPass(uint32_t pass);
  // True when the current time of day lies in a ban period.
  bool BanDT_PeriodTime();
  void DoBatch_COMPLETED_DT_DELETE();
  int updateDB_DistDeleteOK(const char* distIds);
  void ReportAllCommandQueuedDistStop(int mode);

 private:
  friend class NGenDistMgrTestAccess;

  void run();
  void endThread();
  void passOnQueue(bool& jobRunning, uint32_t pass);
  void handleCommand(bool& jobRunning);
  void reportDropped(const DistCommandRecord& record, int mode);
  bool startWorker(const DistCommandRecord& record);
  void applyUrgentCancel(const UrgentCancelRecord& cancel);
  void advanceClock();
  bool isDuplicate(int32_t distId);
  void refuseOuterRequest(bool busy, uint32_t actorSessionId);

  plat::Thread m_thread;
  std::atomic<bool> m_bThreadHandle{false};  // the thread has started and not yet ended
  // The stop event and the two worker events live as long as the manager; a thread start
  // resets them. m_hEvent counts as present only while the thread runs.
  plat::Event m_hEvent{true, false};
  plat::Event m_hEventEnd{true, false};    // hEventEnd_SingleTypeWorkerThread
  plat::Event m_hEventStop{false, false};  // hEventStop_RecvData
  plat::Thread m_workerThread;

  plat::CriticalSection m_csSettings;
  uint32_t m_nLastTick CVDT_GUARDED_BY(m_csSettings) = 0;
  NString m_strCurTime CVDT_GUARDED_BY(m_csSettings);
  std::atomic<int> m_bThreadStopped{1};
  int m_nConfig[4] CVDT_GUARDED_BY(m_csSettings) = {0, 60, 0, 0};
  bool m_bBanCheck CVDT_GUARDED_BY(m_csSettings) = false;
  NStringArray m_arrBanStart CVDT_GUARDED_BY(m_csSettings);
  NStringArray m_arrBanEnd CVDT_GUARDED_BY(m_csSettings);
  std::vector<DeleteEntry> m_listDelete CVDT_GUARDED_BY(m_csSettings);
};
