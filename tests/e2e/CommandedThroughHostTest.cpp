// Commanded distribution through the host, end to end: cvdt-host agent loads the module from a
// machine and drives its exports; packages made by cvdt-pack come from a loopback HTTP server;
// results reach the host's reporting component and the gateway's database.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "gateway/GatewayProcess.h"
#include "support/CommandOutput.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestMachine.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

namespace fs = std::filesystem;
using cvdt::test::TestMachine;

using cvdt::test::commandOutput;

std::string contentsOf(const std::string& packOutput) {
  size_t at = packOutput.find("contents=");
  return at == std::string::npos ? "" : packOutput.substr(at + 9, packOutput.find('\n', at) - at - 9);
}

std::string pack(const std::string& base, int id, size_t randomBytes) {
  std::string src = base + "/src" + std::to_string(id);
  fs::create_directories(src);
  std::ofstream(src + "/readme.txt") << "package " << id << "\n";
  std::mt19937 random(id);
  std::string noise(randomBytes, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  std::ofstream(src + "/payload.bin", std::ios::binary) << noise;
  fs::create_directories(base + "/root");
  return contentsOf(commandOutput(std::string(CVDT_PACK_PATH) + " normal --id " + std::to_string(id) +
                        " --name Package" + std::to_string(id) + " --src " + src + " --out " +
                        base + "/root --part-size 256K"));
}

void serveRoot(cvdt::test::LoopbackHttpServer& server, const std::string& root, int slowId) {
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    std::string path = "/" + fs::relative(entry.path(), root).string();
    bool slow = path.find("/" + std::to_string(slowId) + "/") != std::string::npos;
    auto file = cvdt::test::ServedFile::fromDisk(entry.path().string(),
                                                slow ? cvdt::test::ServedFile::Fault::Slow
                                                     : cvdt::test::ServedFile::Fault::None);
    file.slowChunk = 1024;
    file.slowPauseMs = 50;
    server.addFile(path, file);
  }
}

std::string runAgent(const std::string& file, int gatewayPort, int httpPort) {
  return commandOutput(std::string(CVDT_HOST_PATH) + " agent --gateway 127.0.0.1:" +
             std::to_string(gatewayPort) + " --ft-port " + std::to_string(httpPort) +
             " --script " + file);
}

bool hasResult(const std::string& output, int cmdId, const char* code) {
  std::string needle = "\"cmd_id\":" + std::to_string(cmdId) + ",";
  for (size_t at = output.find(needle); at != std::string::npos; at = output.find(needle, at + 1)) {
    size_t end = output.find('\n', at);
    if (output.substr(at, end - at).find(std::string("\"code\":\"") + code + "\"") != std::string::npos)
      return true;
  }
  return false;
}

class CommandedThroughHostTest : public testing::Test {
 protected:
  void SetUp() override { m_base = cvdt::test::makeTempFolder("cvdt-e2e"); }
  void TearDown() override { fs::remove_all(m_base); }
  std::string writeScript(const std::string& name, const std::string& text) {
    std::string path = m_base + "/" + name + ".txt";
    std::ofstream(path) << text;
    return path;
  }
  std::string m_base;
};

