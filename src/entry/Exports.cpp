// The exported functions: they copy the host's block and texts, hand the automatic texts to the
// automatic manager, post commanded jobs, outer requests and urgent cancels to the commanded
// manager, and start or stop the managers' threads. Nothing thrown inside may reach the host.
#include "entry/Exports.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "autodist/NDistMgr.h"
#include "entry/NModule.h"
#include "entry/NModuleState.h"
#include "entry/StatusCodes.h"
#include "gendist/DistCommandRecord.h"
#include "gendist/NGenDist.h"
#include "gendist/NGenDistMgr.h"
#include "platform/FixedText.h"
#include "platform/NMisc.h"
#include "platform/Trace.h"

namespace {

const char* safe(const char* text) { return text ? text : ""; }

template <typename Body>
int guarded(Body body) {
  try {
    return body();
  } catch (...) {
    return 0;
  }
}

void copyHostEnvironment(const void* hostEnv) {
  if (hostEnv != nullptr) NModuleState::setHostEnvironment(*static_cast<const HostEnvironment*>(hostEnv));
}

// A zeroed record allocated for the queue (released with std::free by the manager).
DistCommandRecord* buildRecord(uint32_t cmdId, const void* hostEnv, const char* curTime,
                               const char* callArgs, const char* equipCfg, int bStop) {
  auto* record = static_cast<DistCommandRecord*>(std::calloc(1, sizeof(DistCommandRecord)));
  if (record == nullptr) return nullptr;
  record->m_nCmdId = cmdId;
  if (hostEnv != nullptr) std::memcpy(&record->m_hostEnv, hostEnv, sizeof(HostEnvironment));
  plat::setFixedText(record->m_szCurTime, curTime);
  plat::setFixedText(record->m_szCallArgs, callArgs);
  plat::setFixedText(record->m_szEquipCfg, equipCfg);
  record->m_bStop = static_cast<uint32_t>(bStop);
  return record;
}

// A command actor's own process and the active console session stand for the requester.
template <typename Record>
void fillActorDefaults(Record& record) {
  if (record.m_nActorKind != 0) return;
  record.m_nActorProcessId = plat::processId();
  record.m_nActorSessionId = NMisc::getActiveConsoleSessionId();
}

int postRecord(NGenDistMgr& manager, int32_t code, DistCommandRecord* record) {
  ThreadCommand command{code, record, sizeof(DistCommandRecord), 0};
  int length = 0;
  const DistContent& content = record->m_content;
  return manager.post(content.m_nDistId, content.m_nActorKind, content.m_nActorSessionId, command,
                      &length, 0);
}

// The three automatic exports share one shape: parse the texts into the automatic manager and
// start its thread when none runs. Trace line heads: entry, parse failure, thread start (or
// null); the argument texts follow each head.
struct AutomaticTexts {
  const char* entry;
  const char* failed;
  const char* starting;
};

void traceTexts(int level, const char* name, const char* callArgs, const char* equipCfg,
                const char* contents, int bStop) {
  trace(level, "%spcCallArgs:%.2047s, pcEquipCfg:%.2047s, pcContents:%.2047s, bStop: %d\n",
        name, safe(callArgs), safe(equipCfg), safe(contents), bStop);
}

int runAutomatic(NDistMgr& manager, const AutomaticTexts& texts, const char* curTime,
                 const char* callArgs, const char* equipCfg, const char* contents, int bStop,
                 int mode) {
  if (!manager.initSetting(curTime, callArgs, equipCfg, contents, mode)) {
    traceTexts(1, texts.failed, callArgs, equipCfg, contents, bStop);
    return 0;
  }
  if (manager.isRunning()) return 1;
  if (texts.starting != nullptr) traceTexts(3, texts.starting, callArgs, equipCfg, contents, bStop);
  manager.createThread();
  return 1;
}

}  // namespace

int cvfADistFunc(int, uint32_t, const void* hostEnv, const char* curTime, const char* callArgs,
                 const char* equipCfg, const char* contents, int bStop) {
  return guarded([&] {
    copyHostEnvironment(hostEnv);
    traceTexts(3, "cvfADistFunc: ", callArgs, equipCfg, contents, bStop);
    NDistMgr* manager = NModule::automaticManager();
    if (manager == nullptr) return 0;
    if (bStop) {
      manager->setEvent();
      return 1;
    }
    const AutomaticTexts texts{"cvfADistFunc: ", "cvfADistFunc: initSetting failed, ", nullptr};
    return runAutomatic(*manager, texts, curTime, callArgs, equipCfg, contents, bStop,
                        NDistMgr::kModePeriodic);
  });
}

int cvfADistCmd(int, uint32_t, const void* hostEnv, const char* curTime, const char* callArgs,
                const char* equipCfg, const char* contents, int bStop) {
  return guarded([&] {
    traceTexts(3, "cvfADistCmd(1): ", callArgs, equipCfg, contents, bStop);
    copyHostEnvironment(hostEnv);
    NDistMgr* manager = NModule::automaticManager();
    if (manager == nullptr) return 0;
    const AutomaticTexts texts{"cvfADistCmd(1): ", "cvfADistCmd: initSetting failed, ",
                               "cvfADistCmd(2): "};
    return runAutomatic(*manager, texts, curTime, callArgs, equipCfg, contents, bStop,
                        NDistMgr::kModeCommand);
  });
}

