// Fuzz target: the job settings texts. The input is taken as the call arguments ("|%" fields) and
// as the equipment configuration, both as a job reads it (the address list) and as the manager
// reads it (configuration numbers, ban periods, deletion list), followed by the ban check.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "gendist/NGenDist.h"
#include "gendist/NGenDistMgr.h"

// The manager keeps its deletion list between settings calls; the fuzz target empties it so that
// a long run does not grow it without bound.
class NGenDistMgrTestAccess {
 public:
  static std::vector<NGenDistMgr::DeleteEntry>& deletions(NGenDistMgr& manager) {
    return manager.m_listDelete;
  }
};

namespace {

// One manager for the run: its destructor waits for a thread that never starts.
NGenDistMgr& manager() {
  static NGenDistMgr* instance = new NGenDistMgr();
  return *instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  NGenDist job;
  job.parseCallArgs(text.c_str());
  job.parseEquipCfg(text.c_str());

  NGenDistMgr& mgr = manager();
  mgr.initSetting("20261206123456", "", text.c_str(), "", 0);
  mgr.BanDT_PeriodTime();
  for (const NGenDistMgr::DeleteEntry& entry : NGenDistMgrTestAccess::deletions(mgr)) {
    if (entry.m_nDistId <= 0) std::abort();
    bool terminated = false;
    for (char c : entry.m_szFolder) terminated = terminated || c == '\0';
    if (!terminated) std::abort();
  }
  NGenDistMgrTestAccess::deletions(mgr).clear();
  return 0;
}
