// The automatic worker's status: the status record in the shared block, its publication to the
// progress dialog through the registry, the state file in the destination, and the gateway.
//
// The manager thread sends reports while the pass thread updates the record, so the record,
// the error detail, the current server and the items' update ids are written and copied under
// the status lock: a report never mixes fields of two updates.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "autodist/NAutoDist.h"
#include "autodist/NDistMgr.h"
#include "detect/NProcess.h"
#include "detect/NRegistry.h"
#include "entry/NModuleState.h"
#include "entry/StatusCodes.h"
#include "net/NDBQuery.h"
#include "platform/FixedText.h"
#include "platform/NMisc.h"
#include "platform/PlatformFile.h"
#include "platform/PlatformProfile.h"
#include "platform/PlatformSystem.h"
#include "platform/Trace.h"

namespace {

constexpr const char* kAgentKey = "SOFTWARE\\Plumbex\\Corvane";
constexpr uint32_t kDialogRecheckMs = 120000;
constexpr int kParameterRoom = 50;
constexpr int kErrDetailRoom = 255;

int uiSetting(const char* key) {
  NString ini = NMisc::getModuleFolder(NMisc::thisModule()) + "\\crvUI.ini";
  return plat::getPrivateProfileInt("cvdt", key, 0, ini.text());
}

bool dialogRunning() {
  NProcess processes;
  return processes.snapshot() && processes.find(kADistDlgImage) != 0;
}

// One stored-procedure parameter, cut to its room.
NString parameter(const char* name, const char* type, const char* value, int room) {
  NString text = NString(name) + "|#" + type + "|#" + (value ? value : "");
  return text.left(room);
}

NString decimal(long value) {
  NString text;
  text.format("%ld", value);
  return text;
}

// The report's parameters, in the procedure's order; the eighth only with the error detail.
NString statusParameters(const ADistStatusRecord& record, int32_t updateId,
                         const NString& serverParameter, const NString* errorText) {
  std::unique_ptr<HostEnvironment> env = NModuleState::hostEnvironment();
  NString equipId;
  equipId.format("%.12s", env->m_szEquipId);
  NString detail;
  if (record.m_nPercent >= 0) detail.format("%d %%", static_cast<int>(record.m_nPercent));
  uint32_t seconds = (record.m_nLastTick - record.m_nStartTick) / 1000;
  NString parameters = parameter("EQUIP_ID", "S", equipId.text(), kParameterRoom) + "|$" +
                       parameter("DIST_ID", "I", decimal(record.m_nDistId).text(), kParameterRoom) +
                       "|$" + parameter("UPDATE_ID", "I", decimal(updateId).text(), kParameterRoom) +
                       "|$" + parameter("STATUS", "S", record.m_szStatus, kParameterRoom) + "|$" +
                       parameter("STATUS_DETAIL", "S", detail.text(), kParameterRoom) + "|$" +
                       parameter("PROC_TIME", "I", decimal(seconds).text(), kParameterRoom) +
                       "|$" + serverParameter;
  if (errorText != nullptr)
    parameters += NString("|$") + parameter("ERR_DETAIL", "S", errorText->text(), kErrDetailRoom);
  return parameters;
}

}  // namespace

NString NAutoDist::errorDetail() {
  plat::CriticalSectionLock lock(m_statusLock);
  return m_strErrorDetail;
}

void NAutoDist::setErrorDetail(const NString& text) {
  plat::CriticalSectionLock lock(m_statusLock);
  m_strErrorDetail = text;
}

NString NAutoDist::currentServer() {
  plat::CriticalSectionLock lock(m_statusLock);
  return m_strCurrentServer;
}

void NAutoDist::setCurrentServer(const NString& server) {
  plat::CriticalSectionLock lock(m_statusLock);
  m_strCurrentServer = server;
}

void NAutoDist::copyState(ADistSharedState& out) {
  plat::CriticalSectionLock lock(m_statusLock);
  std::memcpy(&out, m_pState.get(), sizeof(ADistSharedState));
}

void NAutoDist::publishItem(const ADistItem& item) {
  plat::CriticalSectionLock lock(m_statusLock);
  for (int i = 0; i < m_nUpdateIds; ++i) {
    if (m_updateIds[i].m_nDistId != item.m_nDistId) continue;
    m_updateIds[i].m_nUpdateId = item.m_nUpdateId;
    return;
  }
}

void NAutoDist::publishAllItems() {
  plat::CriticalSectionLock lock(m_statusLock);
  m_nUpdateIds = m_pState->m_nItemCount;
  for (int i = 0; i < m_nUpdateIds; ++i)
    m_updateIds[i] = {m_pState->m_items[i].m_nDistId, m_pState->m_items[i].m_nUpdateId};
}

