// Times passes of the automatic worker over one item of many small files whose destination is
// already in place (nothing to do) or has one changed file, against md5sum over the same tree,
// counts what the pass fetched from the loopback HTTP server, and reads the pass's peak memory.
// Usage: cvdt_adist_sweep [--files N] [--runs N] [--work DIR] [--fetch-all] [--dialog]
//        cvdt_adist_sweep --pass GATEWAY_PORT HTTP_PORT ITEM_ENTRY Y|N   (one pass; a child)
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "BenchRun.h"
#include "autodist/NAutoDist.h"
#include "autodist/NDistMgr.h"
#include "entry/NModuleState.h"
#include "platform/NMisc.h"
#include "platform/PlatformFs.h"
#include "platform/posix/MachineLayout.h"
#include "support/LoopbackHttpServer.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace cvdt::bench;

constexpr int kDistId = 88;
constexpr int kFilesPerFolder = 100;
constexpr uint64_t kSeed = 20261206;
constexpr const char* kDestination = "C:\\Sweep";

struct Options {
  int files = 10000;
  int runs = 5;
  bool fetchAll = false;  // the first pass fetches every file instead of finding them in place
  bool dialog = false;    // the passes show the progress dialog (every report is published)
  std::string work;
};

// What one pass child printed.
struct PassRun {
  double seconds = -1;
  std::string status;
  long peakKiB = 0;      // VmHWM over the pass alone (reset just before it)
  long baselineKiB = 0;  // VmRSS just before the pass
  double cpu = -1;       // user + system seconds of the pass
};

// A reference run: wall time and the user + system time of its processes.
struct Reference {
  double seconds = -1;
  double cpu = -1;
};

double cpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string moduleFolderOf(const std::string& machineDir) {
  return plat::posix::defaultMachine(machineDir, true).moduleFolder;
}

// ------------------------------------------------------------------ one pass (child process) ---

void setHostEnvironment(int gatewayPort, int httpPort) {
  auto env = std::make_unique<HostEnvironment>();
  std::memset(env.get(), 0, sizeof(HostEnvironment));
  std::strcpy(env->m_szEquipId, "EQ0000000001");
  std::strcpy(env->m_szDbAddress, "127.0.0.1");
  std::snprintf(env->m_szDbPort, sizeof env->m_szDbPort, "%d", gatewayPort);
  std::strcpy(env->m_szFtAddress, "http");
  std::snprintf(env->m_szFtPort, sizeof env->m_szFtPort, "%d", httpPort);
  std::strcpy(env->m_szTransferMode, "P");
  NModuleState::setHostEnvironment(*env);
}

// Runs one pass of a worker over the one item on the machine of CVDT_MACHINE and prints
// "pass-result SECONDS STATUS PEAK_KIB BASELINE_KIB CPU_SECONDS" on a line of its own (the
// dialog, when shown, draws on the same output).
int runPassChild(int gatewayPort, int httpPort, const std::string& itemEntry, bool dialog) {
  const char* machine = std::getenv("CVDT_MACHINE");
  if (machine == nullptr) return 1;
  NMisc::setThisModule(plat::moduleHandleForFile(moduleFolderOf(machine) + "\\cvdt.dll"));
  setHostEnvironment(gatewayPort, httpPort);
  NDistMgr manager;
  std::string equipCfg = "EQ0000000001|%" + itemEntry + "|%127.0.0.1";
  if (!manager.initSetting(NMisc::getCurrentTimeText().text(), dialog ? "3|%60|%Y|%0" : "3|%60|%N|%0",
                           equipCfg.c_str(), "", NDistMgr::kModePeriodic))
    return 1;
  NAutoDist worker;
  worker.initSetting(&manager);
  long baseline = statusKiB("VmRSS:");
  std::ofstream("/proc/self/clear_refs") << "5";  // the peak from here on is the pass's
  double cpu = cpuSeconds(RUSAGE_SELF);
  auto start = Clock::now();
  worker.run();
  double seconds = secondsSince(start);
  cpu = cpuSeconds(RUSAGE_SELF) - cpu;
  if (dialog) manager.killDialog(kADistDlgImage);  // as the manager does when it stops
  std::vector<ADistItem> items(ADistSharedState::kMaxItems);
  int count = manager.copyItems(items.data());
  std::printf("\npass-result %.4f %s %ld %ld %.4f\n", seconds, count == 1 ? items[0].m_szStatus : "none",
              statusKiB("VmHWM:"), baseline, cpu);
  return 0;
}

