// Test access to the commanded manager's private state.
#pragma once

#include "gendist/NGenDistMgr.h"

class NGenDistMgrTestAccess {
 public:
  static NStringArray& banStart(NGenDistMgr& m) { return m.m_arrBanStart; }
  static NStringArray& banEnd(NGenDistMgr& m) { return m.m_arrBanEnd; }
  static bool banCheck(NGenDistMgr& m) { return m.m_bBanCheck; }
  static std::vector<NGenDistMgr::DeleteEntry>& deletions(NGenDistMgr& m) { return m.m_listDelete; }
  static void setTime(NGenDistMgr& m, const char* text) { m.m_strCurTime = text; }
  static int queued(NGenDistMgr& m) {
    int count = 0;
    m.count(count);
    return count;
  }
  // hEventStop_RecvData, the worker's stop event.
  static plat::Event& workerStop(NGenDistMgr& m) { return m.m_hEventStop; }
  static int32_t frontCode(NGenDistMgr& m) { return m.m_queue.empty() ? 0 : m.m_queue.front().m_nCode; }
};
