// Starting and stopping the tests' throw-away PostgreSQL cluster.
#include "PgCluster.h"

#include <libpq-fe.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "support/Subprocess.h"
#include "support/TestMachine.h"

namespace cvdt::test {
namespace {

constexpr const char* kServerPrograms = "/usr/lib/postgresql/15/bin";
constexpr int kSocketPort = 5432;  // names the socket file only; the folder is private
// The server refuses to run as root; CI creates this user, and Debian's package creates postgres.
constexpr const char* kUsers[] = {"cvdt-test", "postgres"};

std::string g_skipReason;

}  // namespace

PgCluster* PgCluster::shared() {
  static std::unique_ptr<PgCluster> cluster = [] {
    std::unique_ptr<PgCluster> started(new PgCluster());
    if (!started->start(g_skipReason)) started.reset();
    return started;
  }();
  return cluster.get();
}

const std::string& PgCluster::skipReason() { return g_skipReason; }

bool PgCluster::runTool(const std::string& tool, std::vector<std::string> arguments,
                        std::string& output) const {
  std::string program = std::string(kServerPrograms) + "/" + tool;
  if (!m_strUser.empty()) {
    arguments.insert(arguments.begin(), {"-u", m_strUser, "--", program});
    program = "runuser";
  }
  ProcessResult run = Subprocess(program).mergeErrors().run(arguments);
  output += run.out;
  return run.exitStatus == 0;
}

bool PgCluster::start(std::string& error) {
  if (!std::filesystem::exists(std::string(kServerPrograms) + "/initdb")) {
    error = std::string("PostgreSQL server programs not found in ") + kServerPrograms;
    return false;
  }
  m_strFolder = makeTempFolder("cvdt-pg");
  if (geteuid() == 0) {
    for (const char* name : kUsers) {
      passwd* user = getpwnam(name);
      if (user != nullptr && chown(m_strFolder.c_str(), user->pw_uid, user->pw_gid) == 0) {
        m_strUser = name;
        break;
      }
    }
    if (m_strUser.empty()) {
      error = "running as root and no user cvdt-test or postgres to run PostgreSQL as";
      return false;
    }
  }
  std::string data = m_strFolder + "/data", output;
  if (!runTool("initdb", {"-D", data, "-A", "trust", "-U", "cvdt", "-E", "UTF8", "--locale=C",
                          "--no-sync"}, output)) {
    error = "initdb failed: " + output;
    return false;
  }
  // fsync is off: the cluster lives as long as one test program.
  std::string options = "-k " + m_strFolder + " -p " + std::to_string(kSocketPort) +
                        " -c listen_addresses= -c fsync=off -c max_connections=200";
  if (!runTool("pg_ctl", {"-D", data, "-l", m_strFolder + "/server.log", "-w", "-t", "60", "-o",
                          options, "start"}, output)) {
    error = "pg_ctl start failed: " + output;
    return false;
  }
  m_bRunning = true;
  return true;
}

PgCluster::~PgCluster() {
  std::string output;
  if (m_bRunning)
    runTool("pg_ctl", {"-D", m_strFolder + "/data", "-m", "immediate", "-w", "stop"}, output);
  std::error_code ignored;
  if (!m_strFolder.empty()) std::filesystem::remove_all(m_strFolder, ignored);
}

std::string PgCluster::uri(const std::string& database) const {
  return "postgresql:///" + database + "?host=" + m_strFolder +
         "&port=" + std::to_string(kSocketPort) + "&user=cvdt";
}

std::string PgCluster::freshDatabase() {
  std::string name = "gateway_" + std::to_string(++m_nDatabases);
  PGconn* conn = PQconnectdb(uri("postgres").c_str());
  PGresult* result = PQexec(conn, ("CREATE DATABASE " + name + " TEMPLATE template0").c_str());
  bool created = PQresultStatus(result) == PGRES_COMMAND_OK;
  std::string message = PQerrorMessage(conn);
  PQclear(result);
  PQfinish(conn);
  if (!created) std::fprintf(stderr, "CREATE DATABASE %s: %s\n", name.c_str(), message.c_str());
  return uri(name);
}

}  // namespace cvdt::test