void NAutoDist::setStatus(int32_t distId, int percent, const char* status, const char* text) {
  uint32_t now = plat::tickCount();
  plat::CriticalSectionLock lock(m_statusLock);
  ADistStatusRecord& record = m_pState->m_status;
  record.m_nDistId = distId;
  plat::setFixedText(record.m_szStatus, status);
  plat::setFixedText(record.m_szDetail, text);
  record.m_nPercent = percent;
  if (std::strcmp(record.m_szStatus, auto_status::kRunStarted) == 0) record.m_nStartTick = now;
  record.m_nLastTick = now;
}

void NAutoDist::reportStatus(int32_t distId, int percent, const char* status, const char* text,
                             bool quiet) {
  setStatus(distId, percent, status, text);
  if (m_pManager == nullptr || !m_pManager->isShowDialog()) return;
  NRegistry registry;
  if (!registry.open(plat::RegRoot::LocalMachine, kAgentKey, false, false, false)) return;
  auto image = std::make_unique_for_overwrite<ADistSharedState>();  // copyState fills it whole
  copyState(*image);
  registry.writeText(kADistDlgCounterValue, decimal(m_nPublications.load()).text());
  registry.writeBinary(kADistDlgRecordValue, image.get(), sizeof(ADistSharedState));
  registry.close();
  ++m_nPublications;
  if (quiet) return;
  uint32_t now = plat::tickCount();
  if (m_bDialogLaunched.load() == 0) {
    m_nDialogCheckTick = now;
    if (!dialogRunning()) execDtDlg();
  } else if (now - m_nDialogCheckTick.load() > kDialogRecheckMs) {
    if (!dialogRunning()) {
      m_bDialogLaunched = 0;
      execDtDlg();
    }
    m_nDialogCheckTick = now;
  }
}

void NAutoDist::setDisplay() {
  trace(3, "NAutoDist::setDisplay: set\n");
  m_nDialogCheckTick = plat::tickCount();
  if (dialogRunning()) return;
  trace(3, "NAutoDist::setDisplay: set (2)\n");
  execDtDlg();
}

void NAutoDist::writeStateFile(int mark, const ADistItem& item) {
  if (uiSetting("WRITE_STATE") == 0) return;
  char folder[sizeof item.m_szDstFolder];
  std::memcpy(folder, item.m_szDstFolder, sizeof folder);
  folder[sizeof folder - 1] = '\0';
  if (folder[0] == '\0') return;  // no destination loaded yet: nowhere to write
  makeFolderPath(folder, false);
  plat::File file;
  if (!file.open(std::string(folder) + "\\ADist_Status.txt", plat::FileMode::Write)) return;
  NString text = decimal(mark);
  file.write(text.text(), static_cast<size_t>(text.length()));
}

void NAutoDist::updateDBDistStatus() {
  bool withDetail = uiSetting("ERR_DETL_LOG") == 1;
  if (m_bReport.load() == 0) return;
  ADistStatusRecord record;
  NString errorText;
  NString server;
  int32_t updateId = 0;
  bool found = false;
  {
    // One copy of everything the report carries, so it never mixes two updates.
    plat::CriticalSectionLock lock(m_statusLock);
    std::memcpy(&record, &m_pState->m_status, sizeof record);
    if (withDetail) errorText = m_strErrorDetail.left(259);
    server = m_strCurrentServer.left(49);
    for (int i = 0; i < m_nUpdateIds && !found; ++i) {
      found = m_updateIds[i].m_nDistId == record.m_nDistId;
      if (found) updateId = m_updateIds[i].m_nUpdateId;
    }
  }
  record.m_szStatus[sizeof record.m_szStatus - 1] = '\0';
  if (!found || updateId < 1 || record.m_szStatus[0] == '\0') return;
  trace(1, "NAutoDist::updateDBDistStatus: (%.255s)\n", server.text());
  NMisc::padIpAddress(server);
  trace(1, "NAutoDist::updateDBDistStatus: (%.255s)\n", server.text());
  NString serverParameter = parameter("DIST_SERVER_IP", "S", server.text(), kParameterRoom);
  NString parameters =
      statusParameters(record, updateId, serverParameter, withDetail ? &errorText : nullptr);
  trace(1, "NAutoDist::updateDBDistStatus: (%.255s)\n", serverParameter.text());
  std::unique_ptr<HostEnvironment> env = NModuleState::hostEnvironment();
  NDBQuery query;
  query.setServer(env->m_szDbAddress, std::atoi(env->m_szDbPort));
  trace(1, "NAutoDist::updateDBDistStatus: (%.1024s)\n", parameters.text());
  NString result;
  bool sent = withDetail
                  ? query.execStoredProc("SP_SV_DT_TDT_A_EQUIP_U3", 8, parameters.text(), result)
                  : query.execStoredProc("SP_SV_DT_TDT_A_EQUIP_U", 7, parameters.text(), result);
  if (!sent) trace(1, "NAutoDist::updateDBDistStatus: failed (%.1024s)\n", parameters.text());
}