TEST_F(CommandedThroughHostTest, JobsDuplicatesCancelsBansAndDeletionsReachHostAndDatabase) {
  TestMachine machine;
  cvdt::test::GatewayProcess gateway;
  ASSERT_NE(gateway.port(), 0);
  std::string quick = pack(m_base, 12, 1000);
  std::string slow = pack(m_base, 13, 2 * 1024 * 1024);
  ASSERT_FALSE(quick.empty());
  ASSERT_FALSE(slow.empty());
  cvdt::test::LoopbackHttpServer server;
  serveRoot(server, m_base + "/root", 13);
  ASSERT_TRUE(server.start());

  // 1004 and its duplicate 1003 are posted before the manager thread starts, so 1003 certainly
  // meets 1004 in the queue. 1004 reports every step (interval 0): the cancel is posted once
  // it reports fetching its index, that is once it runs.
  std::string jobs = writeScript("jobs",
              "ndist-cmd 1004 \"" + slow + "\" \"127.0.0.1|%0|&60\" \"N|%0\"\n"
              "ndist-cmd 1003 \"" + slow + "\"\n"
              "wait-result 1003 100 30\n"
              "ndist-func \"127.0.0.1|%0|&60|%|%13|*.\"\n"
              "wait-result 1004 070 60 index\n"
              "ndist-cancel 1005 13\n"
              "wait-result 1004 040 30\n"
              "ndist-cmd 1001 \"" + quick + "\"\n"
              "wait-result 1001 060 60\n"
              "wait 1\n"
              "ndist-cmd 1002 \"" + quick + "\"\n"
              "wait-result 1002 060 60\n"
              "wait 1\n"
              "ndist-cmd 1006 \"" + slow + "\"\n"
              "ndist-cmd 1007 \"" + quick + "\"\n"
              "wait 3\n"
              "ndist-stop\n");
  std::string output = runAgent(jobs, gateway.port(), server.port());
  EXPECT_TRUE(hasResult(output, 1001, "060")) << output;
  EXPECT_TRUE(hasResult(output, 1002, "060")) << output;
  EXPECT_TRUE(hasResult(output, 1003, "100")) << output;  // the same distribution is queued
  EXPECT_FALSE(hasResult(output, 1003, "040")) << output;  // refused, never run ("921")
  EXPECT_THAT(output, HasSubstr("wait-result 1004 070: seen"));
  EXPECT_TRUE(hasResult(output, 1004, "040")) << output;  // "942": cancelled while downloading
  // The stop drops the queued job at once ("940") and stops the running one ("940" too); the
  // agent's stop returns only after the worker has ended, so both are in before it unloads.
  EXPECT_TRUE(hasResult(output, 1006, "040")) << output;
  EXPECT_TRUE(hasResult(output, 1007, "040")) << output;
  EXPECT_EQ(machine.readFile(machine.config().moduleFolder + "\\ndist_temp\\12\\readme.txt"),
            "package 12\n");
  std::string status = commandOutput(std::string(CVDT_GATEWAY_PATH) + " status --db " + gateway.dbPath() + " --json");
  // Every job's final status reached the database once: 1004 was cancelled ("942").
  EXPECT_EQ(cvdt::test::DbProbe(gateway.dbPath()).rows(
                "SELECT status FROM n_equip_history WHERE cmd_id = 1004"),
            std::vector<std::string>{"942"});
  EXPECT_EQ(cvdt::test::DbProbe(gateway.dbPath()).rows(
                "SELECT status FROM n_equip_history WHERE cmd_id = 1003"),
            std::vector<std::string>{});  // a refused duplicate leaves no row
  EXPECT_THAT(status,
              HasSubstr("\"dist_id\":13,\"cmd_id\":1006,\"proc_type\":\"NDT\",\"status\":\"940\""));
  EXPECT_THAT(status,
              HasSubstr("\"dist_id\":12,\"cmd_id\":1007,\"proc_type\":\"NDT\",\"status\":\"940\""));

  std::string ban = writeScript("ban",
              "ndist-func \"127.0.0.1|%0|&60|&Y|%00:00:00|*23:59:59|%12|*.\"\n"
              "ndist-cmd 2001 \"" + slow + "\"\n"
              "wait-result 2001 040 30\n"
              "ndist-stop\n");
  output = runAgent(ban, gateway.port(), server.port());
  EXPECT_TRUE(hasResult(output, 2001, "040")) << output;  // "941": stopped by the ban period

  // The host unloads the library while a job is downloading: the job stops, nothing hangs.
  std::string unload = writeScript("unload",
                                   "ndist-func \"127.0.0.1|%0|&60\"\n"
                                   "ndist-cmd 3001 \"" + slow + "\"\n"
                                   "wait 2\n");
  output = runAgent(unload, gateway.port(), server.port());
  EXPECT_THAT(output, HasSubstr("agent: module unloaded"));
  EXPECT_TRUE(hasResult(output, 3001, "040")) << output;  // "940": the manager was stopped

  status = commandOutput(std::string(CVDT_GATEWAY_PATH) + " status --db " + gateway.dbPath() + " --json");
  cvdt::test::DbProbe database(gateway.dbPath());
  EXPECT_EQ(database.rows("SELECT status FROM n_equip_history WHERE cmd_id = 2001"),
            std::vector<std::string>{"941"});
  EXPECT_EQ(database.rows("SELECT status FROM n_equip_history WHERE cmd_id = 3001"),
            std::vector<std::string>{"940"});
  // The second thread start removed distribution 12's files and told the gateway.
  EXPECT_EQ(machine.readFile(machine.config().moduleFolder + "\\ndist_temp\\12\\readme.txt"), "<missing>");
  EXPECT_THAT(status, HasSubstr("\"dist_id\":12"));
  size_t row12 = status.find("\"dist_id\":12");
  EXPECT_THAT(status.substr(row12, status.find('}', row12) - row12),
              Not(HasSubstr("\"deleted_at\":null")))
      << status;
}

}  // namespace
