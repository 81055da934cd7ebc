// NGenDist reporting: the status and detail of the job reach the host (result queue or files),
// the progress dialog's registry record and, at the end, the database gateway.
#include <cstdlib>
#include <cstring>

#include "detect/NRegistry.h"
#include "entry/NReportDataImpl.h"
#include "entry/StatusCodes.h"
#include "gendist/NDtDlgRecord.h"
#include "gendist/NGenDist.h"
#include "net/NDBQuery.h"
#include "platform/NMisc.h"
#include "platform/NMsgFile.h"
#include "platform/PlatformSystem.h"
#include "platform/Trace.h"

namespace {

constexpr int kCommandResultCode = 4386;
constexpr int kStepTextIds[] = {1901, 1902, 1903, 1904, 1905, 1906, 1907, 1909, 1910,
                                1911, 1912, 1913, 1914, 1915, 1916, 1917, 1920};

struct StatusText {
  const char* status;
  int stepText;         // a step text of the job, or 0
  const char* catalogue;  // a catalogue id, or null
};

constexpr StatusText kStatusTexts[] = {
    {"072", 1901, nullptr}, {"073", 1901, nullptr}, {"074", 1902, nullptr},
    {"075", 1903, nullptr}, {"076", 1906, nullptr}, {"901", 1911, nullptr},
    {"926", 1911, nullptr}, {"904", 1912, nullptr}, {"905", 1913, nullptr},
    {"906", 1915, nullptr}, {"928", 1915, nullptr}, {"927", 1914, nullptr},
    {"907", 0, "1930"},     {"908", 0, "1931"},     {"910", 0, "1933"},
    {"920", 0, "1934"},     {"921", 0, "1935"},     {"922", 0, "1917"},
    {"923", 0, "1936"},     {"924", 0, "1937"},     {"925", 0, "1938"},
};

NString catalogueText(const char* id) { return NMisc::getMessage(NMisc::thisModule(), id, ""); }

}  // namespace

void NGenDist::loadStepTexts() {
  NMsgFile catalogue;
  catalogue.load(NMisc::thisModule(), "");
  for (int id : kStepTextIds) {
    NString key;
    key.format("%d", id);
    m_mapStepTexts[id] = catalogue.getText(key.text());
  }
}

const NString& NGenDist::stepText(int id) const {
  static const NString empty;
  auto found = m_mapStepTexts.find(id);
  return found == m_mapStepTexts.end() ? empty : found->second;
}

NString NGenDist::textForStatus(const char* status) {
  NString code = status ? status : "";
  for (const StatusText& entry : kStatusTexts) {
    if (code != entry.status) continue;
    return entry.stepText != 0 ? stepText(entry.stepText) : catalogueText(entry.catalogue);
  }
  int number = std::atoi(code.text());
  if (number >= 940 && number <= 946 && code.length() == 3) {
    NString id;
    id.format("19%s", code.text() + 1);
    return catalogueText(id.text());
  }
  return code;
}

void NGenDist::advanceClock() {
  uint32_t now = plat::tickCount();
  int elapsed = static_cast<int>((now - m_nLastTick) / 1000);
  m_nTotalElapsed += elapsed;
  m_nLastTick = now;
  NString advanced = NMisc::addSecondsToTimeText(m_strCurTime.text(), elapsed);
  if (!advanced.isEmpty()) m_strCurTime = advanced;
}

void NGenDist::report(int sendNow, int dialog, const char* status) {
  m_strStatus = status ? status : "";
  rptToServer(sendNow, dialog);
}

void NGenDist::report(int sendNow, int dialog, const char* status, const char* detail,
                      int append) {
  m_strStatus = status ? status : "";
  if (append) m_strDetail += detail;
  else m_strDetail = detail ? detail : "";
  rptToServer(sendNow, dialog);
}

