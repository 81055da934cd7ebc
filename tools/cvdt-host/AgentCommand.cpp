// The host agent's command loop.
#include "AgentCommand.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "ADistWatcher.h"
#include "HostModule.h"
#include "HostPlatform.h"
#include "NCliNumber.h"
#include "ReportCollector.h"
#include "ScriptNumber.h"
#include "gendist/DistContent.h"
#include "gendist/NGenDistMgr.h"
#include "platform/FixedText.h"
#include "platform/NMisc.h"
#include "platform/PlatformText.h"
#include "platform/WindowsCommandLine.h"

namespace cvdt::host {
namespace {

using Words = std::vector<std::string>;
constexpr const char* kDefaultEquipCfg = "127.0.0.1|%0|&60";
constexpr const char* kDefaultCallArgs = "N|%10";
// Retry 3 times, a pass every 60 minutes, show the dialog (so the state is published), no
// periodic status report.
constexpr const char* kDefaultADistCallArgs = "3|%60|%Y|%0";
#if defined(_WIN32)
constexpr const char* kDefaultModuleText = "cvdt.dll beside this program";
#else
constexpr const char* kDefaultModuleText = "cvdt.dll in the machine's module folder";
#endif

// The options of the agent: the host environment block and where the script comes from.
struct AgentOptions {
  std::string strEquipId = "EQ0000000001", strGateway = "127.0.0.1:7221", strFtProtocol = "http";
  std::string strFtCredentials, strFtMode = "P", strModule, strScript;
  int64_t nFtPort = 80;
};

// The script language, shown at the end of `cvdt-host agent --help`.
std::string scriptHelp() {
  char defaults[64];
  std::snprintf(defaults, sizeof defaults, "%s", kDefaultADistCallArgs);
  return std::string(
      "Script commands (one per line, quoted like a Windows command line; '#' starts a comment):\n"
      "  ndist-func [EQUIPCFG [CALLARGS [DIALOGPARAM]]]   configure and start commanded distribution\n"
      "  ndist-stop                                        stop it (waits for the running job)\n"
      "  ndist-cmd CMDID CONTENTS [EQUIPCFG [CALLARGS]]    post a commanded job\n"
      "  ndist-outer CMDID CONTENTS SESSION PID [EQUIPCFG [CALLARGS]]  a user-side request\n"
      "  ndist-cancel CMDID DISTID [ACTORKIND [PID]]       urgent cancel\n"
      "  adist-func|adist-cmd|adist-now [EQUIPCFG [CALLARGS [CONTENTS]]]\n"
      "                                                    automatic distribution: settings and\n"
      "                                                    items (func), a command (cmd), at once\n"
      "                                                    with the dialog (now); CALLARGS default\n"
      "                                                    ") + defaults + "\n" +
      "  adist-stop                                        stop it (waits for the running pass)\n"
      "  wait SECONDS | echo TEXT\n"
      "  wait-result CMDID CODE [SECONDS [TEXT]]           wait for a result with CODE (and a detail\n"
      "                                                    holding TEXT)\n"
      "  wait-status DISTID CODE [SECONDS]                 wait until an automatic item has shown\n"
      "                                                    CODE since the agent started (earlier\n"
      "                                                    passes count; the statuses a pass ends\n"
      "                                                    with are always seen)\n"
      "  stats                                             print this process's open descriptors (one\n"
      "                                                    'stats-fd N flags=F TARGET' line each), then\n"
      "                                                    its thread and descriptor counts\n"
      "ids are decimal numbers of their field's range (CMDID, SESSION, PID 0 to 4294967295; DISTID\n"
      "-2147483648 to 2147483647); a line with any other value is refused and not run\n"
      "Output: 'call EXPORT = RESULT' per export call, 'result {...}' per command result, and\n"
      "the automatic state as the module publishes it for its progress dialog (registry value\n"
      "dtdlg_cfg, written only while show dialog is on: CALLARGS field 2 \"Y\" or adist-now),\n"
      "polled every 100 ms: 'adist {\"dist\",\"status\",\"percent\",\"detail\"}' when the status\n"
      "record changed and 'adist-item {\"dist\",\"name\",\"status\"}' when an item's status did;\n"
      "states that last less than a poll may not be printed.\n";
}

std::unique_ptr<HostEnvironment> buildEnvironment(const AgentOptions& o) {
  auto env = std::make_unique<HostEnvironment>();
  std::memset(env.get(), 0, sizeof(HostEnvironment));
  size_t colon = o.strGateway.rfind(':');
  std::string port = colon == std::string::npos ? "7221" : o.strGateway.substr(colon + 1);
  int64_t number = 0;
  if (!cli::NCliNumber::parse(port, 1, 65535, number))
    throw cli::NCliUsageError("--gateway wants HOST[:PORT] with a port from 1 to 65535, not '" + o.strGateway + "'");
  plat::setFixedText(env->m_szEquipId, o.strEquipId);
  plat::setFixedText(env->m_szDbAddress, o.strGateway.substr(0, colon));
  plat::setFixedText(env->m_szDbPort, std::to_string(number));
  plat::setFixedText(env->m_szFtAddress, o.strFtProtocol);
  plat::setFixedText(env->m_szFtSecond, o.strFtCredentials);
  plat::setFixedText(env->m_szFtPort, std::to_string(o.nFtPort));
  plat::setFixedText(env->m_szTransferMode, o.strFtMode);
  return env;
}

// The reporting component: collects results on its own thread and prints each as a JSON line.
class Reports {
 public:
  plat::Status open() {
    if (plat::Status s = m_collector.open(); !s) return s;
    m_thread = std::thread([this] { collect(); });
    return {};
  }
  ~Reports() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    m_collector.close();
  }
  // Waits for a result of the command with the code and, when text is not empty, a detail
  // that contains the text.
  bool waitFor(uint32_t cmdId, const std::string& code, int seconds, const std::string& text) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const CommandResult& result : m_seen)
          if (result.cmdId == cmdId && result.code == code &&
              result.detail.find(text) != std::string::npos)
            return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  // Holds the collecting thread between two sweeps for as long as the lock is kept: a sweep
  // opens the result folder and each result file for a moment, and a count of this process's
  // descriptors must not catch those.
  std::unique_lock<std::mutex> holdSweeps() { return std::unique_lock<std::mutex>(m_sweepMutex); }

