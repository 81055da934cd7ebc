// The gateway fixture of the Windows test programs: the Linux gateway (cvdt-gateway) runs on
// the Linux host, started through Wine, and listens on the loopback that Wine shares; its
// database is a Linux path, queried there with Python's sqlite3. The gateway's process id, its
// output and its exit status are files of the fixture's folder.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "gateway/GatewayProcess.h"
#include "support/TestMachine.h"
#include "support/win32/LinuxCommand.h"

namespace cvdt::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kStartWait = 10s;

std::string commandLine(const std::vector<std::string>& args) {
  std::string line;
  for (const std::string& arg : args) line += (line.empty() ? "" : " ") + shellQuoted(arg);
  return line;
}

std::string firstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  return std::getline(in, line) ? line : "";
}

// Waits until the file holds a whole first line; that line, or empty at the deadline.
std::string waitForLine(const std::string& path, std::chrono::milliseconds deadline) {
  auto end = std::chrono::steady_clock::now() + deadline;
  for (;;) {
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.find('\n') != std::string::npos) return text.substr(0, text.find('\n'));
    if (std::chrono::steady_clock::now() > end) return {};
    std::this_thread::sleep_for(5ms);
  }
}

// Rows of Python's sqlite3 for a query (or, with script set, statements run and committed).
const char* kSqliteScript =
    "import sqlite3, sys\n"
    "db = sqlite3.connect(sys.argv[1], timeout=5)\n"
    "if sys.argv[3] == 'exec':\n"
    "    db.executescript(sys.argv[2]); db.commit()\n"
    "else:\n"
    "    for row in db.execute(sys.argv[2]):\n"
    "        print(','.join('<null>' if v is None else str(v) for v in row))\n";

}  // namespace

GatewayProcess::GatewayProcess(const std::vector<std::string>& extraArgs) {
  m_strFolder = makeTempFolder("cvdt-gateway");
  m_strDb = linuxPath(m_strFolder) + "/gateway.db";
  std::vector<std::string> args = {CVDT_GATEWAY_PATH, "serve", "--listen", "127.0.0.1:0"};
  if (std::find(extraArgs.begin(), extraArgs.end(), "--db") == extraArgs.end())
    args.insert(args.end(), {"--db", m_strDb});
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  start(args);
}

GatewayProcess::GatewayProcess(const std::string& command, const std::vector<std::string>& args) {
  m_strFolder = makeTempFolder("cvdt-gateway");
  std::vector<std::string> all = {CVDT_GATEWAY_PATH, command, "--listen", "127.0.0.1:0"};
  all.insert(all.end(), args.begin(), args.end());
  start(all);
}

void GatewayProcess::start(std::vector<std::string> args) {
  for (size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] == "--db") m_strDb = args[i + 1];
  }
  m_strLog = m_strFolder + "\\stderr.log";
  // A shell of its own waits for the gateway and records how it ended.
  std::ofstream(m_strFolder + "\\gateway.sh", std::ios::binary)
      << commandLine(args) << " </dev/null >stdout 2>stderr.log &\n"
      << "echo $! >pid\nwait $!\necho $? >exit.tmp && mv exit.tmp exit\n";
  const std::string folder = linuxPath(m_strFolder);
  ProcessResult launched =
      runOnLinux("cd " + shellQuoted(folder) + " && sh gateway.sh >/dev/null 2>&1 &");
  ASSERT_EQ(launched.exitStatus, 0) << launched.err;
  std::string line = waitForLine(m_strFolder + "\\stdout", kStartWait);
  std::string pid = firstLine(m_strFolder + "\\pid");
  m_nPid = pid.empty() ? -1 : std::stoi(pid);
  ASSERT_EQ(line.rfind("listening on 127.0.0.1:", 0), 0u)
      << "the gateway did not start: " << line << "\n"
      << firstLine(m_strLog);
  m_nPort = std::stoi(line.substr(line.rfind(':') + 1));
}

