// Product detection on a laid-out machine: one 50-condition installed-section (files in both
// program folders, registry values in both views, versions), a 100-target sweep through the
// detection manager, and the single lookups the conditions are made of, to show where the time
// goes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "detect/NEswDetectMgr.h"
#include "detect/NEswDetectParser.h"
#include "detect/NFileVersion.h"
#include "detect/NPlatformStrings.h"
#include "detect/NRegistry.h"
#include "platform/NMisc.h"
#include "platform/PlatformFs.h"
#include "platform/posix/MachineLayout.h"

namespace {

namespace fs = std::filesystem;
using CRV::CVDT::AUTO_DIST::NEswDetectMgr;

const std::string kKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product";

class BenchMachine {
 public:
  BenchMachine() {
    m_root = (fs::temp_directory_path() / ("cvdt-detect-bench-" + std::to_string(getpid()))).string();
    auto config = plat::posix::defaultMachine(m_root, true);
    std::string error;
    if (!plat::posix::layOutMachine(config, {}, error)) std::abort();
    for (bool view64 : {false, true}) {
      NRegistry key;
      key.open(plat::RegRoot::LocalMachine, "SOFTWARE\\Vendor\\Product", false, false, view64);
      key.writeText("InstallDir", view64 ? "C:\\Program Files\\Vendor\\Product"
                                         : "C:\\Program Files (x86)\\Vendor\\Product");
      key.writeText("Version", "7.3.1.200");
      key.writeText("Edition", "Enterprise");
    }
    for (const char* folder : {"C:\\Program Files (x86)\\Vendor\\Product", "C:\\Program Files\\Vendor\\Product"}) {
      fs::path host(plat::toHostPath(folder));
      fs::create_directories(host);
      for (int i = 0; i < 10; ++i) std::ofstream(host / ("part" + std::to_string(i) + ".dll")) << "MZ";
    }
  }
  ~BenchMachine() { fs::remove_all(m_root); }

 private:
  std::string m_root;
};

BenchMachine& machine() {
  static BenchMachine instance;
  return instance;
}

std::string condition(const std::string& tag, const std::vector<std::pair<std::string, std::string>>& ops) {
  std::string text = "<expression><" + tag + ">";
  for (const auto& [name, value] : ops) text += "<" + name + ">" + value + "</" + name + ">";
  return text + "</" + tag + "></expression>";
}

// Condition i of a realistic policy: files by path and by registry directory, registry values
// and versions, alternating between the 32- and the 64-bit view.
std::string realisticCondition(int i) {
  bool wide = i % 2 == 1;
  std::string part = "part" + std::to_string(i % 10) + ".dll";
  switch (i % 5) {
    case 0: return condition(wide ? "file64Exists1" : "fileExists1",
                             {{"fileName", part}, {"path", "%csidl_program_files%\\Vendor\\Product"}});
    case 1: return condition(wide ? "file64Exists2" : "fileExists2",
                             {{"fileName", part}, {"key", kKey}, {"entry", "InstallDir"}});
    case 2: return condition(wide ? "regKey64Value" : "regKeyValue",
                             {{"key", kKey}, {"entry", "Edition"}, {"value", "enterprise"}});
    case 3: return condition(wide ? "regKey64Version" : "regKeyVersion",
                             {{"versionStatus", "HIGHER_OR_SAME"}, {"key", kKey}, {"entry", "Version"}, {"version", "7.3"}});
    default: return condition(wide ? "file64Version1" : "fileVersion1",
                              {{"versionStatus", "HIGHER"}, {"fileName", part},
                               {"filePath", "%csidl_program_files%\\Vendor\\Product"}, {"version", "1.0"}});
  }
}

// Conditions 0..count-1 joined by "and"; the file versions (these files carry no version
// resource, so they are false after the file was read) join by "or", so the whole stays true.
std::string realisticExpression(int count) {
  std::string text;
  // Operator j is applied as the (count - 1 - j)-th and brings in condition count - 1 - j.
  for (int j = 0; j + 1 < count; ++j)
    text += (count - 1 - j) % 5 == 4 ? "<expression><or>" : "<expression><and>";
  for (int i = 0; i < count; ++i) text += realisticCondition(i);
  return text;
}

void BM_Evaluate50Conditions(benchmark::State& state) {
  machine();
  std::string text = realisticExpression(50);
  for (auto _ : state) {
    NEswDetectParser parser;
    int result = 0;
    if (!parser.evaluate(text.c_str(), result) || result != 1) state.SkipWithError("not installed");
  }
  state.counters["policy_bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_Evaluate50Conditions)->Unit(benchmark::kMillisecond);

// 100 targets of 5 conditions each (a policy field holds at most 5,119 characters), all
// examined by one manager as the installed-product check does.
void BM_Sweep100Targets(benchmark::State& state) {
  machine();
  std::vector<ProductTarget> targets(100);
  for (int t = 0; t < 100; ++t) {
    std::string policy = "<polProduct><flatform01>ver_platform_win32_nt.5.1.x86......</flatform01>"
                         "<flatform02>ver_platform_win32_nt.10.0.x64......</flatform02><installed>";
    std::string body;
    for (int i = 0; i < 4; ++i) body += "<expression><and>";
    for (int i = 0; i < 5; ++i) body += realisticCondition((t + i * 3) % 4 == 3 ? 3 : (t + i * 3) % 4);
    policy += body + "</installed></polProduct>";
    std::strncpy(targets[t].pcPolicy, policy.c_str(), sizeof targets[t].pcPolicy - 1);
  }
  for (auto _ : state) {
    NEswDetectMgr mgr;
    mgr.init("", "");
    for (int t = 0; t < 100; ++t) {
      if (mgr.detect(targets.data(), 100, t) != 1 || targets[t].bReal_Installed != 1)
        state.SkipWithError("target not detected");
    }
  }
}
BENCHMARK(BM_Sweep100Targets)->Unit(benchmark::kMillisecond);

void BM_RegistryOpenAndRead(benchmark::State& state) {
  machine();
  for (auto _ : state) {
    NRegistry key;
    key.open(plat::RegRoot::LocalMachine, "SOFTWARE\\Vendor\\Product", true, true, state.range(0) != 0);
    benchmark::DoNotOptimize(key.readValue("Version"));
  }
}
BENCHMARK(BM_RegistryOpenAndRead)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_PathKind(benchmark::State& state) {
  machine();
  for (auto _ : state)
    benchmark::DoNotOptimize(NMisc::getPathKind("C:\\Program Files\\Vendor\\Product\\part3.dll", 1));
}
BENCHMARK(BM_PathKind)->Unit(benchmark::kMicrosecond);

void BM_FileVersionNumber(benchmark::State& state) {
  machine();
  for (auto _ : state)
    benchmark::DoNotOptimize(getFileVersionNumber("C:\\Program Files (x86)\\Vendor\\Product\\part4.dll"));
}
BENCHMARK(BM_FileVersionNumber)->Unit(benchmark::kMicrosecond);

void BM_PlatformStrings(benchmark::State& state) {
  machine();
  for (auto _ : state) {
    NStringArray list;
    buildPlatformStrings(list);
    benchmark::DoNotOptimize(list.getCount());
  }
}
BENCHMARK(BM_PlatformStrings)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