int cvfADistNow(int, uint32_t, const void* hostEnv, const char* curTime, const char* callArgs,
                const char* equipCfg, const char* contents, int bStop) {
  return guarded([&] {
    traceTexts(3, "cvfADistNow(1): ", callArgs, equipCfg, contents, bStop);
    copyHostEnvironment(hostEnv);
    NDistMgr* manager = NModule::automaticManager();
    if (manager == nullptr) return 0;
    const AutomaticTexts texts{"cvfADistNow(1): ", "cvfADistNow(2): initSetting failed, ",
                               "cvfADistNow(3): "};
    return runAutomatic(*manager, texts, curTime, callArgs, equipCfg, contents, bStop,
                        NDistMgr::kModeNow);
  });
}

int cvfNDistFunc(int, uint32_t, const void* hostEnv, const char* curTime, const char* callArgs,
                 const char* equipCfg, const char* contents, int bStop, int,
                 const char* dialogParameter) {
  return guarded([&] {
    copyHostEnvironment(hostEnv);
    NModuleState::setDialogParameter(dialogParameter);
    trace(3, "cvfNDistFunc: pcCallArgs:%s, pcEquipCfg:%s, pcContents:%s, bStop: %d\n",
          safe(callArgs), safe(equipCfg), safe(contents), bStop);
    NGenDistMgr* manager = NModule::commandedManager();
    if (manager == nullptr) return 0;
    if (bStop) {
      manager->setEvent();
      return 1;
    }
    if (!manager->initSetting(curTime, callArgs, equipCfg, contents, 3)) {
      trace(1, "cvfNDistFunc: initSetting failed, pcCallArgs:%s, pcEquipCfg:%s, pcContents:%s, "
               "bStop: %d\n", safe(callArgs), safe(equipCfg), safe(contents), bStop);
      return 0;
    }
    if (!manager->threadExists()) manager->createThread();
    return 1;
  });
}

int cvfNDistCmd(int, uint32_t cmdId, const void* hostEnv, const char* curTime,
                const char* callArgs, const char* equipCfg, const char* contents, int bStop) {
  return guarded([&] {
    DistCommandRecord* record = buildRecord(cmdId, hostEnv, curTime, callArgs, equipCfg, bStop);
    if (record == nullptr) return 0;
    if (!parseDistContent(contents, record->m_content)) {
      NGenDist::reportForRecord(*record, 1, 0, commanded_status::kSettingsFailed);
      std::free(record);
      return 0;
    }
    fillActorDefaults(record->m_content);
    copyHostEnvironment(hostEnv);
    NGenDistMgr* manager = NModule::commandedManager();
    if (manager == nullptr) {
      std::free(record);
      return 1;
    }
    record->m_nMgrSetting = static_cast<uint32_t>(manager->firstConfigNumber());
    postRecord(*manager, kRunGenDistFromCommandProc, record);
    return 1;
  });
}

int cvfNDistCmdOuterRequest(int, uint32_t cmdId, const void* hostEnv, const char* curTime,
                            const char* callArgs, const char* equipCfg, const void* content,
                            int bStop) {
  return guarded([&] {
    trace(3, "cvdt::cvfNDistCmdOuterRequest START \r\n");
    NGenDistMgr* manager = NModule::commandedManager();
    if (content == nullptr || manager == nullptr) return 0;
    DistCommandRecord* record = buildRecord(cmdId, hostEnv, curTime, callArgs, equipCfg, bStop);
    if (record == nullptr) return 0;
    std::memcpy(&record->m_content, content, sizeof(DistContent));
    fillActorDefaults(record->m_content);
    return postRecord(*manager, kRunGenDistOuterRequest, record);
  });
}

int cvfNDistUrgentTopCancelForceCmd(int, uint32_t cmdId, const void*, const char*, const char*,
                                    const char*, const void* cancel, int) {
  return guarded([&] {
    trace(3, "cvdt::cvfNDistUrgentTopCancelForceCmd START \r\n");
    NGenDistMgr* manager = NModule::commandedManager();
    if (cancel == nullptr || manager == nullptr) return 0;
    auto* record = static_cast<UrgentCancelRecord*>(std::calloc(1, sizeof(UrgentCancelRecord)));
    if (record == nullptr) return 0;
    std::memcpy(record, cancel, sizeof(UrgentCancelRecord));
    fillActorDefaults(*record);
    record->m_nCmdId = cmdId;
    ThreadCommand command{kUrgentTopCancelForce, record, sizeof(UrgentCancelRecord), 0};
    int length = 0;
    manager->post(record->m_nDistId, record->m_nActorKind, record->m_nActorSessionId, command,
                  &length, 1);
    return 0;
  });
}
