// Times a commanded job (NGenDist to "060") on a large package from a loopback HTTP server
// against the same downloads with the curl command line plus extraction with bsdtar, and reads
// the job's peak memory.
// Usage: cvdt_job_vs_cli [--size-mib N] [--part-mib N] [--runs N] [--work DIR]
//        cvdt_job_vs_cli --job PORT CONTENTS_FILE MACHINE_DIR   (one job; run as a child)
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchRun.h"
#include "JobPhases.h"
#include "ReportCollector.h"
#include "gendist/NGenDist.h"
#include "platform/NMisc.h"
#include "platform/PlatformFs.h"
#include "platform/posix/MachineLayout.h"
#include "support/LoopbackHttpServer.h"

namespace {

namespace fs = std::filesystem;
using namespace cvdt::bench;

constexpr int kDistId = 77;
constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint64_t kFileMiB = 128;  // the payload is cut into files of this size

struct Options {
  uint64_t sizeMiB = 1024;
  uint64_t partMiB = 64;
  int runs = 5;
  std::string work;
};

struct JobRun {
  double seconds = -1;
  std::string status;
  long peakKiB = 0;      // VmHWM over the job alone (reset just before it)
  long baselineKiB = 0;  // VmRSS just before the job: the program, its libraries, the watcher
  JobPhases::Seconds phases;
  std::string target;  // host folder the package was extracted into
};

// The command lines: curl, then md5sum of the parts, then cat | bsdtar. The pair the job is
// measured against is curl and bsdtar; md5sum, timed apart, shows what the job's digests cost.
struct CliRun {
  double seconds = -1;  // curl and bsdtar
  double curl = -1;
  double md5sum = -1;
};

// ---------------------------------------------------------------- the job (child process) ---

std::unique_ptr<DistCommandRecord> recordFor(const std::string& contents, int port) {
  auto record = std::make_unique<DistCommandRecord>();
  std::memset(record.get(), 0, sizeof(DistCommandRecord));
  record->m_nCmdId = 901;
  std::strcpy(record->m_hostEnv.m_szEquipId, "EQ0000000001");
  std::strcpy(record->m_hostEnv.m_szFtAddress, "http");
  std::snprintf(record->m_hostEnv.m_szFtPort, sizeof record->m_hostEnv.m_szFtPort, "%d", port);
  std::strcpy(record->m_hostEnv.m_szTransferMode, "P");
  std::strcpy(record->m_szCurTime, "20261205120000");
  std::strcpy(record->m_szCallArgs, "N|%10");
  std::strcpy(record->m_szEquipCfg, "127.0.0.1");
  if (!parseDistContent(contents.c_str(), record->m_content)) return nullptr;
  return record;
}

// Takes the job's reports from the host's queue as the host does, so none waits for room.
class ReportDrain {
 public:
  bool open() {
    if (!m_collector.open()) return false;
    m_thread = std::thread([this] {
      while (!m_bStop) {
        m_collector.waitFilled(20);
        std::vector<cvdt::host::CommandResult> taken;
        m_collector.takeQueued(taken);
        m_collector.takeFiles(taken);
      }
    });
    return true;
  }
  ~ReportDrain() {
    m_bStop = true;
    if (m_thread.joinable()) m_thread.join();
    m_collector.close();
  }

