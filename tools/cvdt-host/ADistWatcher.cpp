// The host agent's watcher of the automatic state block.
#include "ADistWatcher.h"

#include <chrono>
#include <cstdio>

#include "ADistStateReader.h"
#include "NCliJson.h"
#include "ReportCollector.h"

namespace cvdt::host {

namespace {
constexpr auto kPollInterval = std::chrono::milliseconds(100);
constexpr uint32_t kNoCounter = UINT32_MAX;  // no counter value was read
// Looks for which a moved counter must stay before the block beside it counts as this run's.
constexpr int kSteadyLooks = 5;
}  // namespace

void ADistWatcher::start() {
  if (m_thread.joinable()) return;
  // What an earlier run left in the record is the baseline, not news.
  ADistStateReader reader;
  ADistDialogState state;
  m_bNews = !reader.read(state);
  if (!m_bNews) {
    m_strLastRecord = recordLine(state);
    for (const ADistDialogItem& item : state.items) m_mapItemStatus[item.distId] = item.status;
    if (!reader.readCounter(m_nBaselineCounter)) m_nBaselineCounter = kNoCounter;
  }
  m_bStop = false;
  m_thread = std::thread([this] { poll(); });
}

void ADistWatcher::stop() {
  if (!m_thread.joinable()) return;
  m_bStop = true;
  m_thread.join();
}

void ADistWatcher::poll() {
  for (bool last = false; !last;) {
    last = m_bStop.load();
    look();
    if (!last) std::this_thread::sleep_for(kPollInterval);
  }
}

std::string ADistWatcher::recordLine(const ADistDialogState& state) {
  cli::NJson json = {{"dist", state.currentId},
                     {"status", jsonText(state.currentStatus)},
                     {"percent", state.percent},
                     {"detail", jsonText(state.detail)}};
  return "adist " + cli::NCliJson::line(json);
}

std::string ADistWatcher::itemLine(const ADistDialogItem& item) {
  cli::NJson json = {{"dist", item.distId},
                     {"name", jsonText(item.name)},
                     {"status", jsonText(item.status)}};
  return "adist-item " + cli::NCliJson::line(json);
}

// A publication counter that moved off the baseline while the block still reads as the earlier
// run left it. The worker writes the counter before the block, so right after it moves the block
// may still be the old one, whose statuses this run has not reached yet: the block counts as this
// run's only once the counter has stayed for a few looks (a pass whose last publication equals
// what the earlier run left shows nothing new, and is recognised this way).
void ADistWatcher::noteCounter(uint32_t counter) {
  m_nSteadyLooks = counter == m_nLastCounter ? m_nSteadyLooks + 1 : 0;
  m_nLastCounter = counter;
  if (m_nSteadyLooks >= kSteadyLooks) m_bNews = true;
}

// One look at the record: prints the status record when it changed, then each item whose
// status changed (a publication always carries the whole item array). Every look reads the
// block, whether or not the publication counter moved, as the block that follows under the same
// counter may be the last of a pass.
void ADistWatcher::look() {
  ADistStateReader reader;
  ADistDialogState state;
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!reader.read(state)) return;
  uint32_t counter = kNoCounter;
  if (!m_bNews && reader.readCounter(counter) && counter != m_nBaselineCounter)
    noteCounter(counter);
  std::string record = recordLine(state);
  if (record != m_strLastRecord && !state.currentStatus.empty()) {
    std::printf("%s\n", record.c_str());
    m_strLastRecord = record;
    m_bNews = true;
  }
  for (const ADistDialogItem& item : state.items) {
    std::string& last = m_mapItemStatus[item.distId];
    if (item.status == last) continue;
    last = item.status;
    std::printf("%s\n", itemLine(item).c_str());
    m_bNews = true;
  }
  std::fflush(stdout);
  // Once this run has published, every status its blocks hold was shown, also one that equals
  // what an earlier run left (a pass that ends an item as the last run did).
  if (!m_bNews) return;
  if (!state.currentStatus.empty()) m_setSeen.insert({state.currentId, state.currentStatus});
  for (const ADistDialogItem& item : state.items) m_setSeen.insert({item.distId, item.status});
}

bool ADistWatcher::waitFor(int32_t distId, const std::string& status, int seconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_setSeen.count({distId, status}) != 0) return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

}  // namespace cvdt::host
