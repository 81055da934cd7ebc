// cvdt-fleet: plays a fleet of workstations reporting to cvdt-gateway on this machine through
// the module's own gateway client, prints throughput, latency and errors, and then checks in
// the database that every acknowledged report is stored exactly once.
#include <arpa/inet.h>
#include <unistd.h>

#include <cstdio>

#include "FleetCheck.h"
#include "FleetPlan.h"
#include "FleetRun.h"
#include "NCliApp.h"
#include "NCliJson.h"
#include "NCliNumber.h"
#include "NCliUsageError.h"

namespace {

using namespace cvdt::fleet;

struct Options {
  std::vector<std::string> gateways;
  int workstations = 100;
  int reportsEach = 1;
  double rate = 0;
  int concurrency = 16;
  int durationSeconds = 60;
  int replyWaitMs = 10000;
  int64_t maxErrors = 0;
  std::string db;
  std::string tag;
  bool json = false;
};

// Only this machine's loopback addresses: the simulator must never load a real server.
bool parseLoopback(const std::string& text, GatewayAddress& address) {
  size_t colon = text.rfind(':');
  if (colon == std::string::npos) return false;
  address.host = text.substr(0, colon);
  if (address.host == "localhost") address.host = "127.0.0.1";
  in_addr ip{};
  if (inet_pton(AF_INET, address.host.c_str(), &ip) != 1 || (ntohl(ip.s_addr) >> 24) != 127)
    return false;
  try {
    size_t used = 0;
    address.port = std::stoi(text.substr(colon + 1), &used);
    return used == text.size() - colon - 1 && address.port > 0 && address.port < 65536;
  } catch (const std::exception&) {
    return false;
  }
}

cvdt::cli::NJson summary(RunResult& run, const Options& options, const CheckResult* check) {
  cvdt::cli::NJson out = {
      {"tag", options.tag},
      {"planned", int64_t{options.workstations} * options.reportsEach},
      {"sent", run.sent},
      {"acknowledged", run.acknowledged.size()},
      {"errors", run.failed.size()},
      {"seconds", run.seconds},
      {"requests_per_second", run.seconds > 0 ? static_cast<double>(run.sent) / run.seconds : 0},
      {"latency_ms", {{"p50", run.latency.percentileMs(50)}, {"p90", run.latency.percentileMs(90)},
                      {"p99", run.latency.percentileMs(99)}, {"max", run.latency.percentileMs(100)}}}};
  if (check != nullptr) {
    out["check"] = {{"read", check->read}, {"error", check->error}, {"lost", check->lost},
                    {"duplicated", check->duplicated},
                    {"stored_unacknowledged", check->storedUnacknowledged},
                    {"unexpected", check->unexpected}, {"passed", check->passed()}};
  }
  return out;
}

void printText(const cvdt::cli::NJson& s) {
  std::printf("sent %lld of %lld reports in %.2f s: %.1f requests/s, %lld acknowledged, %lld errors\n",
              s["sent"].get<long long>(), s["planned"].get<long long>(), s["seconds"].get<double>(),
              s["requests_per_second"].get<double>(), s["acknowledged"].get<long long>(),
              s["errors"].get<long long>());
  const auto& l = s["latency_ms"];
  std::printf("latency ms: p50 %.2f  p90 %.2f  p99 %.2f  max %.2f\n", l["p50"].get<double>(),
              l["p90"].get<double>(), l["p99"].get<double>(), l["max"].get<double>());
  if (!s.contains("check")) return;
  const auto& c = s["check"];
  if (!c["read"].get<bool>()) {
    std::printf("check: cannot read the database: %s\n", c["error"].get<std::string>().c_str());
    return;
  }
  std::printf("check: %s: %lld lost, %lld duplicated, %lld stored without a reply, %lld unexpected\n",
              c["passed"].get<bool>() ? "passed" : "FAILED", c["lost"].get<long long>(),
              c["duplicated"].get<long long>(), c["stored_unacknowledged"].get<long long>(),
              c["unexpected"].get<long long>());
}

int runFleet(const Options& o) {
  RunOptions run;
  for (const std::string& text : o.gateways) {
    GatewayAddress address;
    if (!parseLoopback(text, address))
      throw cvdt::cli::NCliUsageError("--gateway wants a loopback 127.x.x.x:PORT, not " + text);
    run.gateways.push_back(address);
  }
  run.rate = o.rate;
  run.concurrency = o.concurrency;
  run.duration = std::chrono::seconds(o.durationSeconds);
  run.replyWaitMs = static_cast<uint32_t>(o.replyWaitMs);
  FleetPlan plan(o.tag, o.workstations, o.reportsEach);
  RunResult result = FleetRun(plan, run).run();
  CheckResult check;
  if (!o.db.empty()) check = FleetCheck::run(o.db, plan, result.acknowledged, result.failed);
  cvdt::cli::NJson s = summary(result, o, o.db.empty() ? nullptr : &check);
  if (o.json) std::printf("%s\n", cvdt::cli::NCliJson::line(s).c_str());
  else printText(s);
  bool ok = (o.db.empty() || check.passed()) &&
            static_cast<int64_t>(result.failed.size()) <= o.maxErrors;
  return ok ? cvdt::cli::kExitOk : cvdt::cli::kExitFailed;
}

bool plainTag(const std::string& tag) {
  return !tag.empty() && tag.size() <= 32 &&
         tag.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789") ==
             std::string::npos;
}

}  // namespace

int main(int argc, char** argv) {
  using cvdt::cli::NCliNumber;
  Options o;
  o.tag = "F" + std::to_string(getpid());
  cvdt::cli::NCliApp cli("cvdt-fleet",
                         "Plays workstations reporting to cvdt-gateway on this machine (loopback "
                         "only) through the module's own client, then checks the database.");
  CLI::App& app = cli.root();
  app.add_option("--gateway", o.gateways, "a gateway's 127.x.x.x:PORT; repeat to go round several")
      ->required()->type_name("ADDR:PORT");
  NCliNumber::add(app, "--workstations", o.workstations, 1, 10000000, "simulated workstations");
  NCliNumber::add(app, "--reports", o.reportsEach, 1, 100000, "reports per workstation");
  app.add_option("--rate", o.rate, "reports per second in all (0: as fast as possible)")
      ->check(CLI::Range(0.0, 1e7))->type_name("PER_SECOND")->capture_default_str();
  NCliNumber::add(app, "--concurrency", o.concurrency, 1, 1024, "client threads");
  NCliNumber::add(app, "--duration", o.durationSeconds, 1, 3600,
                  "seconds after which nothing more is sent");
  NCliNumber::add(app, "--reply-wait-ms", o.replyWaitMs, 100, 600000,
                  "how long a report waits for its reply");
  app.add_option("--db", o.db, "the gateways' database to check (SQLite file or postgresql://...)")
      ->type_name("DB");
  app.add_option("--tag", o.tag, "prefix of the equipment ids (letters and digits, at most 32)")
      ->check([](const std::string& tag) {
        return plainTag(tag) ? std::string() : std::string("letters and digits, at most 32");
      });
  NCliNumber::add(app, "--max-errors", o.maxErrors, 0, INT64_MAX,
                  "errors tolerated before the exit code is 1");
  app.add_flag("--json", o.json, "print one JSON object");
  cli.setRootAction(
      "cvdt-fleet --gateway 127.0.0.1:7221 --workstations 10000 --rate 167 --db gateway.db",
      [&o] { return runFleet(o); });
  return cli.run(argc, argv);
}