 private:
  cvdt::host::ReportCollector m_collector;
  std::atomic<bool> m_bStop{false};
  std::thread m_thread;
};

bool layOut(const std::string& machineDir, std::string& moduleFolder) {
  plat::posix::MachineConfig config = plat::posix::defaultMachine(machineDir, true);
  plat::posix::LayoutOptions layout;
  layout.stageFolder = CVDT_STAGE_DIR;
  std::string error;
  if (!plat::posix::layOutMachine(config, layout, error)) {
    std::fprintf(stderr, "cvdt_job_vs_cli: %s\n", error.c_str());
    return false;
  }
  moduleFolder = config.moduleFolder;
  NMisc::setThisModule(plat::moduleHandleForFile(moduleFolder + "\\cvdt.dll"));
  return true;
}

// Lays out a fresh machine, runs the job once and prints
// "SECONDS STATUS PEAK_KIB BASELINE_KIB INDEX TRANSFER DIGEST EXTRACT PARTS TARGET".
int runJobChild(int port, const std::string& contentsFile, const std::string& machineDir) {
  std::string moduleFolder;
  if (!layOut(machineDir, moduleFolder)) return 1;
  ReportDrain reports;
  auto record = recordFor(readText(contentsFile), port);
  if (!reports.open() || record == nullptr) return 1;
  // The folders the phases are watched in; the job would create them itself.
  std::string id = std::to_string(kDistId);
  std::string parts = plat::toHostPath(moduleFolder + "\\ndist") + "/" + id;
  std::string target = plat::toHostPath(moduleFolder + "\\ndist_temp") + "/" + id;
  fs::create_directories(parts);
  fs::create_directories(target);
  JobPhases phases;
  // The extraction builds its tree in a staging folder beside the target, renamed into place.
  if (!phases.watch(parts, fs::path(target).parent_path().string())) return 1;
  plat::Event stop(false);
  NGenDist job;
  int distId = 0;
  long baseline = statusKiB("VmRSS:");
  std::ofstream("/proc/self/clear_refs") << "5";  // the peak from here on is the job's
  auto start = Clock::now();
  bool ok = job.initSetting(*record, distId) == 1 && job.doDistNormal(&stop) == 1;
  auto end = Clock::now();
  JobPhases::Seconds split = phases.finish(start, end);
  std::printf("%.4f %s %ld %ld %.4f %.4f %.4f %.4f %d %s\n",
              std::chrono::duration<double>(end - start).count(), job.status().text(),
              statusKiB("VmHWM:"), baseline, split.index, split.transfer, split.digest, split.extract,
              split.parts, target.c_str());
  return ok ? 0 : 1;
}

// ------------------------------------------------------------------- the package and server ---

void writeRandomFile(const std::string& path, uint64_t bytes, uint64_t& state) {
  std::ofstream out(path, std::ios::binary);
  std::vector<uint64_t> block(kMiB / 8);
  for (uint64_t written = 0; written < bytes; written += kMiB) {
    for (uint64_t& word : block) {  // xorshift64*: fast, and deflate finds nothing to shrink
      state ^= state >> 12, state ^= state << 25, state ^= state >> 27;
      word = state * 2685821657736338717ull;
    }
    out.write(reinterpret_cast<const char*>(block.data()),
              static_cast<std::streamsize>(std::min<uint64_t>(kMiB, bytes - written)));
  }
}

// Packs sizeMiB of random bytes into parts of partMiB, once per size; the contents text.
std::string ensurePackage(const Options& options) {
  std::string stamp = options.work + "/package.contents";
  std::string key = std::to_string(options.sizeMiB) + "-" + std::to_string(options.partMiB);
  if (readText(options.work + "/package.key") == key && fs::exists(stamp)) return readText(stamp);
  std::fprintf(stderr, "packing %ju MiB of random bytes into %ju MiB parts in %s\n",
               static_cast<uintmax_t>(options.sizeMiB), static_cast<uintmax_t>(options.partMiB),
               options.work.c_str());
  fs::remove_all(options.work + "/src");
  fs::remove_all(options.work + "/root");
  fs::create_directories(options.work + "/src");
  fs::create_directories(options.work + "/root");
  uint64_t state = 0x9E3779B97F4A7C15ull;
  for (uint64_t done = 0, i = 0; done < options.sizeMiB; done += kFileMiB, ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/src/data%03ju.bin", static_cast<uintmax_t>(i));
    writeRandomFile(options.work + name, std::min(kFileMiB, options.sizeMiB - done) * kMiB, state);
  }
  std::string output = outputOf(std::string(CVDT_PACK_PATH) + " normal --id " +
                                std::to_string(kDistId) + " --name Bench --src '" + options.work +
                                "/src' --out '" + options.work + "/root' --part-size " +
                                std::to_string(options.partMiB) + "M");
  size_t at = output.find("contents=");
  if (at == std::string::npos) return {};
  std::string contents = output.substr(at + 9, output.find('\n', at) - at - 9);
  std::ofstream(stamp) << contents;
  std::ofstream(options.work + "/package.key") << key;
  return contents;
}

// The server paths the job fetches, the index first, then the parts in order.
std::vector<std::string> packagePaths(const std::string& root) {
  std::vector<std::string> parts;
  for (const auto& entry : fs::directory_iterator(root + "/Corvane/dist/normal/" + std::to_string(kDistId)))
    parts.push_back("/Corvane/dist/normal/" + std::to_string(kDistId) + "/" + entry.path().filename().string());
  std::sort(parts.begin(), parts.end(), [](const std::string& a, const std::string& b) {
    bool aFirst = a.size() >= 4 && a.compare(a.size() - 4, 4, ".lgz") == 0;
    bool bFirst = b.size() >= 4 && b.compare(b.size() - 4, 4, ".lgz") == 0;
    return aFirst != bFirst ? aFirst : a < b;
  });
  parts.insert(parts.begin(), "/Corvane/dist/normal/" + std::to_string(kDistId) + ".idx.lgz");
  return parts;
}


// ---------------------------------------------------------------------------- the runs ---

// curl fetches every file over one connection, md5sum digests the parts, then the joined parts
// go through bsdtar.
CliRun runCli(const std::string& folder, int port, const std::vector<std::string>& paths) {
  fs::create_directories(folder + "/dl");
  fs::create_directories(folder + "/out");
  std::string fetch = "curl -s -f";
  std::string parts;
  for (size_t i = 0; i < paths.size(); ++i) {
    std::string local = folder + "/dl/" + fs::path(paths[i]).filename().string();
    fetch += " -o '" + local + "' http://127.0.0.1:" + std::to_string(port) + paths[i];
    if (i > 0) parts += " '" + local + "'";
  }
  std::string digest = "md5sum" + parts + " >/dev/null";
  std::string extract = "cat" + parts + " | bsdtar -xf - -C '" + folder + "/out'";
  CliRun run;
  auto start = Clock::now();
  if (std::system(fetch.c_str()) != 0) return run;
  run.curl = secondsSince(start);
  start = Clock::now();
  if (std::system(digest.c_str()) != 0) return run;
  run.md5sum = secondsSince(start);
  start = Clock::now();
  if (std::system(extract.c_str()) != 0) return run;
  run.seconds = run.curl + secondsSince(start);
  return run;
}

JobRun runJob(const std::string& work, int port) {
  std::string self = fs::read_symlink("/proc/self/exe").string();
  std::string command = "'" + self + "' --job " + std::to_string(port) + " '" + work +
                        "/package.contents' '" + work + "/machine'";
  std::istringstream line(outputOf(command));
  JobRun run;
  JobPhases::Seconds& split = run.phases;
  if (!(line >> run.seconds >> run.status >> run.peakKiB >> run.baselineKiB >> split.index >> split.transfer >>
        split.digest >> split.extract >> split.parts))
    run.seconds = -1;
  std::getline(line >> std::ws, run.target);  // the last field, and it may hold spaces
  return run;
}

// True when every file of the source is in the folder with the same bytes.
bool sameTree(const std::string& source, const std::string& copy) {
  for (const auto& entry : fs::directory_iterator(source)) {
    std::string other = copy + "/" + entry.path().filename().string();
    if (std::system(("cmp -s '" + entry.path().string() + "' '" + other + "'").c_str()) != 0)
      return false;
  }
  return true;
}

void settle() {
  sync();  // the previous run's writes must not be flushed during the next one
}

Options parseOptions(int argc, char** argv) {
  Options options;
  const char* tmp = std::getenv("TMPDIR");
  options.work = std::string(tmp ? tmp : "/tmp") + "/cvdt_job_bench";
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string name = argv[i];
    if (name == "--size-mib") options.sizeMiB = std::strtoull(argv[i + 1], nullptr, 10);
    else if (name == "--part-mib") options.partMiB = std::strtoull(argv[i + 1], nullptr, 10);
    else if (name == "--runs") options.runs = std::atoi(argv[i + 1]);
    else if (name == "--work") options.work = argv[i + 1];
  }
  return options;
}