void NGenDist::rptToServer(int sendNow, int dialog) {
  advanceClock();
  NString timeText = m_strCurTime;
  NString shown = m_strStatus;
  NString detail = m_strDetail;
  NString dialogText;
  int number = std::atoi(m_strStatus.text());
  if (number > 900) {
    shown = commanded_status::kShownFailure;
    detail = textForStatus(m_strStatus.text()) + " " + m_strDetail;
    dialogText = detail;
  } else if (number >= 71 && number <= 79) {
    shown = commanded_status::kShownProgress;
    detail = textForStatus(m_strStatus.text()) + " " + m_strDetail;
    dialogText = m_strDetail;
  }
  bool userSees = sendNow && _n_dt_actor == 1 &&
                  m_strStatus != commanded_status::kAgreementRefused &&
                  m_strStatus != commanded_status::kUrgentCancel;
  if (dialog || userSees) dialogUpdate(m_nProgress, shown.text(), dialogText.text(), 0);
  NString elapsed;
  elapsed.format(detail.isEmpty() ? "[%d sec]" : " [%d sec]", m_nTotalElapsed);
  detail += elapsed;
  if (sendNow) {
    trace(3, "NGenDist::rptToServer: sendResultFile (%s, %s)\n", shown.text(), detail.text());
    sendResultFile(m_nCmdId, timeText.text(), shown.text(), detail.text());
    return;
  }
  trace(3, "NGenDist::rptToServer: sendResultFile(1) (%d, %d) (%s, %s)\n", m_nTotalElapsed,
        m_nLastSentElapsed, shown.text(), detail.text());
  if (m_nTotalElapsed - m_nLastSentElapsed >= 60 * m_nReportInterval) {
    trace(3, "NGenDist::rptToServer: sendResultFile(2) (%s, %s)\n", shown.text(), detail.text());
    sendResultFile(m_nCmdId, timeText.text(), shown.text(), detail.text());
    m_nLastSentElapsed = m_nTotalElapsed;
  }
}

void NGenDist::sendResultFile(uint32_t cmdId, const char* timeText, const char* status,
                              const char* detail) {
  if (cmdId == 0) return;
  NReportDataImpl::reportCmdResult(m_pRecord->m_hostEnv, kCommandResultCode, cmdId, "", "",
                                   timeText, status, detail, 1);
}

void NGenDist::dialogUpdate(int progress, const char* status, const char* text, int noLaunch) {
  if (!m_bShowProgress) return;
  NRegistry registry;
  if (!registry.open(plat::RegRoot::LocalMachine, kAgentKey, false, false, false)) return;
  ++m_nDlgUpdateCount;
  NString counterName = NString(kNDtDlgCounterPrefix) + m_strDistId;
  NString recordName = NString(kNDtDlgRecordPrefix) + m_strDistId;
  NString counter;
  counter.format("%d", m_nDlgUpdateCount);
  NDtDlgRecord record{};
  record.m_nProgress = static_cast<uint32_t>(progress);
  std::strncpy(record.m_szStatus, status ? status : "", sizeof record.m_szStatus - 1);
  std::strncpy(record.m_szMessage, text ? text : "", sizeof record.m_szMessage - 1);
  registry.writeText(counterName.text(), counter.text());
  registry.writeBinary(recordName.text(), &record, sizeof record);
  registry.close();
  if (!noLaunch && !m_bDlgStarted) execDtnDlg();
}

int NGenDist::updateDBDistResult() {
  advanceClock();
  const HostEnvironment& env = m_pRecord->m_hostEnv;
  const char* procType = _n_dt_proc_type == 2 ? "SWDT" : _n_dt_proc_type == 3 ? "DELDT" : "NDT";
  NString detail;
  detail.format("%s [%d sec]", m_strDetail.text(), m_nTotalElapsed);
  NString parameters;
  parameters.format(
      "EQUIP_ID|#S|#%.12s|$DIST_ID|#I|#%.20s|$PROC_TYPE|#S|#%.24s|$STATUS|#S|#%.24s"
      "|$STATUS_DETAIL|#S|#%.64s|$CMD_ID|#I|#%d|$ACTOR|#I|#%d",
      env.m_szEquipId, m_strDistId.text(), procType, m_strStatus.text(), detail.text(),
      static_cast<int>(m_nCmdId), static_cast<int>(_n_dt_actor));
  NDBQuery query;
  query.setServer(env.m_szDbAddress, std::atoi(env.m_szDbPort));
  NString result;
  if (query.execStoredProc("SP_SV_DT_N_EQUIP_IU", 7, parameters.text(), result)) return 1;
  trace(1, "NGenDist::updateDBDistResult: failed (%.1024s)\n", parameters.text());
  return 0;
}

void NGenDist::reportForRecord(const DistCommandRecord& record, int sendNow, int dialog,
                               const char* status) {
  NGenDist job;
  int distId = 0;
  if (job.initSetting(record, distId)) job.report(sendNow, dialog, status);
}