 private:
  void collect() {
    for (bool last = false; !last;) {
      last = m_stop;  // one more sweep after the stop takes what came last
      m_collector.waitFilled(last ? 0 : 100);
      std::vector<CommandResult> taken;
      {
        std::lock_guard<std::mutex> sweep(m_sweepMutex);
        m_collector.takeQueued(taken);
        m_collector.takeFiles(taken);
      }
      std::lock_guard<std::mutex> lock(m_mutex);
      for (const CommandResult& result : taken) {
        std::printf("result %s\n", ReportCollector::toJson(result).c_str());
        m_seen.push_back(result);
      }
      std::fflush(stdout);
    }
  }
  ReportCollector m_collector;
  std::mutex m_sweepMutex;  // held by a sweep of the queue and the result folder
  std::mutex m_mutex;
  std::vector<CommandResult> m_seen;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

class Agent {
 public:
  Agent(HostModule& module, const HostEnvironment& env, Reports& reports, ADistWatcher& watcher)
      : m_module(module), m_env(env), m_reports(reports), m_watcher(watcher) {}
  // Runs one script line; false when it was not understood.
  bool execute(const Words& words);

 private:
  std::string arg(const Words& words, size_t index, const char* fallback) const {
    return index < words.size() ? words[index] : fallback;
  }
  void show(const std::string& call, int result) {
    std::printf("call %s = %d\n", call.c_str(), result);
    std::fflush(stdout);
  }
  bool commanded(const Words& words);
  bool automatic(const Words& words);