// One pair of runs: the command lines first, then the job; false when either went wrong.
bool runPair(const Options& options, int port, const std::vector<std::string>& paths,
             CliRun& cli, JobRun& job) {
  std::string cliFolder = options.work + "/cli";
  settle();
  cli = runCli(cliFolder, port, paths);
  bool cliOk = cli.seconds > 0 && sameTree(options.work + "/src", cliFolder + "/out");
  fs::remove_all(cliFolder);
  settle();
  job = runJob(options.work, port);
  bool jobOk = job.seconds > 0 && job.status == "060" && sameTree(options.work + "/src", job.target);
  fs::remove_all(options.work + "/machine");
  if (!cliOk || !jobOk)
    std::fprintf(stderr, "cvdt_job_vs_cli: a run failed (cli %s, job %s)\n", cliOk ? "ok" : "failed",
                 jobOk ? "ok" : job.status.c_str());
  return cliOk && jobOk;
}

void printRun(int number, const CliRun& cli, const JobRun& job) {
  const JobPhases::Seconds& p = job.phases;
  std::printf("run %d: cli %.3f s (curl %.3f, cat | bsdtar %.3f; md5sum apart %.3f); job %.3f s "
              "(index %.3f, %d transfers %.3f, digests %.3f, extraction %.3f), peak %ld KiB (%ld above "
              "the %ld KiB before it)\n",
              number, cli.seconds, cli.curl, cli.seconds - cli.curl, cli.md5sum, job.seconds, p.index,
              p.parts, p.transfer, p.digest, p.extract, job.peakKiB, job.peakKiB - job.baselineKiB,
              job.baselineKiB);
  std::fflush(stdout);
}

