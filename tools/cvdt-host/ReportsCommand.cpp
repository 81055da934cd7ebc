// The reports command: creates the report-data queue, collects the queue and the result folder
// until it is told to stop, and prints each command result as a JSON line.
#include "ReportsCommand.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "CommandLine.h"
#include "ReportCollector.h"

namespace cvdt::host {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kPollMs = 250;  // how often the result folder is looked at

volatile std::sig_atomic_t g_stop = 0;

void onStopSignal(int) { g_stop = 1; }

void printUsage() {
  std::fprintf(stderr,
               "usage: cvdt-host reports [--once] [--seconds N]\n"
               "  collects command results from the report-data queue and the result folder and\n"
               "  prints each as a JSON line; --once sweeps once, --seconds N stops after N seconds,\n"
               "  otherwise it runs until interrupted\n");
}

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

}  // namespace

int runReportsCommand(int argc, char** argv) {
  CommandLine line(argc, argv, {"help", "once"});
  long seconds = std::strtol(line.value("seconds", "0").c_str(), nullptr, 10);
  if (line.has("help") || !line.unknown({"help", "once", "seconds"}).empty() ||
      !line.missingValue().empty() || line.words().size() != 1 || seconds < 0) {
    printUsage();
    return line.has("help") ? 0 : 2;
  }
  ReportCollector collector;
  std::string error;
  if (!collector.open(error)) {
    std::fprintf(stderr, "cvdt-host reports: %s\n", error.c_str());
    return 1;
  }
  std::fprintf(stderr, "cvdt-host reports: collecting from %s\n", collector.resultFolder().c_str());
  if (line.has("once")) {
    sweep(collector);
    return 0;
  }
  std::signal(SIGINT, onStopSignal);
  std::signal(SIGTERM, onStopSignal);
  auto deadline = seconds > 0 ? Clock::now() + std::chrono::seconds(seconds) : Clock::time_point::max();
  while (g_stop == 0 && Clock::now() < deadline) {
    sweep(collector);
    collector.waitFilled(collector.msUntilRested(millisecondsLeft(deadline)));
  }
  sweep(collector);
  return 0;
}

}  // namespace cvdt::host
