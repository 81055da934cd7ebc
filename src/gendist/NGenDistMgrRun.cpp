// The manager thread: waits on stop, insert and worker-end events, starts one worker per job,
// applies urgent cancels and ban periods, and drains the queue when it must drop jobs.
#include <cstring>
#include <memory>

#include "entry/NModuleState.h"
#include "entry/StatusCodes.h"
#include "gendist/CurrentDist.h"
#include "gendist/NGenDist.h"
#include "gendist/NGenDistMgr.h"
#include "platform/NMisc.h"
#include "platform/PlatformSystem.h"
#include "platform/Trace.h"

namespace {

constexpr uint32_t kPassWaitMs = 2000;
constexpr uint32_t kMaxPass = 10000000;
constexpr int kBanCheckEvery = 5;

bool isUrgentCode(int32_t code) { return code >= 5 && code <= 8; }

bool isValidRecord(const ThreadCommand& command) {
  return command.m_pData != nullptr && command.m_nSize == DistCommandRecord::kSize;
}

// One job on the worker thread: settings, pipeline, the report after a stop, the final
// database write, and the end signal.
void runWorker(const DistCommandRecord& record, plat::Event& stop, plat::Event& end) {
  NGenDist job;
  trace(3, "NGenDistMgr: pcCallArgs:%.2047s, pcEquipCfg:%.2047s, bStop: %d\n", record.m_szCallArgs,
        record.m_szEquipCfg, static_cast<int>(record.m_bStop));
  job.setDialogParameter(NModuleState::dialogParameter().text());
  int distId = 0;
  bool ok = false;
  if (!job.initSetting(record, distId)) {
    trace(1, "NGenDistMgr: initSetting failed, pcCallArgs:%.2047s, pcEquipCfg:%.2047s \n",
          record.m_szCallArgs, record.m_szEquipCfg);
  } else if (distId > 0 && CurrentDist::runningDistId() == distId) {
    trace(1, "NGenDistMgr::NDistProc: dist(%d) Already Being..! \n", distId);
    job.report(1, 1, commanded_status::kAlreadyRunning);
  } else {
    CurrentDist::set(record.m_content);
    ok = job.doDistNormal(&stop) != 0;
    if (!ok)
      trace(1, "NGenDistMgr: doDistNormal failed, pcCallArgs:%.2047s, pcEquipCfg:%.2047s \n",
            record.m_szCallArgs, record.m_szEquipCfg);
  }
  if (!ok) {
    int32_t reason = CurrentDist::stopReason();
    if (reason == kStopBanPeriod) job.report(1, 1, commanded_status::kBanPeriod);
    else if (reason == kStopManager) job.report(1, 1, commanded_status::kManagerStopped);
    else if (reason == kStopCancelByActor || reason == kStopCancelByDistId)
      job.report(1, 1, commanded_status::kUrgentCancel);
  }
  uint32_t actor = record.m_content.m_nActorKind;
  if (actor == 0 || (actor == 1 && job.status() != commanded_status::kAgreementRefused))
    job.updateDBDistResult();
  CurrentDist::clear();
  stop.reset();
  end.set();
}

}  // namespace

uint32_t NGenDistMgr::nextPass(uint32_t pass) { return (pass % kMaxPass) + 1; }

void NGenDistMgr::advanceClock() {
  plat::CriticalSectionLock lock(m_csSettings);
  uint32_t now = plat::tickCount();
  long elapsed = static_cast<long>((now - m_nLastTick) / 1000);
  m_nLastTick = now;
  NString advanced = NMisc::addSecondsToTimeText(m_strCurTime.text(), elapsed);
  if (!advanced.isEmpty()) m_strCurTime = advanced;
}

void NGenDistMgr::endThread() {
  trace(3, "NGenDistMgr::run: thread stop\n");
  m_bThreadHandle = false;
  m_bThreadStopped = 1;
}

void NGenDistMgr::run() {
  trace(3, "NGenDistMgr::run: thread start\n");
  m_hEvent.reset();
  m_hEventEnd.reset();
  m_hEventStop.reset();
  m_bThreadStopped = 0;
  DoBatch_COMPLETED_DT_DELETE();
  bool jobRunning = false;
  bool exitPending = false;
  uint32_t pass = 0;
  plat::Event* events[] = {&m_hEvent, &m_evtInsert, &m_hEventEnd};
  for (;;) {
    int index = plat::waitForAny(events, kPassWaitMs);
    advanceClock();
    if (index == 0) {
      trace(1, "NGenDistMgr::run: exit\n");
      m_hEvent.reset();
      exitPending = true;
      ReportAllCommandQueuedDistStop(2);
      if (!jobRunning) break;
      CurrentDist::setStopReason(kStopManager);
      m_hEventStop.set();
      trace(5, "NGenDistMgr::run: Thread End. Signaled Pending.. While Stop RecvData \n");
    } else if (index == 2) {
      jobRunning = false;
      m_hEventEnd.reset();
      if (CurrentDist::stopReason() == kStopBanPeriod) CurrentDist::setStopReason(kStopNone);
      trace(1, "NGenDistMgr::run: SingleType Working Thread End Signaled...!!! \n ");
      if (exitPending) {
        trace(1, "NGenDistMgr:: Thread Pended End Complete! \n");
        break;
      }
    } else {
      passOnQueue(jobRunning, pass);
    }
    pass = nextPass(pass);
  }
  endThread();
}

