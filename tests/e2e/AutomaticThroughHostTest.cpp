// Automatic distribution through the host, end to end: cvdt-host agent hands the item list to
// the module's automatic exports, the pass fetches a package made by cvdt-pack from a loopback
// HTTP server, the agent prints the published state, and the gateway stores the reports.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "gateway/GatewayProcess.h"
#include "support/CommandOutput.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestMachine.h"

using ::testing::HasSubstr;

namespace {

namespace fs = std::filesystem;
using cvdt::test::commandOutput;
using cvdt::test::TestMachine;

// The index digest that cvdt-pack auto printed.
std::string packAuto(const std::string& base, int id, const std::string& dest) {
  std::string src = base + "/src" + std::to_string(id);
  fs::create_directories(src);
  std::ofstream(src + "/readme.txt") << "automatic " << id << "\n";
  std::ofstream(src + "/install.bat") << "echo ran >> \"$(dirname \"$0\")/runs.txt\"\nexit 0\n";
  fs::create_directories(base + "/root");
  std::string output = commandOutput(std::string(CVDT_PACK_PATH) + " auto --id " +
                                     std::to_string(id) + " --name Auto" + std::to_string(id) +
                                     " --dest '" + dest + "' --program install.bat --update-id 3 "
                                     "--src " + src + " --out " + base + "/root");
  size_t at = output.find("index-digest=");
  return at == std::string::npos ? "" : output.substr(at + 13, 32);
}

TEST(AutomaticThroughHostTest, PassRunsPublishesAndReportsThroughTheAgent) {
  std::string base = cvdt::test::makeTempFolder("cvdt-e2e-auto");
  TestMachine machine;
  cvdt::test::GatewayProcess gateway;
  ASSERT_NE(gateway.port(), 0);
  std::string digest = packAuto(base, 81, "C:\\Auto\\81");
  ASSERT_EQ(digest.size(), 32u);
  cvdt::test::LoopbackHttpServer server;
  for (const auto& entry : fs::recursive_directory_iterator(base + "/root")) {
    if (!entry.is_regular_file()) continue;
    server.addFile("/" + fs::relative(entry.path(), base + "/root").string(),
                   cvdt::test::ServedFile::fromDisk(entry.path().string()));
  }
  ASSERT_TRUE(server.start());

  std::string script = base + "/script.txt";
  std::ofstream(script) << "adist-func \"EQ0000000001|%82|*Missing|*00000000000000000000000000000000"
                           "|&81|*Auto81|*" << digest << "|%127.0.0.1\" \"1|%60|%Y|%0\"\n"
                        << "wait-status 81 060 60\n"
                        << "wait-status 82 901 60\n"
                        << "adist-func \"EQ0000000001|%\" \"bad\"\n"
                        << "adist-stop\n";
  std::string output = commandOutput(std::string(CVDT_HOST_PATH) + " agent --gateway 127.0.0.1:" +
                                     std::to_string(gateway.port()) + " --ft-port " +
                                     std::to_string(server.port()) + " --script " + script);
  EXPECT_THAT(output, HasSubstr("call cvfADistFunc = 1\n"));
  EXPECT_THAT(output, HasSubstr("adist-item {\"dist\":81,\"name\":\"Auto81\",\"status\":\"060\"}"));
  EXPECT_THAT(output, HasSubstr("adist {\"dist\":81,\"status\":\"07"));
  EXPECT_THAT(output, HasSubstr("wait-status 81 060: seen"));
  EXPECT_THAT(output, HasSubstr("wait-status 82 901: seen"));
  EXPECT_THAT(output, HasSubstr("call cvfADistFunc = 0\n"));
  EXPECT_THAT(output, HasSubstr("call cvfADistFunc(stop) = 1\n"));
  EXPECT_EQ(machine.readFile("C:\\Auto\\81\\runs.txt"), "ran\n");

  // 82 failed first, before any report was due; 81 reported after its index and at its end.
  EXPECT_EQ(cvdt::test::DbProbe(gateway.dbPath())
                .rows("SELECT dist_id, update_id, status, status_detail FROM a_equip_history "
                      "ORDER BY history_id"),
            (std::vector<std::string>{"81,3,073,100 %", "81,3,060,"}));
  std::string status = commandOutput(std::string(CVDT_GATEWAY_PATH) + " status --db " +
                                     gateway.dbPath() + " --json");
  EXPECT_THAT(status, HasSubstr("\"automatic\":[{"));
  EXPECT_THAT(status, HasSubstr("\"status\":\"060\""));
  fs::remove_all(base);
}

}  // namespace
