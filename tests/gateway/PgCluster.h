// PgCluster: a throw-away PostgreSQL cluster for the gateway tests: initdb into a temporary
// folder, a server on a unix socket there only, stopped and removed when the test program ends.
#pragma once

#include <string>
#include <vector>

namespace cvdt::test {

class PgCluster {
 public:
  // The cluster of this test program, started on first use; null when the PostgreSQL server
  // programs are missing or the server does not start (skipReason() says why).
  static PgCluster* shared();
  static const std::string& skipReason();

  ~PgCluster();
  PgCluster(const PgCluster&) = delete;
  PgCluster& operator=(const PgCluster&) = delete;

  // A new, empty database; its libpq URI (postgresql:///NAME?host=...).
  std::string freshDatabase();
  std::string uri(const std::string& database) const;

 private:
  PgCluster() = default;
  bool start(std::string& error);
  // Runs a server program, as an unprivileged user when the tests run as root.
  bool runTool(const std::string& tool, std::vector<std::string> arguments,
               std::string& output) const;

  std::string m_strFolder;
  std::string m_strUser;  // empty: the tests' own user
  int m_nDatabases = 0;
  bool m_bRunning = false;
};

}  // namespace cvdt::test
