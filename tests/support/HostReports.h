// HostReports: the host's reporting component running inside a test: it owns the report queue
// of the current machine and collects every command result the module sends, so reports are
// taken at once instead of falling back to result files after the queue's 2-second wait.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ReportCollector.h"

namespace cvdt::test {

class HostReports {
 public:
  HostReports();  // opens the queue of the machine named by CVDT_MACHINE now
  ~HostReports();
  HostReports(const HostReports&) = delete;
  HostReports& operator=(const HostReports&) = delete;

  // Every result collected so far (queue and files), in arrival order.
  std::vector<cvdt::host::CommandResult> results();
  // Waits until a result with this command id and code has come; false at the deadline.
  bool waitFor(uint32_t cmdId, const std::string& code,
               std::chrono::milliseconds deadline = std::chrono::seconds(30));
  // The codes of one command, in arrival order, joined by spaces.
  std::string codesOf(uint32_t cmdId);

 private:
  void collect();

  cvdt::host::ReportCollector m_collector;
  std::mutex m_mutex;
  std::vector<cvdt::host::CommandResult> m_results;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

}  // namespace cvdt::test
