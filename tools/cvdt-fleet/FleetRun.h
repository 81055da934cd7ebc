// FleetRun: sends the plan's reports from several client threads through NDBQuery, paced or as
// fast as possible, until all are sent or the time is up.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "FleetPlan.h"
#include "LatencyStats.h"

namespace cvdt::fleet {

struct GatewayAddress {
  std::string host;
  int port = 0;
};

struct RunOptions {
  std::vector<GatewayAddress> gateways;  // requests go round the list
  double rate = 0;                       // reports per second in all; 0 = as fast as possible
  int concurrency = 16;                  // client threads, each with one request at a time
  std::chrono::seconds duration{60};     // nothing is sent after this
  uint32_t replyWaitMs = 10000;
};

struct RunResult {
  int64_t sent = 0;
  std::vector<int64_t> acknowledged;  // plan indexes, sorted
  std::vector<int64_t> failed;        // no connection, no reply or a refusal
  double seconds = 0;
  LatencyStats latency;  // with a rate, from each report's planned time, so queueing counts
};

class FleetRun {
 public:
  FleetRun(const FleetPlan& plan, RunOptions options) : m_plan(plan), m_options(std::move(options)) {}
  RunResult run();

 private:
  struct ThreadResult {
    std::vector<int64_t> acknowledged;
    std::vector<int64_t> failed;
    LatencyStats latency;
  };
  void clientLoop(ThreadResult& out);

  const FleetPlan& m_plan;
  RunOptions m_options;
  std::chrono::steady_clock::time_point m_start;
  std::chrono::steady_clock::time_point m_deadline;
  std::atomic<int64_t> m_nNext{0};
};

}  // namespace cvdt::fleet