  HostModule& m_module;
  const HostEnvironment& m_env;
  Reports& m_reports;
  ADistWatcher& m_watcher;
};

// A Windows host hands the module its texts in the machine's ANSI code page; a script is UTF-8.
Words toAnsi(const Words& words) {
  Words ansi;
  for (const std::string& word : words) ansi.push_back(plat::utf8ToAnsi(word));
  return ansi;
}

bool Agent::commanded(const Words& words) {
  const Words w = toAnsi(words);
  std::string now = NMisc::getCurrentTimeText().text();
  const std::string& verb = w[0];
  if (verb == "ndist-func" || verb == "ndist-stop") {
    bool stop = verb == "ndist-stop";
    int result = m_module.nDistFunc(0, 0, &m_env, now.c_str(), arg(w, 2, kDefaultCallArgs).c_str(),
                                    arg(w, 1, kDefaultEquipCfg).c_str(), "", stop ? 1 : 0, 0,
                                    arg(w, 3, "").c_str());
    show(stop ? "cvfNDistFunc(stop)" : "cvfNDistFunc", result);
  } else if (verb == "ndist-cmd" && w.size() >= 3) {
    int result = m_module.nDistCmd(0, scriptUint32(w[1], "command id"), &m_env, now.c_str(),
                                   arg(w, 4, kDefaultCallArgs).c_str(),
                                   arg(w, 3, kDefaultEquipCfg).c_str(), w[2].c_str(), 0);
    show("cvfNDistCmd(" + w[1] + ")", result);
  } else if (verb == "ndist-outer" && w.size() >= 5) {
    DistContent content{};
    parseDistContent(w[2].c_str(), content);
    content.m_nActorKind = 1;
    content.m_nActorSessionId = scriptUint32(w[3], "session id");
    content.m_nActorProcessId = scriptUint32(w[4], "process id");
    int result = m_module.nDistCmdOuterRequest(0, scriptUint32(w[1], "command id"), &m_env, now.c_str(),
                                               arg(w, 6, kDefaultCallArgs).c_str(),
                                               arg(w, 5, kDefaultEquipCfg).c_str(), &content, 0);
    show("cvfNDistCmdOuterRequest(" + w[1] + ")", result);
  } else if (verb == "ndist-cancel" && w.size() >= 3) {
    UrgentCancelRecord cancel{};
    uint32_t cmdId = scriptUint32(w[1], "command id");
    cancel.m_nDistId = scriptInt32(w[2], "distribution id");
    cancel.m_nActorKind = scriptUint32(arg(w, 3, "0"), "actor kind");
    cancel.m_nActorProcessId = scriptUint32(arg(w, 4, "0"), "process id");
    int result = m_module.nDistUrgentTopCancelForceCmd(0, cmdId, &m_env, now.c_str(),
                                                       "", "", &cancel, 0);
    show("cvfNDistUrgentTopCancelForceCmd(" + w[2] + ")", result);
  } else {
    return false;
  }
  return true;
}

bool Agent::automatic(const Words& words) {
  const Words w = toAnsi(words);
  std::string now = NMisc::getCurrentTimeText().text();
  const std::string& verb = w[0];
  if (verb == "adist-stop") {
    show("cvfADistFunc(stop)", m_module.aDistFunc(0, 0, &m_env, now.c_str(), "", "", "", 1));
    return true;
  }
  HostModule::CommonFn export_ = verb == "adist-func" ? m_module.aDistFunc
                                 : verb == "adist-cmd" ? m_module.aDistCmd
                                                       : m_module.aDistNow;
  const char* name = verb == "adist-func" ? "cvfADistFunc"
                     : verb == "adist-cmd" ? "cvfADistCmd"
                                           : "cvfADistNow";
  int result = export_(0, 0, &m_env, now.c_str(), arg(w, 2, kDefaultADistCallArgs).c_str(),
                       arg(w, 1, "").c_str(), arg(w, 3, "").c_str(), 0);
  show(name, result);
  return true;
}

bool Agent::execute(const Words& w) {
  if (w.empty() || w[0].empty() || w[0][0] == '#') return true;
  const std::string& verb = w[0];
  if (verb.rfind("ndist-", 0) == 0) return commanded(w);
  if (verb == "adist-func" || verb == "adist-cmd" || verb == "adist-now" || verb == "adist-stop")
    return automatic(w);
  if (verb == "wait" && w.size() == 2) {
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(std::stod(w[1]) * 1000)));
  } else if (verb == "wait-result" && w.size() >= 3) {
    bool seen = m_reports.waitFor(scriptUint32(w[1], "command id"), w[2],
                                  scriptInt32(arg(w, 3, "60"), "seconds"), arg(w, 4, ""));
    std::printf("wait-result %s %s: %s\n", w[1].c_str(), w[2].c_str(), seen ? "seen" : "NOT SEEN");
  } else if (verb == "wait-status" && w.size() >= 3) {
    bool seen = m_watcher.waitFor(scriptInt32(w[1], "distribution id"), w[2],
                                  scriptInt32(arg(w, 3, "60"), "seconds"));
    std::printf("wait-status %s %s: %s\n", w[1].c_str(), w[2].c_str(), seen ? "seen" : "NOT SEEN");
  } else if (verb == "stats") {
    std::unique_lock<std::mutex> between = m_reports.holdSweeps();
    printProcessStats();
  } else if (verb == "echo") {
    std::string text;
    for (size_t i = 1; i < w.size(); ++i) text += (i > 1 ? " " : "") + w[i];
    std::printf("%s\n", text.c_str());
  } else {
    return false;
  }
  std::fflush(stdout);
  return true;
}

