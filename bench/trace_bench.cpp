// Cost of one trace call with tracing on (threshold 10: every call appends an entry) and off
// (threshold 0: the registry read alone), on a fresh machine in a temporary folder.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "detect/NRegistry.h"
#include "platform/NMisc.h"
#include "platform/Trace.h"
#include "platform/posix/MachineLayout.h"

namespace {

namespace fs = std::filesystem;

class BenchMachine {
 public:
  BenchMachine() {
    m_root = (fs::temp_directory_path() / ("cvdt-trace-bench-" + std::to_string(getpid()))).string();
    auto config = plat::posix::defaultMachine(m_root, true);
    std::string error;
    if (!plat::posix::layOutMachine(config, {}, error)) std::abort();
    NMisc::setThisModule(plat::moduleHandleForFile(config.moduleFolder + "\\cvdt.dll"));
  }
  ~BenchMachine() { fs::remove_all(m_root); }
  void setThreshold(const char* value) {
    NRegistry agent;
    agent.open(plat::RegRoot::LocalMachine, "SOFTWARE\\Plumbex\\Corvane", true, false, false);
    agent.writeText("cvdt", value);
  }

 private:
  std::string m_root;
};

BenchMachine& machine() {
  static BenchMachine instance;
  return instance;
}

void BM_TraceOn(benchmark::State& state) {
  machine().setThreshold("10");
  int i = 0;
  for (auto _ : state) trace(3, "NGenDistMgr::threadProc:loop %d of the manager thread\n", ++i);
}
BENCHMARK(BM_TraceOn);

void BM_TraceOff(benchmark::State& state) {
  machine().setThreshold("0");
  int i = 0;
  for (auto _ : state) trace(3, "NGenDistMgr::threadProc:loop %d of the manager thread\n", ++i);
}
BENCHMARK(BM_TraceOff);

}  // namespace

BENCHMARK_MAIN();
