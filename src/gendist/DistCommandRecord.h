// DistCommandRecord: one commanded job as the exports post it to the manager's queue.
#pragma once

#include <cstddef>
#include <cstdint>

#include "entry/HostEnvironment.h"
#include "gendist/DistContent.h"

struct DistCommandRecord {
  static constexpr size_t kSize = 118780;

  uint32_t m_nCmdId;
  HostEnvironment m_hostEnv;
  char m_szCurTime[32];
  char m_szCallArgs[2048];
  char m_szEquipCfg[2048];
  DistContent m_content;
  uint32_t m_bStop;
  uint32_t m_nMgrSetting;  // the manager's first configuration number when posted
};

static_assert(sizeof(DistCommandRecord) == DistCommandRecord::kSize);
static_assert(offsetof(DistCommandRecord, m_hostEnv) == 4);
static_assert(offsetof(DistCommandRecord, m_szCurTime) == 110648);
static_assert(offsetof(DistCommandRecord, m_szCallArgs) == 110680);
static_assert(offsetof(DistCommandRecord, m_szEquipCfg) == 112728);
static_assert(offsetof(DistCommandRecord, m_content) == 114776);
static_assert(offsetof(DistCommandRecord, m_bStop) == 118772);
static_assert(offsetof(DistCommandRecord, m_nMgrSetting) == 118776);