int runScript(Agent& agent, std::istream& in) {
  std::string text;
  int failures = 0;
  while (std::getline(in, text)) {
    Words words = plat::splitCommandLine(text);
    bool ok = false;
    try {
      ok = agent.execute(words);
    } catch (const BadScriptNumber& bad) {
      std::fprintf(stderr, "cvdt-host agent: cannot run: %s: %s\n", text.c_str(), bad.what());
      ++failures;
      continue;
    } catch (const std::exception&) {
      ok = false;
    }
    if (!ok) {
      std::fprintf(stderr, "cvdt-host agent: cannot run: %s\n", text.c_str());
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}


int runAgent(const AgentOptions& o) {
  std::unique_ptr<HostEnvironment> env = buildEnvironment(o);
  std::ifstream script;
  if (!o.strScript.empty()) {
    script.open(o.strScript);
    if (!script) throw std::runtime_error("cannot read " + o.strScript);
  }
  std::string modulePath = o.strModule.empty() ? defaultModulePath() : o.strModule;
  Reports reports;
  if (plat::Status s = reports.open(); !s) throw std::runtime_error(s.message());
  HostModule module;
  if (plat::Status s = module.load(modulePath); !s) throw std::runtime_error(s.message());
  std::printf("agent: module %s loaded\n", modulePath.c_str());
  ADistWatcher watcher;
  watcher.start();
  Agent agent(module, *env, reports, watcher);
  int status = runScript(agent, o.strScript.empty() ? std::cin : script);
  module.unload();  // stops the module's threads before the reporting component closes
  watcher.stop();
  std::printf("agent: module unloaded\n");
  return status;
}

void addAgentOptions(CLI::App& agent, AgentOptions& o) {
  agent.add_option("--equip-id", o.strEquipId, "equipment id of this workstation")->capture_default_str();
  agent.add_option("--gateway", o.strGateway, "the database gateway")
      ->type_name("HOST[:PORT]")->capture_default_str();
  agent.add_option("--ft-protocol", o.strFtProtocol, "file-transfer protocol")
      ->check(CLI::IsMember({"http", "https", "ftp"}))->capture_default_str();
  agent.add_option("--ft-credentials", o.strFtCredentials, "file-transfer account (empty: anonymous)")
      ->type_name("USER:PASSWORD");
  cli::NCliNumber::add(agent, "--ft-port", o.nFtPort, 0, 65535,
                       "file-transfer port (0: the protocol's default)");
  agent.add_option("--ft-mode", o.strFtMode, "FTP transfer mode: A active, P passive")
      ->check(CLI::IsMember({"A", "P"}))->capture_default_str();
  agent.add_option("--module", o.strModule, std::string("the module to load (default: ") + kDefaultModuleText + ")")
      ->type_name("WINDOWS_PATH");
  agent.add_option("--script", o.strScript, "run the commands of FILE (default: standard input)")
      ->type_name("FILE");
}

}  // namespace

void addAgentCommand(cli::NCliApp& cli) {
  auto options = std::make_shared<AgentOptions>();
  CLI::App* agent = cli.addCommand(
      cli.root(), "agent",
      "load the module and drive its exports from a script",
      "", [options] { return runAgent(*options); });
  addAgentOptions(*agent, *options);
  agent->footer(scriptHelp() +
                "Example:\n"
                "  cvdt-host agent --gateway 127.0.0.1:7221 --ft-port 8080 --script jobs.txt\n"
                "  printf 'ndist-func\\nwait 5\\nndist-stop\\n' | cvdt-host agent");
}

}  // namespace cvdt::host
