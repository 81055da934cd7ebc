// The reports command: creates the report-data queue, collects the queue and the result folder
// until it is told to stop, and prints each command result as a JSON line.
#include "ReportsCommand.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>

#include "NCliNumber.h"
#include "ReportCollector.h"

namespace cvdt::host {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kPollMs = 250;  // how often the result folder is looked at

volatile std::sig_atomic_t g_stop = 0;

void onStopSignal(int) { g_stop = 1; }

void sweep(ReportCollector& collector) {
  std::vector<CommandResult> results;
  collector.takeQueued(results);
  collector.takeFiles(results);
  for (const CommandResult& result : results) std::printf("%s\n", ReportCollector::toJson(result).c_str());
  std::fflush(stdout);
}

uint32_t millisecondsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<uint32_t>(left < kPollMs ? left : kPollMs);
}


int collect(bool bOnce, int64_t nSeconds) {
  ReportCollector collector;
  if (plat::Status s = collector.open(); !s) throw std::runtime_error(s.message());
  std::fprintf(stderr, "cvdt-host reports: collecting from %s\n", collector.resultFolder().c_str());
  if (bOnce) {
    sweep(collector);
    return cli::kExitOk;
  }
  std::signal(SIGINT, onStopSignal);
  std::signal(SIGTERM, onStopSignal);
  auto deadline = nSeconds > 0 ? Clock::now() + std::chrono::seconds(nSeconds) : Clock::time_point::max();
  while (g_stop == 0 && Clock::now() < deadline) {
    sweep(collector);
    collector.waitFilled(collector.msUntilRested(millisecondsLeft(deadline)));
  }
  sweep(collector);
  return cli::kExitOk;
}

}  // namespace

void addReportsCommand(cli::NCliApp& cli) {
  struct Options {
    bool bOnce = false;
    int64_t nSeconds = 0;
  };
  auto options = std::make_shared<Options>();
  CLI::App* reports = cli.addCommand(
      cli.root(), "reports",
      "collect command results (report-data queue, result folder) as JSON lines",
      "cvdt-host reports --seconds 60 > results.jsonl",
      [options] { return collect(options->bOnce, options->nSeconds); });
  reports->add_flag("--once", options->bOnce, "sweep once and stop");
  cli::NCliNumber::add(*reports, "--seconds", options->nSeconds, 0, 31536000,
                       "stop after N seconds (0: run until interrupted)");
}

}  // namespace cvdt::host