// ---------------------------------------------------------------- the tree and the package ---

// Files of 4 to 64 KiB of random bytes in folders of kFilesPerFolder, the same for a seed.
void writeTree(const std::string& source, int files) {
  std::mt19937_64 random(kSeed);
  std::uniform_int_distribution<size_t> size(4 * 1024, 64 * 1024);
  std::vector<uint64_t> block(64 * 1024 / 8);
  for (int i = 0; i < files; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "/d%03d/f%05d.bin", i / kFilesPerFolder, i);
    fs::create_directories(fs::path(source + name).parent_path());
    for (uint64_t& word : block) word = random();
    std::ofstream(source + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(block.data()),
               static_cast<std::streamsize>(size(random)));
  }
}

// Writes and packs the tree once per file count; the item entry "id|*name|*digest".
std::string ensurePackage(const Options& options) {
  const std::string key = std::to_string(options.files) + "-" + std::to_string(kSeed);
  const std::string stamp = options.work + "/package.item";
  if (readText(options.work + "/package.key") == key && fs::exists(stamp)) return readText(stamp);
  std::fprintf(stderr, "writing and packing %d files in %s\n", options.files, options.work.c_str());
  fs::remove_all(options.work + "/src");
  fs::remove_all(options.work + "/root");
  fs::create_directories(options.work + "/root");
  writeTree(options.work + "/src", options.files);
  std::string output = outputOf(std::string(CVDT_PACK_PATH) + " auto --id " +
                                std::to_string(kDistId) + " --name Sweep --dest '" + kDestination +
                                "' --subfolders --src '" + options.work + "/src' --out '" +
                                options.work + "/root'");
  size_t at = output.find("item=");
  if (at == std::string::npos) return {};
  std::string item = output.substr(at + 5, output.find('\n', at) - at - 5);
  std::ofstream(stamp) << item;
  std::ofstream(options.work + "/package.key") << key;
  return item;
}


// --------------------------------------------------------------------------- the gateway ---