void printSummary(const Options& options, uint64_t packageBytes, size_t parts,
                  const std::vector<double>& cli, const std::vector<double>& checked,
                  const std::vector<double>& job, long peakKiB, long ownKiB) {
  double megabytes = static_cast<double>(packageBytes) / 1e6;
  double bestCli = best(cli);
  double bestJob = best(job);
  std::printf("package: %ju MiB of random bytes, %ju bytes in %zu parts of %ju MiB; %d runs each\n",
              static_cast<uintmax_t>(options.sizeMiB), static_cast<uintmax_t>(packageBytes), parts,
              static_cast<uintmax_t>(options.partMiB), options.runs);
  std::printf("curl + bsdtar (command line): best %7.3f s (%7.1f MB/s), median %7.3f s\n",
              bestCli, megabytes / bestCli, median(cli));
  std::printf("NGenDist job to \"060\":        best %7.3f s (%7.1f MB/s), median %7.3f s\n",
              bestJob, megabytes / bestJob, median(job));
  std::printf("ratio job/cli: best %.3f, median %.3f\n", bestJob / bestCli, median(job) / median(cli));
  double bestChecked = best(checked);
  std::printf("with md5sum of the parts between them: best %7.3f s, median %7.3f s; ratio job/that: "
              "best %.3f, median %.3f\n",
              bestChecked, median(checked), bestJob / bestChecked, median(job) / median(checked));
  std::printf("job peak memory (VmHWM, highest of the runs): %.1f MiB, of which %.1f MiB above "
              "what the process held before the job\n",
              static_cast<double>(peakKiB) / 1024.0, static_cast<double>(ownKiB) / 1024.0);
}

int runBench(const Options& options) {
  fs::create_directories(options.work);
  std::string contents = ensurePackage(options);
  if (contents.empty()) return 1;
  std::string root = options.work + "/root";
  std::vector<std::string> paths = packagePaths(root);
  uint64_t packageBytes = 0;
  for (size_t i = 1; i < paths.size(); ++i) packageBytes += fs::file_size(root + paths[i]);
  cvdt::test::LoopbackHttpServer server;
  serveAndCache(server, root, paths);
  if (!server.start()) return 1;
  std::vector<double> cliSeconds, checkedSeconds, jobSeconds;
  long peakKiB = 0, ownKiB = 0;
  for (int i = 0; i < options.runs; ++i) {
    CliRun cli;
    JobRun job;
    if (!runPair(options, server.port(), paths, cli, job)) return 1;
    printRun(i + 1, cli, job);
    cliSeconds.push_back(cli.seconds);
    checkedSeconds.push_back(cli.seconds + cli.md5sum);
    jobSeconds.push_back(job.seconds);
    peakKiB = std::max(peakKiB, job.peakKiB);
    ownKiB = std::max(ownKiB, job.peakKiB - job.baselineKiB);
  }
  printSummary(options, packageBytes, paths.size() - 1, cliSeconds, checkedSeconds, jobSeconds,
               peakKiB, ownKiB);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--job") == 0)
    return runJobChild(std::atoi(argv[2]), argv[3], argv[4]);
  if (argc % 2 == 0 || (argc > 1 && std::strncmp(argv[1], "--", 2) != 0)) {
    std::fprintf(stderr, "usage: cvdt_job_vs_cli [--size-mib N] [--part-mib N] [--runs N] [--work DIR]\n");
    return 2;
  }
  Options options = parseOptions(argc, argv);
  if (options.sizeMiB == 0 || options.partMiB == 0 || options.runs < 1) return 2;
  return runBench(options);
}
