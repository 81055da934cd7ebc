// Driving the simulated fleet through the module's gateway client.
#include "FleetRun.h"

#include <algorithm>
#include <thread>

#include "net/NDBQuery.h"

namespace cvdt::fleet {

using Clock = std::chrono::steady_clock;

RunResult FleetRun::run() {
  m_start = Clock::now();
  m_deadline = m_start + m_options.duration;
  std::vector<ThreadResult> results(static_cast<size_t>(m_options.concurrency));
  std::vector<std::thread> threads;
  for (ThreadResult& result : results) threads.emplace_back([this, &result] { clientLoop(result); });
  for (std::thread& thread : threads) thread.join();
  RunResult total;
  total.seconds = std::chrono::duration<double>(Clock::now() - m_start).count();
  for (ThreadResult& result : results) {
    total.acknowledged.insert(total.acknowledged.end(), result.acknowledged.begin(),
                              result.acknowledged.end());
    total.failed.insert(total.failed.end(), result.failed.begin(), result.failed.end());
    total.latency.merge(result.latency);
  }
  std::sort(total.acknowledged.begin(), total.acknowledged.end());
  std::sort(total.failed.begin(), total.failed.end());
  total.sent = static_cast<int64_t>(total.acknowledged.size() + total.failed.size());
  return total;
}

void FleetRun::clientLoop(ThreadResult& out) {
  NDBQuery query;
  query.setReplyWaitMs(m_options.replyWaitMs);
  for (;;) {
    int64_t index = m_nNext.fetch_add(1);
    if (index >= m_plan.total()) return;
    Clock::time_point planned = Clock::now();
    if (m_options.rate > 0) {
      planned = m_start + std::chrono::duration_cast<Clock::duration>(
                              std::chrono::duration<double>(index / m_options.rate));
      std::this_thread::sleep_until(planned);
    }
    if (Clock::now() >= m_deadline) return;
    const GatewayAddress& gateway =
        m_options.gateways[static_cast<size_t>(index) % m_options.gateways.size()];
    query.setServer(gateway.host.c_str(), gateway.port);
    PlannedReport report = m_plan.report(index);
    NString result;
    bool acknowledged = query.execStoredProc(report.procedure, report.parameterCount,
                                             report.parameters.c_str(), result);
    auto micros =
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - planned).count();
    out.latency.add(static_cast<uint32_t>(std::min<int64_t>(micros, UINT32_MAX)));
    (acknowledged ? out.acknowledged : out.failed).push_back(index);
  }
}

}  // namespace cvdt::fleet