// The real gateway on 127.0.0.1 with a fresh database; stopped on destruction.
class Gateway {
 public:
  bool start(const std::string& folder) {
    fs::remove(folder + "/gateway.db");
    std::string db = folder + "/gateway.db";
    std::vector<std::string> args = {CVDT_GATEWAY_PATH, "serve", "--listen", "127.0.0.1:0",
                                     "--db", db};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    bool spawned = posix_spawn(&m_nPid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string line;
    char c = 0;
    while (spawned && line.find('\n') == std::string::npos && read(out[0], &c, 1) == 1) line += c;
    close(out[0]);
    size_t colon = line.rfind(':');
    if (line.rfind("listening on 127.0.0.1:", 0) != 0 || colon == std::string::npos) return false;
    m_nPort = std::atoi(line.c_str() + colon + 1);
    return m_nPort > 0;
  }
  ~Gateway() {
    if (m_nPid <= 0) return;
    kill(m_nPid, SIGTERM);
    waitpid(m_nPid, nullptr, 0);
  }
  int port() const { return m_nPort; }

 private:
  pid_t m_nPid = -1;
  int m_nPort = 0;
};

// ------------------------------------------------------------------------------ the runs ---

struct Bench {
  Options options;
  std::string item;
  std::string machine;
  std::string destination;  // host folder of kDestination
  int gatewayPort = 0;
  int httpPort = 0;
};

PassRun runPass(const Bench& bench) {
  std::string self = fs::read_symlink("/proc/self/exe").string();
  // CVDT_ADIST_PASS_WRAPPER runs the pass under a profiler ("perf record -g -o FILE").
  const char* wrapper = std::getenv("CVDT_ADIST_PASS_WRAPPER");
  std::string command = std::string(wrapper ? wrapper : "") + " '" + self + "' --pass " + std::to_string(bench.gatewayPort) + " " +
                        std::to_string(bench.httpPort) + " '" + bench.item + "' " +
                        (bench.options.dialog ? "Y" : "N");
  std::string output = outputOf(command);
  size_t at = output.rfind("\npass-result ");
  std::istringstream line(at == std::string::npos ? std::string() : output.substr(at + 13));
  PassRun run;
  if (!(line >> run.seconds >> run.status >> run.peakKiB >> run.baselineKiB >> run.cpu))
    run.seconds = -1;
  return run;
}

// md5sum over every file of the destination, as one batch of processes.
Reference runMd5sum(const std::string& folder) {
  std::string command = "cd '" + folder + "' && find . -type f -print0 | xargs -0 md5sum >/dev/null";
  Reference run;
  double cpu = cpuSeconds(RUSAGE_CHILDREN);
  auto start = Clock::now();
  if (std::system(command.c_str()) != 0) return run;
  run.seconds = secondsSince(start);
  run.cpu = cpuSeconds(RUSAGE_CHILDREN) - cpu;
  return run;
}

// The runs of one kind: wall and CPU times of md5sum and of the pass, and the pass's memory.
struct Series {
  std::vector<double> md5sum, md5sumCpu, pass, passCpu;
  long peakKiB = 0, baselineKiB = 0;
  void add(const Reference& reference, const PassRun& run) {
    md5sum.push_back(reference.seconds);
    md5sumCpu.push_back(reference.cpu);
    pass.push_back(run.seconds);
    passCpu.push_back(run.cpu);
    peakKiB = std::max(peakKiB, run.peakKiB);
    baselineKiB = std::max(baselineKiB, run.baselineKiB);
  }
  void print(const char* title) const {
    std::printf("%s\n  md5sum over the tree: best %.3f s, median %.3f s (CPU median %.3f s)\n"
                "  pass:                 best %.3f s, median %.3f s (CPU median %.3f s)\n"
                "  ratio pass/md5sum: best %.3f, median %.3f; CPU time median %.3f\n"
                "  pass peak memory (VmHWM during the pass, highest): %.1f MiB (%.1f MiB resident "
                "before it)\n",
                title, best(md5sum), median(md5sum), median(md5sumCpu), best(pass), median(pass),
                median(passCpu), best(pass) / best(md5sum), median(pass) / median(md5sum),
                median(passCpu) / median(md5sumCpu), static_cast<double>(peakKiB) / 1024.0,
                static_cast<double>(baselineKiB) / 1024.0);
  }
};

bool sameTree(const std::string& source, const std::string& copy) {
  return std::system(("diff -rq '" + source + "' '" + copy + "' >/dev/null").c_str()) == 0;
}

// Puts the tree in place as an earlier pass would have left it: the files copied into the
// destination, then a pass that finds every file equal and fetches only the index archive
// (which later passes find in the local folder). With --fetch-all the first pass places every
// file itself instead, which on a 2-core machine takes minutes for 10,000 files.
bool prime(Bench& bench, cvdt::test::LoopbackHttpServer& server) {
  if (!bench.options.fetchAll) {
    fs::create_directories(bench.destination);
    fs::copy(bench.options.work + "/src", bench.destination, fs::copy_options::recursive);
  }
  PassRun run = runPass(bench);
  size_t gets = server.requests().size();
  std::printf("first pass (%s): %.3f s (CPU %.3f s), status %s, %zu requests, peak %.1f MiB\n",
              bench.options.fetchAll ? "every file fetched" : "files in place, index fetched",
              run.seconds, run.cpu, run.status.c_str(), gets,
              static_cast<double>(run.peakKiB) / 1024.0);
  size_t expected = bench.options.fetchAll ? static_cast<size_t>(bench.options.files) + 3 : 2;
  if (run.status != "060" || gets != expected ||
      !sameTree(bench.options.work + "/src", bench.destination)) {
    std::fprintf(stderr, "cvdt_adist_sweep: the first pass did not end with the tree in place "
                 "(%s, %zu requests)\n", run.status.c_str(), gets);
    return false;
  }
  return true;
}

// Alternately md5sum over the tree and a pass that has nothing to do; no request may be made.
bool runUnchanged(const Bench& bench, cvdt::test::LoopbackHttpServer& server, Series& series) {
  for (int i = 0; i < bench.options.runs; ++i) {
    size_t before = server.requests().size();
    Reference reference = runMd5sum(bench.destination);
    PassRun run = runPass(bench);
    size_t made = server.requests().size() - before;
    std::printf("unchanged run %d: md5sum %.3f s (CPU %.3f); pass %.3f s (CPU %.3f), status %s, "
                "%zu requests, peak %ld KiB\n", i + 1, reference.seconds, reference.cpu,
                run.seconds, run.cpu, run.status.c_str(), made, run.peakKiB);
    std::fflush(stdout);
    if (reference.seconds < 0 || run.seconds < 0 || run.status != "060" || made != 0) return false;
    series.add(reference, run);
  }
  return true;
}

// Changes one destination file, then md5sum and a pass, which must fetch that file only.
bool runOneChanged(const Bench& bench, cvdt::test::LoopbackHttpServer& server, int run,
                   Series& series) {
  char name[64];
  int file = static_cast<int>((static_cast<uint64_t>(run) * 7919u + 17u) % bench.options.files);
  std::snprintf(name, sizeof name, "/d%03d/f%05d.bin", file / kFilesPerFolder, file);
  std::fstream(bench.destination + name, std::ios::in | std::ios::out | std::ios::binary)
      .write("changed", 7);
  size_t before = server.requests().size();
  Reference reference = runMd5sum(bench.destination);
  PassRun pass = runPass(bench);
  std::vector<std::string> requests = server.requests();
  requests.erase(requests.begin(), requests.begin() + static_cast<long>(before));
  std::string made;
  for (const std::string& request : requests) made += " [" + request + "]";
  std::printf("one-changed run %d (%s): md5sum %.3f s (CPU %.3f); pass %.3f s (CPU %.3f), "
              "status %s, requests:%s\n", run + 1, name, reference.seconds, reference.cpu,
              pass.seconds, pass.cpu, pass.status.c_str(), made.c_str());
  std::fflush(stdout);
  std::string part = std::string("GET /Corvane/dist/auto/") + std::to_string(kDistId) + "/zip" +
                     name + ".lgz";
  size_t gets = std::count_if(requests.begin(), requests.end(),
                              [](const std::string& r) { return r.rfind("GET", 0) == 0; });
  bool onlyThat = std::find(requests.begin(), requests.end(), part) != requests.end() &&
                  gets == 2;  // the index archive (to choose the server) and the one part
  bool restored = std::system(("cmp -s '" + bench.options.work + "/src" + name + "' '" +
                               bench.destination + name + "'").c_str()) == 0;
  if (reference.seconds < 0 || pass.status != "060" || !onlyThat || !restored) return false;
  series.add(reference, pass);
  return true;
}

bool layOut(Bench& bench) {
  fs::remove_all(bench.machine);
  plat::posix::MachineConfig config = plat::posix::defaultMachine(bench.machine, true);
  plat::posix::LayoutOptions layout;
  layout.stageFolder = CVDT_STAGE_DIR;
  std::string error;
  if (!plat::posix::layOutMachine(config, layout, error)) {
    std::fprintf(stderr, "cvdt_adist_sweep: %s\n", error.c_str());
    return false;
  }
  bench.destination = plat::toHostPath(kDestination);
  return true;
}

int runBench(const Options& options) {
  fs::create_directories(options.work);
  Bench bench{options, ensurePackage(options), options.work + "/machine", {}, 0, 0};
  if (bench.item.empty() || !layOut(bench)) return 1;
  cvdt::test::LoopbackHttpServer server;
  serveAndCache(server, options.work + "/root", filesUnder(options.work + "/root"));
  Gateway gateway;
  if (!server.start() || !gateway.start(options.work)) return 1;
  bench.httpPort = server.port();
  bench.gatewayPort = gateway.port();
  std::printf("item of %d files (4 to 64 KiB), %d runs each\n", options.files, options.runs);
  if (!prime(bench, server)) return 1;
  Series unchanged, changed;
  if (!runUnchanged(bench, server, unchanged)) return 1;
  for (int i = 0; i < options.runs; ++i)
    if (!runOneChanged(bench, server, i, changed)) return 1;
  unchanged.print("nothing to do:");
  changed.print("one file changed (its part fetched, unpacked and moved into place):");
  return 0;
}

Options parseOptions(int argc, char** argv) {
  Options options;
  const char* tmp = std::getenv("TMPDIR");
  options.work = std::string(tmp ? tmp : "/tmp") + "/cvdt_adist_bench";
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    if (name == "--fetch-all" || name == "--dialog") {
      (name == "--dialog" ? options.dialog : options.fetchAll) = true;
      continue;
    }
    if (i + 1 == argc) break;
    ++i;
    if (name == "--files") options.files = std::atoi(argv[i]);
    else if (name == "--runs") options.runs = std::atoi(argv[i]);
    else if (name == "--work") options.work = argv[i];
  }
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 6 && std::strcmp(argv[1], "--pass") == 0)
    return runPassChild(std::atoi(argv[2]), std::atoi(argv[3]), argv[4], argv[5][0] == 'Y');
  if (argc > 1 && std::strncmp(argv[1], "--", 2) != 0) {
    std::fprintf(stderr, "usage: cvdt_adist_sweep [--files N] [--runs N] [--work DIR] [--fetch-all] [--dialog]\n");
    return 2;
  }
  Options options = parseOptions(argc, argv);
  if (options.files < 1 || options.runs < 1) return 2;
  return runBench(options);
}
