// The gateway process, command runs and database probes for the gateway tests.
#include "GatewayProcess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/Subprocess.h"
#include "support/TestMachine.h"

extern char** environ;

namespace cvdt::test {
namespace {

constexpr int kStartWaitMs = 10000;

std::vector<char*> argvOf(std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  return argv;
}

// Reads fd until end of stream, or until a line is complete when oneLine is set; false when the
// wait ran out first.
bool readAll(int fd, std::string& out, bool oneLine, int waitMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  char chunk[4096];
  while (!(oneLine && out.find('\n') != std::string::npos)) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now()).count();
    pollfd entry{fd, POLLIN, 0};
    if (left <= 0 || poll(&entry, 1, static_cast<int>(left)) <= 0) return false;
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n <= 0) return !oneLine;
    out.append(chunk, static_cast<size_t>(n));
  }
  return true;
}

// Waits up to waitMs for the child to end; its exit code, or -1.
int waitExit(pid_t pid, int waitMs) {
  int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (pidfd >= 0) {
    pollfd entry{pidfd, POLLIN, 0};
    poll(&entry, 1, waitMs);
    close(pidfd);
  }
  int status = 0;
  if (waitpid(pid, &status, pidfd >= 0 ? WNOHANG : 0) != pid) return -2;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

GatewayProcess::GatewayProcess(const std::vector<std::string>& extraArgs) {
  m_strFolder = makeTempFolder("cvdt-gateway");
  m_strDb = m_strFolder + "/gateway.db";
  m_strLog = m_strFolder + "/stderr.log";
  std::vector<std::string> args = {CVDT_GATEWAY_PATH, "serve", "--listen", "127.0.0.1:0"};
  // The command line takes --db once: the caller's, or the file in the gateway's folder.
  if (std::find(extraArgs.begin(), extraArgs.end(), "--db") == extraArgs.end())
    args.insert(args.end(), {"--db", m_strDb});
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  start(args);
}

GatewayProcess::GatewayProcess(const std::string& command, const std::vector<std::string>& args) {
  m_strFolder = makeTempFolder("cvdt-gateway");
  m_strLog = m_strFolder + "/stderr.log";
  std::vector<std::string> all = {CVDT_GATEWAY_PATH, command, "--listen", "127.0.0.1:0"};
  all.insert(all.end(), args.begin(), args.end());
  start(all);
}

void GatewayProcess::start(std::vector<std::string> args) {
  for (size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] == "--db") m_strDb = args[i + 1];
  }
  int out[2];
  ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, m_strLog.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv = argvOf(args);
  int spawned = posix_spawn(&m_nPid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  std::string line;
  bool ready = spawned == 0 && readAll(out[0], line, true, kStartWaitMs);
  close(out[0]);
  ASSERT_TRUE(ready) << "the gateway did not start: " << line;
  size_t colon = line.rfind(':');
  ASSERT_EQ(line.rfind("listening on 127.0.0.1:", 0), 0u) << line;
  m_nPort = std::stoi(line.substr(colon + 1));
}

GatewayProcess::~GatewayProcess() {
  if (m_nPid > 0) stop();
  std::filesystem::remove_all(m_strFolder);
}

bool GatewayProcess::stop() {
  if (m_nPid <= 0) return false;
  kill(m_nPid, SIGTERM);
  int code = waitExit(m_nPid, 5000);
  if (code == -2) {
    kill(m_nPid, SIGKILL);
    waitpid(m_nPid, nullptr, 0);
  }
  m_nPid = -1;
  return code == 0;
}

void GatewayProcess::killHard() {
  if (m_nPid <= 0) return;
  kill(m_nPid, SIGKILL);
  waitpid(m_nPid, nullptr, 0);
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
  const std::string program = args.front();
  args.erase(args.begin());
  ProcessResult result = Subprocess(program).timeLimit(std::chrono::milliseconds(waitMs)).run(args);
  return {result.exitStatus, result.out, result.err};
}

DbProbe::DbProbe(const std::string& location) {
  if (location.rfind("postgresql://", 0) == 0) {
    m_pConn = PQconnectdb(location.c_str());
    EXPECT_EQ(PQstatus(m_pConn), CONNECTION_OK) << PQerrorMessage(m_pConn);
    return;
  }
  EXPECT_EQ(sqlite3_open_v2(location.c_str(), &m_pDb, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  sqlite3_busy_timeout(m_pDb, 5000);
}

DbProbe::~DbProbe() {
  sqlite3_close(m_pDb);
  if (m_pConn != nullptr) PQfinish(m_pConn);
}

int64_t DbProbe::count(const std::string& table) const {
  std::vector<std::string> result = rows("SELECT COUNT(*) FROM " + table);
  return result.size() == 1 ? std::stoll(result[0]) : -1;
}

std::vector<std::string> DbProbe::rows(const std::string& sql) const {
  return m_pConn != nullptr ? postgresRows(sql) : sqliteRows(sql);
}

std::vector<std::string> DbProbe::sqliteRows(const std::string& sql) const {
  std::vector<std::string> out;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(m_pDb, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << sql << ": " << sqlite3_errmsg(m_pDb);
    return out;
  }
  while (sqlite3_step(statement) == SQLITE_ROW) {
    std::string row;
    for (int i = 0; i < sqlite3_column_count(statement); ++i) {
      const unsigned char* text = sqlite3_column_text(statement, i);
      row += (i == 0 ? "" : ",") +
             (text ? std::string(reinterpret_cast<const char*>(text)) : std::string("<null>"));
    }
    out.push_back(row);
  }
  sqlite3_finalize(statement);
  return out;
}

std::vector<std::string> DbProbe::postgresRows(const std::string& sql) const {
  std::vector<std::string> out;
  PGresult* result = PQexec(m_pConn, sql.c_str());
  if (PQresultStatus(result) != PGRES_TUPLES_OK) {
    ADD_FAILURE() << sql << ": " << PQerrorMessage(m_pConn);
  } else {
    for (int r = 0; r < PQntuples(result); ++r) {
      std::string row;
      for (int c = 0; c < PQnfields(result); ++c) {
        row += (c == 0 ? "" : ",") + (PQgetisnull(result, r, c)
                                          ? std::string("<null>")
                                          : std::string(PQgetvalue(result, r, c)));
      }
      out.push_back(row);
    }
  }
  PQclear(result);
  return out;
}

bool DbProbe::exec(const std::string& sql) const {
  if (m_pConn == nullptr) {
    char* message = nullptr;
    bool done = sqlite3_exec(m_pDb, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK;
    EXPECT_TRUE(done) << sql << ": " << (message ? message : "");
    sqlite3_free(message);
    return done;
  }
  PGresult* result = PQexec(m_pConn, sql.c_str());
  bool done = PQresultStatus(result) == PGRES_COMMAND_OK;
  EXPECT_TRUE(done) << sql << ": " << PQerrorMessage(m_pConn);
  PQclear(result);
  return done;
}

int64_t DbProbe::totalRows() const {
  int64_t total = 0;
  for (const char* table : {"n_equip_history", "n_equip_deleted", "a_equip_history",
                            "a_equip_status"})
    total += count(table);
  return total;
}

}  // namespace cvdt::test
