// ADistWatcher: the host agent's view of automatic distribution. The module publishes its
// automatic state block to the registry (the record the progress dialog reads) whenever show
// dialog is on; the watcher polls that record every 100 ms on its own thread and prints what
// changed as JSON lines, so scripts and tests follow passes without touching the module.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>

#include "ADistDialogState.h"

namespace cvdt::host {

class ADistWatcher {
 public:
  ADistWatcher() = default;
  ~ADistWatcher() { stop(); }
  ADistWatcher(const ADistWatcher&) = delete;
  ADistWatcher& operator=(const ADistWatcher&) = delete;

  void start();
  // Takes one last look, so a state published just before the stop is printed, and joins.
  void stop();
  // Waits until the record or an item of distId has shown status since start() (the baseline
  // does not count, earlier passes do); false after seconds. A status that lasted less than a
  // poll may have passed unseen; the last block of a pass stays and is always read.
  bool waitFor(int32_t distId, const std::string& status, int seconds);

  // The JSON lines of a change from before to now (tests print them the same way).
  static std::string recordLine(const ADistDialogState& state);
  static std::string itemLine(const ADistDialogItem& item);

 private:
  void poll();
  void look();
  void noteCounter(uint32_t counter);

  std::thread m_thread;
  std::atomic<bool> m_bStop{false};
  std::mutex m_mutex;
  bool m_bNews = false;              // this run has published (the record moved off the baseline)
  uint32_t m_nBaselineCounter = 0;   // the publication counter an earlier run left
  uint32_t m_nLastCounter = 0;       // the counter at the previous look
  int m_nSteadyLooks = 0;            // looks in a row that read m_nLastCounter
  std::string m_strLastRecord;
  std::map<int32_t, std::string> m_mapItemStatus;
  std::set<std::pair<int32_t, std::string>> m_setSeen;
};

}  // namespace cvdt::host
