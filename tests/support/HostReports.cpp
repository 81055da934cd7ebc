// The in-test reporting component.
#include "support/HostReports.h"

#include <gtest/gtest.h>

namespace cvdt::test {

HostReports::HostReports() {
  if (plat::Status s = m_collector.open(); !s) ADD_FAILURE() << "report queue: " << s.message();
  m_thread = std::thread([this] { collect(); });
}

HostReports::~HostReports() {
  m_stop = true;
  m_thread.join();
  m_collector.close();
}

void HostReports::collect() {
  while (!m_stop) {
    m_collector.waitFilled(20);
    std::vector<cvdt::host::CommandResult> taken;
    m_collector.takeQueued(taken);
    m_collector.takeFiles(taken);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_results.insert(m_results.end(), taken.begin(), taken.end());
  }
}

std::vector<cvdt::host::CommandResult> HostReports::results() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_results;
}

bool HostReports::waitFor(uint32_t cmdId, const std::string& code,
                          std::chrono::milliseconds deadline) {
  auto end = std::chrono::steady_clock::now() + deadline;
  while (std::chrono::steady_clock::now() < end) {
    for (const auto& result : results()) {
      if (result.cmdId == cmdId && result.code == code) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

std::string HostReports::codesOf(uint32_t cmdId) {
  std::string codes;
  for (const auto& result : results()) {
    if (result.cmdId != cmdId) continue;
    codes += (codes.empty() ? "" : " ") + result.code;
  }
  return codes;
}

}  // namespace cvdt::test