GatewayProcess::~GatewayProcess() {
  if (m_nPid > 0) stop();
  std::error_code ec;
  fs::remove_all(m_strFolder, ec);
}

namespace {

// Signals the gateway and waits up to the deadline for its shell to record the exit: the exit
// status, or -2.
int signalAndWait(int pid, const char* signal, const std::string& exitFile,
                  std::chrono::milliseconds deadline) {
  runOnLinux(std::string("kill -") + signal + " " + std::to_string(pid));
  auto end = std::chrono::steady_clock::now() + deadline;
  for (;;) {
    std::string code = firstLine(exitFile);
    if (!code.empty()) return std::stoi(code);
    if (std::chrono::steady_clock::now() > end) return -2;
    std::this_thread::sleep_for(5ms);
  }
}

}  // namespace

bool GatewayProcess::stop() {
  if (m_nPid <= 0) return false;
  const std::string exitFile = m_strFolder + "\\exit";
  int code = signalAndWait(static_cast<int>(m_nPid), "TERM", exitFile, 5s);
  if (code == -2) signalAndWait(static_cast<int>(m_nPid), "KILL", exitFile, 5s);
  m_nPid = -1;
  return code == 0;
}

void GatewayProcess::killHard() {
  if (m_nPid <= 0) return;
  signalAndWait(static_cast<int>(m_nPid), "KILL", m_strFolder + "\\exit", 5s);
  m_nPid = -1;
}

std::vector<std::string> GatewayProcess::logLines() const {
  std::ifstream file(m_strLog);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

CommandResult runGatewayCommand(const std::vector<std::string>& extra) {
  std::vector<std::string> args = {CVDT_GATEWAY_PATH};
  args.insert(args.end(), extra.begin(), extra.end());
  return runProgram(args);
}

CommandResult runProgram(std::vector<std::string> args, int waitMs) {
  ProcessResult result = runOnLinux(commandLine(args), std::chrono::milliseconds(waitMs));
  return {result.exitStatus, result.out, result.err};
}

DbProbe::DbProbe(const std::string& location) : m_strLocation(location) {
  EXPECT_NE(location.rfind("/", 0), std::string::npos)
      << "a Windows test reaches a gateway's SQLite file on the Linux host only: " << location;
}

DbProbe::~DbProbe() = default;

int64_t DbProbe::count(const std::string& table) const {
  std::vector<std::string> result = rows("SELECT COUNT(*) FROM " + table);
  return result.size() == 1 ? std::stoll(result[0]) : -1;
}

std::vector<std::string> DbProbe::rows(const std::string& sql) const { return sqliteRows(sql); }

std::vector<std::string> DbProbe::sqliteRows(const std::string& sql) const {
  ProcessResult result =
      runOnLinux("python3 -c " + commandLine({kSqliteScript, m_strLocation, sql, "rows"}));
  std::vector<std::string> out;
  if (result.exitStatus != 0) {
    ADD_FAILURE() << sql << ": " << result.err;
    return out;
  }
  std::istringstream lines(result.out);
  for (std::string line; std::getline(lines, line);) out.push_back(line);
  return out;
}

std::vector<std::string> DbProbe::postgresRows(const std::string& sql) const {
  ADD_FAILURE() << "no PostgreSQL store from a Windows test: " << sql;
  return {};
}

bool DbProbe::exec(const std::string& sql) const {
  ProcessResult result =
      runOnLinux("python3 -c " + commandLine({kSqliteScript, m_strLocation, sql, "exec"}));
  EXPECT_EQ(result.exitStatus, 0) << sql << ": " << result.err;
  return result.exitStatus == 0;
}

int64_t DbProbe::totalRows() const {
  int64_t total = 0;
  for (const char* table :
       {"n_equip_history", "n_equip_deleted", "a_equip_history", "a_equip_status"})
    total += count(table);
  return total;
}

}  // namespace cvdt::test