// One pass woken by the insert event or the time-out: ban check, busy check, next command.
void NGenDistMgr::passOnQueue(bool& jobRunning, uint32_t pass) {
  if (pass % kBanCheckEvery == 0 && BanDT_PeriodTime()) {
    ReportAllCommandQueuedDistStop(1);
    if (jobRunning) {
      CurrentDist::setStopReason(kStopBanPeriod);
      m_hEventStop.set();
    }
    trace(10, "NGenDistMgr::run: curr time is BanDT_PeriodTime.! \n");
    return;
  }
  bool urgentFirst = false;
  {
    plat::CriticalSectionLock lock(m_csQueue);
    urgentFirst = !m_queue.empty() && isUrgentCode(m_queue.front().m_nCode);
  }
  if (jobRunning && !urgentFirst) {
    trace(10, "NGenDistMgr::run: SingleType Working Thread Being...!!! \n ");
    return;
  }
  handleCommand(jobRunning);
}

void NGenDistMgr::handleCommand(bool& jobRunning) {
  int waiting = 0;
  if (!count(waiting)) return;
  trace(5, "NGenDistMgr::run: Recv. COMMAND\n");
  trace(5, "NGenDistMgr::run: INSERT_CMD_QUEUE event Fired!\n");
  ThreadCommand command;
  int remaining = 0;
  GetNextCommand(command, remaining);
  trace(3, "NGenDistMgr::run: GetNextCommand SUCC! code=%d\n", command.m_nCode);
  if (command.m_nCode == kRunGenDistFromCommandProc || command.m_nCode == kRunGenDistOuterRequest) {
    trace(3, "NGenDistMgr::run: RUN_GEN_DIST_FROM_COMMANDPROC Recvd. \n");
    if (isValidRecord(command))
      jobRunning = startWorker(*static_cast<const DistCommandRecord*>(command.m_pData));
  } else if (command.m_nCode == kUrgentTopCancelForce && command.m_pData != nullptr &&
             command.m_nSize == sizeof(UrgentCancelRecord)) {
    UrgentCancelRecord cancel;
    std::memcpy(&cancel, command.m_pData, sizeof cancel);
    if (jobRunning) applyUrgentCancel(cancel);
  }
  releaseCommandPayload(command);
}

bool NGenDistMgr::startWorker(const DistCommandRecord& record) {
  m_workerThread.wait(plat::kInfinite);  // the previous worker has signalled its end already
  // A stop signalled for the previous job after that job had ended (a ban check made between
  // the worker's end and this thread taking its end signal) must not stop this one.
  m_hEventStop.reset();
  auto block = std::make_shared<DistCommandRecord>(record);
  return m_workerThread.start([this, block] { runWorker(*block, m_hEventStop, m_hEventEnd); });
}

void NGenDistMgr::applyUrgentCancel(const UrgentCancelRecord& cancel) {
  DistContent running = CurrentDist::get();
  bool sameDist = running.m_nDistId > 0 && running.m_nDistId == cancel.m_nDistId;
  if (cancel.m_nActorKind == 0 && sameDist) {
    CurrentDist::setStopReason(kStopCancelByDistId);
    m_hEventStop.set();
  } else if (cancel.m_nActorKind == 1 && sameDist && running.m_nActorKind == 1 &&
             cancel.m_nActorProcessId != 0 &&
             cancel.m_nActorProcessId == running.m_nActorProcessId) {
    CurrentDist::setStopReason(kStopCancelByActor);
    m_hEventStop.set();
  }
}

void NGenDistMgr::ReportAllCommandQueuedDistStop(int mode) {
  trace(5, "NGenDistMgr::ReportAllCommandQueuedDistStop: START\n");
  int waiting = 0;
  while (count(waiting)) {
    trace(5, "NGenDistMgr::ReportAllCommandQueuedDistStop: INSERT_CMD_QUEUE event Fired!\n");
    ThreadCommand command;
    int remaining = 0;
    GetNextCommand(command, remaining);
    trace(3, "NGenDistMgr::ReportAllCommandQueuedDistStop: GetNextCommand SUCC! code=%d\n",
          command.m_nCode);
    bool isJob = command.m_nCode == kRunGenDistFromCommandProc ||
                 command.m_nCode == kRunGenDistOuterRequest;
    if (isJob) {
      trace(3, "NGenDistMgr::ReportAllCommandQueuedDistStop: %u cmd code CASE. \n",
            static_cast<unsigned>(command.m_nCode));
      if (isValidRecord(command))
        reportDropped(*static_cast<const DistCommandRecord*>(command.m_pData), mode);
    }
    releaseCommandPayload(command);
  }
}

void NGenDistMgr::reportDropped(const DistCommandRecord& record, int mode) {
  auto copy = std::make_unique<DistCommandRecord>(record);
  NGenDist job;
  trace(3, "NGenDistMgr::ReportAllCQDS: pcCA:%.2047s, pcEC:%.2047s, bStop: %d\n", copy->m_szCallArgs,
        copy->m_szEquipCfg, static_cast<int>(copy->m_bStop));
  int distId = 0;
  if (job.initSetting(*copy, distId)) {
    job.report(1, 1, mode == 1 ? commanded_status::kBanPeriod : commanded_status::kManagerStopped);
  } else {
    trace(1, "NGenDistMgr:ReportAllCQDS: initSetting failed, pcCA:%.2047s, pcEC:%.2047s \n",
          copy->m_szCallArgs, copy->m_szEquipCfg);
  }
  job.updateDBDistResult();
}
