// Commanded distribution through the host, end to end: cvdt-host agent loads the module from a
// machine and drives its exports; packages made by cvdt-pack come from a loopback HTTP server;
// results reach the host's reporting component and the gateway's database.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "SoakFixture.h"
#include "gateway/GatewayProcess.h"
#include "support/CommandOutput.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestMachine.h"

using ::testing::Contains;
using ::testing::HasSubstr;

namespace {

namespace fs = std::filesystem;
using cvdt::test::AgentLedger;
using cvdt::test::commandOutput;
using cvdt::test::DbProbe;
using cvdt::test::GatewayProcess;
using cvdt::test::LoopbackHttpServer;
using cvdt::test::ServedFile;
using cvdt::test::TestMachine;

class CommandedThroughHostTest : public testing::Test {
 protected:
  void SetUp() override { m_base = cvdt::test::makeTempFolder("cvdt-e2e"); }
  void TearDown() override { fs::remove_all(m_base); }
  // Packs distribution id (a readme and randomBytes of noise); its contents text.
  std::string pack(int id, size_t randomBytes) {
    std::string src = m_base + "/src" + std::to_string(id);
    fs::create_directories(src);
    std::ofstream(src + "/readme.txt") << "package " << id << "\n";
    std::ofstream(src + "/payload.bin", std::ios::binary) << cvdt::test::noise(randomBytes, id);
    return cvdt::test::packNormal(id, "Package" + std::to_string(id), src, m_base + "/root",
                                  "--part-size 256K");
  }
  // Serves the packages, distribution 13's parts a little at a time.
  void serve() {
    for (const auto& entry : fs::recursive_directory_iterator(m_base + "/root")) {
      if (!entry.is_regular_file()) continue;
      std::string path = "/" + fs::relative(entry.path(), m_base + "/root").string();
      auto file = ServedFile::fromDisk(entry.path().string(), path.find("/13/") != std::string::npos
                                                                  ? ServedFile::Fault::Slow
                                                                  : ServedFile::Fault::None);
      file.slowChunk = 1024;
      file.slowPauseMs = 50;
      m_server.addFile(path, file);
    }
    ASSERT_TRUE(m_server.start());
  }
  // Runs the agent on the script; what it printed, its results sorted into m_ledger.
  std::string runAgent(const std::string& script) {
    std::string path = m_base + "/script.txt";
    std::ofstream(path) << script;
    std::string output = commandOutput(std::string(CVDT_HOST_PATH) + " agent --gateway 127.0.0.1:" +
                                       std::to_string(m_gateway.port()) + " --ft-port " +
                                       std::to_string(m_server.port()) + " --script " + path);
    for (size_t at = 0, end; at < output.size(); at = end + 1) {
      end = std::min(output.find('\n', at), output.size());
      m_ledger.consume(output.substr(at, end - at));
    }
    return output;
  }

  std::string m_base;
  TestMachine m_machine;
  GatewayProcess m_gateway;
  LoopbackHttpServer m_server;
  AgentLedger m_ledger;
};

// Results, duplicates, cancels and manager stops through the host are the commanded soak's, the
// ban period and the deletion batch the manager's own tests'. This test takes what neither
// does: a script run whose job leaves its files in place, and a host that unloads the library
// while a job is downloading.
TEST_F(CommandedThroughHostTest, AJobLeavesItsFilesAndAnUnloadStopsTheDownloadingOne) {
  ASSERT_NE(m_gateway.port(), 0);
  std::string quick = pack(12, 1000);
  std::string slow = pack(13, 2 * 1024 * 1024);
  ASSERT_FALSE(quick.empty());
  ASSERT_FALSE(slow.empty());
  ASSERT_NO_FATAL_FAILURE(serve());

  // The script ends while 3001 downloads: the agent unloads the library, the job stops,
  // nothing hangs.
  std::string output = runAgent(
      "ndist-func \"127.0.0.1|%0|&60\"\n"
      "ndist-cmd 1001 \"" +
      quick +
      "\"\n"
      "wait-result 1001 060 60\n"
      "ndist-cmd 3001 \"" +
      slow +
      "\"\n"
      "wait 2\n");
  EXPECT_THAT(m_ledger.codesOf(1001), Contains("060")) << output;
  EXPECT_EQ(m_machine.readFile(m_machine.config().moduleFolder + "\\ndist_temp\\12\\readme.txt"),
            "package 12\n");
  EXPECT_THAT(output, HasSubstr("agent: module unloaded"));
  EXPECT_THAT(m_ledger.codesOf(3001), Contains("040")) << output;  // "940": the manager was stopped
  EXPECT_EQ(
      DbProbe(m_gateway.dbPath()).rows("SELECT status FROM n_equip_history WHERE cmd_id = 3001"),
      std::vector<std::string>{"940"});
}

}  // namespace
