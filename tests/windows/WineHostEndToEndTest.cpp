// The Windows host agent end to end under wine64: cvdt-host.exe agent loads the win64 cvdt.dll
// from its own folder and drives a commanded job; the package, made by cvdt-pack, comes from a
// loopback HTTP server through the WinINet cvftc.dll and is unpacked by the zlib cvlgz.dll; the
// result reaches the host's reporting component through the "Global\" queue and the Linux
// gateway's database.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "WineProgram.h"
#include "gateway/GatewayProcess.h"
#include "support/CommandOutput.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestMachine.h"

namespace {

namespace fs = std::filesystem;
using cvdt::test::WineProgram;

std::string contentsOf(const std::string& packOutput) {
  size_t at = packOutput.find("contents=");
  return at == std::string::npos ? "" : packOutput.substr(at + 9, packOutput.find('\n', at) - at - 9);
}

class WineHostEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why = WineProgram::unavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    m_base = cvdt::test::makeTempFolder("cvdt-wine-e2e");
  }
  void TearDown() override {
    if (!m_base.empty()) fs::remove_all(m_base);
  }

  // The agent's folder: the win64 stage folder's programs and libraries, and the catalogue.
  std::string installAgent() {
    std::string agent = m_base + "/agent";
    fs::create_directories(agent);
    for (const auto& entry : fs::directory_iterator(WineProgram::stageFolder()))
      if (entry.is_regular_file()) fs::copy_file(entry.path(), agent + "/" + entry.path().filename().string());
    fs::copy_file(std::string(CVDT_STAGE_DIR) + "/cvmsg.bin", agent + "/cvmsg.bin");
    return agent;
  }

  std::string pack(int id, size_t randomBytes) {
    std::string src = m_base + "/src" + std::to_string(id);
    fs::create_directories(src + "/sub");
    fs::create_directories(m_base + "/root");
    std::ofstream(src + "/readme.txt") << "package " << id << "\n";
    std::mt19937 random(id);
    std::string noise(randomBytes, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    std::ofstream(src + "/sub/payload.bin", std::ios::binary) << noise;
    return contentsOf(cvdt::test::commandOutput(
        std::string(CVDT_PACK_PATH) + " normal --id " + std::to_string(id) + " --name Package" +
        std::to_string(id) + " --src " + src + " --out " + m_base + "/root --part-size 256K"));
  }

  void serveRoot(cvdt::test::LoopbackHttpServer& server) {
    std::string root = m_base + "/root";
    for (const auto& entry : fs::recursive_directory_iterator(root))
      if (entry.is_regular_file())
        server.addFile("/" + fs::relative(entry.path(), root).string(),
                       cvdt::test::ServedFile::fromDisk(entry.path().string()));
  }

  std::string m_base;
};

TEST_F(WineHostEndToEndTest, CommandedJobRunsThroughTheWindowsAgentIntoTheGatewaysDatabase) {
  std::string agent = installAgent();
  cvdt::test::GatewayProcess gateway;
  ASSERT_NE(gateway.port(), 0);
  std::string contents = pack(41, 600 * 1024);
  ASSERT_FALSE(contents.empty());
  cvdt::test::LoopbackHttpServer server;
  serveRoot(server);
  ASSERT_TRUE(server.start());
  std::string script = m_base + "/jobs.txt";
  std::ofstream(script) << "ndist-func \"127.0.0.1|%0|&60\"\n"
                           "ndist-cmd 4101 \"" << contents << "\"\n"
                           "wait-result 4101 060 120\n"
                           "ndist-stop\n";
  int code = 0;
  std::string output = WineProgram::run(
      agent + "/cvdt-host.exe",
      {"agent", "--gateway", "127.0.0.1:" + std::to_string(gateway.port()), "--ft-port",
       std::to_string(server.port()), "--script", WineProgram::windowsPath(script)},
      code);
  EXPECT_EQ(code, 0) << output;
  EXPECT_NE(output.find("wait-result 4101 060: seen"), std::string::npos) << output;
  EXPECT_NE(output.find("agent: module unloaded"), std::string::npos) << output;
  std::ifstream readme(agent + "/ndist_temp/41/readme.txt");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(readme), {}), "package 41\n") << output;
  EXPECT_EQ(fs::file_size(agent + "/ndist_temp/41/sub/payload.bin"), 600u * 1024) << output;
  cvdt::test::DbProbe database(gateway.dbPath());
  EXPECT_EQ(database.rows("SELECT status FROM n_equip_history WHERE cmd_id = 4101"),
            std::vector<std::string>{"060"}) << output;
}

}  // namespace
