// Test helpers: the real cvdt-gateway process on 127.0.0.1 with a database in a temporary
// folder, runs of its admin commands, and a read-only view of its database.
#pragma once

#include <sys/types.h>

struct sqlite3;
struct pg_conn;

#include <cstdint>
#include <string>
#include <vector>

namespace cvdt::test {

// One `cvdt-gateway serve` on 127.0.0.1, a free port and its own database; stopped (SIGTERM,
// then waited for) on destruction. Its stderr goes to a file that logLines() reads.
class GatewayProcess {
 public:
  // Starts the gateway and waits for its "listening on" line; extraArgs are added to the
  // command line (a --db there replaces the SQLite file of the gateway's folder). A failure to
  // start is a test failure (port() is 0 then).
  explicit GatewayProcess(const std::vector<std::string>& extraArgs = {});
  // Another serving command of cvdt-gateway (such as "web") with --listen 127.0.0.1:0 and args.
  GatewayProcess(const std::string& command, const std::vector<std::string>& args);
  ~GatewayProcess();
  GatewayProcess(const GatewayProcess&) = delete;
  GatewayProcess& operator=(const GatewayProcess&) = delete;

  int port() const { return m_nPort; }
  // The SQLite path or the postgresql:// address the gateway serves.
  const std::string& dbPath() const { return m_strDb; }
  const std::string& folder() const { return m_strFolder; }
  // The lines the gateway has written to stderr so far.
  std::vector<std::string> logLines() const;
  // Sends SIGTERM and waits up to 5 s; true when it exited with status 0.
  bool stop();
  // SIGKILL, as a crash: nothing of the gateway's own runs.
  void killHard();

 private:
  void start(std::vector<std::string> args);

  std::string m_strFolder;
  std::string m_strDb;
  std::string m_strLog;
  pid_t m_nPid = -1;
  int m_nPort = 0;
};

struct CommandResult {
  int status = -1;  // exit code, -1 when it did not exit normally
  std::string out;
  std::string err;
};

// Runs cvdt-gateway with the arguments (no shell) and collects its output.
CommandResult runGatewayCommand(const std::vector<std::string>& args);
// Runs a program (args[0] is its path) and collects its output; waits up to waitMs.
CommandResult runProgram(std::vector<std::string> args, int waitMs = 20000);

// Queries on a gateway database, an SQLite file or a postgresql:// address.
class DbProbe {
 public:
  explicit DbProbe(const std::string& location);
  ~DbProbe();
  DbProbe(const DbProbe&) = delete;
  DbProbe& operator=(const DbProbe&) = delete;

  int64_t count(const std::string& table) const;
  // The rows of a query, columns joined by "," (NULL as "<null>"), one string per row.
  std::vector<std::string> rows(const std::string& sql) const;
  // Total rows of every table the gateway writes.
  int64_t totalRows() const;
  // Runs statements that return nothing; a failure is a test failure.
  bool exec(const std::string& sql) const;
  bool isPostgres() const { return m_pConn != nullptr; }

 private:
  std::vector<std::string> sqliteRows(const std::string& sql) const;
  std::vector<std::string> postgresRows(const std::string& sql) const;

  std::string m_strLocation;  // the Windows build queries it on the Linux host
  sqlite3* m_pDb = nullptr;
  pg_conn* m_pConn = nullptr;
};

}  // namespace cvdt::test
