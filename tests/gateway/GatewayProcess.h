// Test helpers: the real cvdt-gateway process on 127.0.0.1 with a database in a temporary
// folder, runs of its admin commands, and a read-only view of its database.
#pragma once

#include <sqlite3.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace cvdt::test {

// One `cvdt-gateway serve` on 127.0.0.1, a free port and its own database; stopped (SIGTERM,
// then waited for) on destruction. Its stderr goes to a file that logLines() reads.
class GatewayProcess {
 public:
  // Starts the gateway and waits for its "listening on" line; extraArgs are added to the
  // command line. A failure to start is a test failure (port() is 0 then).
  explicit GatewayProcess(const std::vector<std::string>& extraArgs = {});
  ~GatewayProcess();
  GatewayProcess(const GatewayProcess&) = delete;
  GatewayProcess& operator=(const GatewayProcess&) = delete;

  int port() const { return m_nPort; }
  const std::string& dbPath() const { return m_strDb; }
  const std::string& folder() const { return m_strFolder; }
  // The lines the gateway has written to stderr so far.
  std::vector<std::string> logLines() const;
  // Sends SIGTERM and waits up to 5 s; true when it exited with status 0.
  bool stop();

 private:
  void start(const std::vector<std::string>& extraArgs);

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

// Read-only queries on a gateway database.
class DbProbe {
 public:
  explicit DbProbe(const std::string& path);
  ~DbProbe();
  DbProbe(const DbProbe&) = delete;
  DbProbe& operator=(const DbProbe&) = delete;

  int64_t count(const std::string& table) const;
  // The rows of a query, columns joined by "," (NULL as "<null>"), one string per row.
  std::vector<std::string> rows(const std::string& sql) const;
  // Total rows of every table the gateway writes.
  int64_t totalRows() const;

 private:
  sqlite3* m_pDb = nullptr;
};

}  // namespace cvdt::test
