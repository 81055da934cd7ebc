// The automatic stages under test: a fresh machine, the host block pointing at a loopback
// HTTP port, a manager holding the servers and retry count, a worker with fresh file maps, and
// helpers to pack, serve and write index files.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "autodist/NAutoDist.h"
#include "autodist/NDistMgr.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestMachine.h"

// Reaches the worker's file maps, stop request and current server.
class NAutoDistStagesTestAccess {
 public:
  explicit NAutoDistStagesTestAccess(NAutoDist& worker) : m_worker(worker) {}
  void newMaps();
  NFileMap& indexMap() { return *m_worker.m_pIndexMap; }
  void requestStop(bool on) { m_worker.m_bStopRequest = on ? 1 : 0; }
  NString currentServer() const { return m_worker.currentServer(); }
  void setCurrentServer(const char* server) { m_worker.m_strCurrentServer = server; }
  void setLocalFolder(const char* folder) { m_worker.m_strLocalFolder = folder; }

 private:
  NAutoDist& m_worker;
};

namespace cvdt::test {

// A batch file (a shell script here) that counts its runs in runs.txt beside itself.
inline const char* const kCountingBatch = "echo ran >> \"$(dirname \"$0\")/runs.txt\"\nexit 0\n";

// What cvdt-pack auto made: the server root and the index archive's digest.
struct AutoPackage {
  std::string root;
  std::string digest;
};

class StagesTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Lays out the machine (customize may add drives) and points the host block at port.
  void makeMachine(const TestMachine::Customize& customize = nullptr);
  void setPort(int port);
  // Sets the manager's retry count and servers ("|&"-joined addresses).
  void configure(int retries, const std::string& servers);
  // Packs the files (relative "/"-separated path to content) as item id with extra options.
  AutoPackage pack(int id, const std::map<std::string, std::string>& files,
                   const std::string& options);
  static void serve(LoopbackHttpServer& server, const std::string& root);
  // Starts m_server serving root (nothing when empty) and points the host block and the
  // manager (retries, the one server 127.0.0.1) at it.
  void startServer(const std::string& root = "", int retries = 3);
  // The files fetched (a connection starts with a "HEAD /" probe of the server).
  static std::vector<std::string> gets(const LoopbackHttpServer& server);
  static std::string message(const char* key);
  static ADistItem itemFor(int id, const std::string& digest);
  // The index file text: byte-order mark, UTF-16LE, CRLF after every line.
  static std::string indexText(const std::vector<std::string>& lines);
  // Writes "<local folder>\<id>.idx" as the worker would have unpacked it.
  void writeLocalIndex(int id, const std::string& bytes);
  // Stages 1 to 5 in order; false at the first that fails.
  bool runStages(ADistItem& item, int& fetched);
  // Settings and items ("|&"-joined "id|*name|*digest" entries) with the server 127.0.0.1.
  void command(const std::string& callArgs, const std::string& entries, int mode = 3);
  // The manager's copy of item id.
  ADistItem item(int32_t id);
  std::string recordStatus() const;
  int recordPercent() const;
  std::string traceLog() const { return m_machine->traceLog(); }
  std::string moduleFolder() const { return m_machine->config().moduleFolder; }

  std::string m_base;
  std::unique_ptr<TestMachine> m_machine;
  std::unique_ptr<NDistMgr> m_manager;
  std::unique_ptr<NAutoDist> m_worker;
  std::unique_ptr<NAutoDistStagesTestAccess> m_access;
  LoopbackHttpServer m_server;
};

}  // namespace cvdt::test
