// NGenDist settings: the call arguments, the equipment configuration and the content of the
// posted record become the job's fields.
#include <cstdlib>
#include <cstring>

#include "entry/StatusCodes.h"
#include "gendist/NGenDist.h"
#include "platform/NMisc.h"
#include "platform/NStrtok.h"
#include "platform/PlatformSystem.h"
#include "platform/Trace.h"

namespace {

constexpr int kMaxAddressLength = 99;

NString fieldAt(NStringArray& fields, int index) {
  NString field;
  fields.getAt(field, index);
  return field;
}

// A text field of the record, bounded by its width even when the host left no terminator.
template <size_t N>
NString fieldText(const char (&field)[N]) {
  char bounded[N + 1] = {};
  std::memcpy(bounded, field, N);
  return NString(bounded);
}

bool contains(const NStringArray& list, const NString& text) {
  for (int i = 0; i < list.getCount(); ++i) {
    if (list.getAt(i) == text) return true;
  }
  return false;
}

}  // namespace

NGenDist::NGenDist() : m_pRecord(std::make_unique<DistCommandRecord>()) {
  std::memset(m_pRecord.get(), 0, sizeof(DistCommandRecord));
  m_nLastTick = plat::tickCount();
}

NGenDist::~NGenDist() = default;

plat::CriticalSection& NGenDist::indexLock() {
  static plat::CriticalSection lock;
  return lock;
}

int NGenDist::initSetting(const DistCommandRecord& record, int& distId) {
  // The host hears "071" once the job holds its record, so the result names the command.
  std::memcpy(m_pRecord.get(), &record, sizeof record);
  m_nCmdId = record.m_nCmdId;
  m_nLastTick = plat::tickCount();
  m_strCurTime = fieldText(record.m_szCurTime);
  m_strStatus = commanded_status::kSettingsTaken;
  rptToServer(1, 1);

  NString callArgs = fieldText(record.m_szCallArgs);
  NString equipCfg = fieldText(record.m_szEquipCfg);
  bool ok = false;
  if (!parseCallArgs(callArgs.text())) {
    trace(1, "NGenDist::initSetting: parseCallArgs error (%.2047s)\n", callArgs.text());
  } else if (!parseEquipCfg(equipCfg.text())) {
    trace(1, "NGenDist::initSetting: parseEquipCfg error (%.2047s)\n", equipCfg.text());
  } else if (!set(record.m_content)) {
    trace(1, "NGenDist::initSetting: set error (%d)\n", record.m_content.m_nDistId);
  } else {
    ok = true;
  }
  if (!ok) {
    report(1, 1, commanded_status::kSettingsFailed);
    return 0;
  }
  distId = record.m_content.m_nDistId;
  return 1;
}

int NGenDist::parseCallArgs(const char* callArgs) {
  NStrtok tokenizer;
  NStringArray& fields = tokenizer.split(callArgs ? callArgs : "", "|%");
  if (fields.getCount() < 2) return 0;
  m_bShowProgress = fieldAt(fields, 0) == "Y";
  m_nReportInterval = std::atoi(fieldAt(fields, 1).text());
  return 1;
}

int NGenDist::parseEquipCfg(const char* equipCfg) {
  NStrtok tokenizer;
  NStringArray& fields = tokenizer.split(equipCfg ? equipCfg : "", "|%");
  if (fields.getCount() < 1) return 0;
  NString addressList = fieldAt(fields, 0);
  NStrtok elementTokenizer;
  NStringArray& addresses = elementTokenizer.split(addressList.text(), "|&");
  if (addresses.getCount() < 1) return 0;
  m_arrAddresses.clear();
  for (int i = 0; i < addresses.getCount(); ++i) {
    NString address = fieldAt(addresses, i).left(kMaxAddressLength);
    NMisc::normalizeIpAddress(address);
    if (!contains(m_arrAddresses, address)) m_arrAddresses.add(address);
  }
  return 1;
}

int NGenDist::set(const DistContent& c) {
  m_strDistId.format("%d", c.m_nDistId);
  m_strDistName = c.m_szDistName;
  m_strVersion = c.m_szVersion;
  m_strBaseFolder = c.m_szBaseFolder;
  m_strDescr = c.m_szDescr;
  m_bAgree = c.m_bAgree;
  m_bPublic = c.m_bPublic;
  m_strExecFile = c.m_szExecFile;
  m_strExecOpt = c.m_szExecOpt;
  m_strExecUser = c.m_szExecUser;
  m_strRegFile = c.m_szRegFile;
  m_nSplitCount = c.m_nSplitCount;
  m_strSize.format("%u", c.m_nTotalSize);
  _compressed_file_size_sum = c.m_nCompressedSizeSum;
  m_nField19 = c.m_nField19;
  m_nField13 = c.m_nField13;
  m_strIdxFileDigest = NString(c.m_szIdxFileDigest).left(32);
  _n_dt_proc_type = c.m_nProcType;
  _sw_id = c.m_nSwId;
  _szSwInstallPlatformString = NString(c.m_szPlatform).left(3000);
  _n_dt_actor = c.m_nActorKind;
  _n_dt_actor_process_id = c.m_nActorProcessId;
  _n_dt_actor_session_id = c.m_nActorSessionId;

  trace(3, "NGenDist::set: m_strDistId: %s\n", m_strDistId.text());
  trace(3, "NGenDist::set: m_strDistName: %s\n", m_strDistName.text());
  trace(3, "NGenDist::set: m_strVersion: %s\n", m_strVersion.text());
  trace(3, "NGenDist::set: m_strBaseFolder: %s\n", m_strBaseFolder.text());
  trace(3, "NGenDist::set: m_strDescr: %s\n", m_strDescr.text());
  trace(3, "NGenDist::set: m_bAgree: %d\n", m_bAgree);
  trace(3, "NGenDist::set: m_bPublic: %d\n", m_bPublic);
  trace(3, "NGenDist::set: m_strExecFile: %s\n", m_strExecFile.text());
  trace(3, "NGenDist::set: m_strExecOpt: %s\n", m_strExecOpt.text());
  trace(3, "NGenDist::set: m_strExecUser: %s\n", m_strExecUser.text());
  trace(3, "NGenDist::set: m_strRegFile: %s\n", m_strRegFile.text());
  trace(3, "NGenDist::set: m_strIdxFileDigest: %s\n", m_strIdxFileDigest.text());
  trace(3, "NGenDist::set: _n_dt_proc_type: %d\n", _n_dt_proc_type);
  trace(3, "NGenDist::set: _sw_id: %d\n", _sw_id);
  trace(3, "NGenDist::set: _szSwInstallPlatformString: %.2095s\n", _szSwInstallPlatformString.text());
  trace(3, "NGenDist::set: m_strSize: %.20s\n", m_strSize.text());
  trace(3, "NGenDist::set: _compressed_file_size_sum: %u\n", _compressed_file_size_sum);
  trace(3, "NGenDist::set: _n_dt_actor: %u\n", _n_dt_actor);
  trace(3, "NGenDist::set: _n_dt_actor_process_id: %u\n", _n_dt_actor_process_id);
  trace(3, "NGenDist::set: _n_dt_actor_session_id: %u\n", _n_dt_actor_session_id);
  return 1;
}
