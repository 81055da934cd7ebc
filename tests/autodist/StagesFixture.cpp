// The automatic stages' test fixture.
#include "StagesFixture.h"

#include <cstring>
#include <filesystem>
#include <fstream>

#include "autodist/AutoDistTestAccess.h"
#include "entry/NModuleState.h"
#include "platform/NMisc.h"
#include "support/CommandOutput.h"

void NAutoDistStagesTestAccess::newMaps() {
  m_worker.m_pIndexMap = std::make_unique<NFileMap>();
  m_worker.m_pStaleMap = std::make_unique<NFileMap>();
}

namespace cvdt::test {

namespace fs = std::filesystem;

void StagesTest::SetUp() { m_base = makeTempFolder("cvdt-adist"); }

void StagesTest::TearDown() {
  m_server.stop();
  m_access.reset();
  m_worker.reset();
  m_manager.reset();
  m_machine.reset();
  fs::remove_all(m_base);
}

void StagesTest::makeMachine(const TestMachine::Customize& customize) {
  m_machine = std::make_unique<TestMachine>(customize);
  setPort(1);
  m_manager = std::make_unique<NDistMgr>();
  m_worker = std::make_unique<NAutoDist>();
  m_access = std::make_unique<NAutoDistStagesTestAccess>(*m_worker);
  m_access->newMaps();
  ASSERT_TRUE(m_worker->initSetting(m_manager.get()));
}

// Reports go to 127.0.0.1:1, where nothing listens: they fail at once.
void StagesTest::setPort(int port) { setHostEnvironment(1, port); }

void StagesTest::configure(int retries, const std::string& servers) {
  std::string callArgs = std::to_string(retries) + "|%10|%N|%0";
  std::string equipCfg = "EQ0000000001|%1|*One|*0|%" + servers;
  ASSERT_TRUE(m_manager->initSetting("20261206120000", callArgs.c_str(), equipCfg.c_str(), "", 3));
}

AutoPackage StagesTest::pack(int id, const std::map<std::string, std::string>& files,
                             const std::string& options) {
  const std::string source = m_base + "/src" + std::to_string(id);
  fs::remove_all(source);
  fs::create_directories(source);
  for (const auto& [path, content] : files) {
    fs::create_directories(fs::path(source + "/" + path).parent_path());
    std::ofstream(source + "/" + path, std::ios::binary) << content;
  }
  const std::string root = m_base + "/root";
  fs::create_directories(root);
  std::string output = commandOutput(std::string(CVDT_PACK_PATH) + " auto --id " +
                                     std::to_string(id) + " --name Pkg" + std::to_string(id) +
                                     " --src " + source + " --out " + root + " " + options);
  size_t at = output.find("index-digest=");
  EXPECT_NE(at, std::string::npos) << output;
  if (at == std::string::npos) return {root, ""};
  return {root, output.substr(at + 13, 32)};
}

void StagesTest::serve(LoopbackHttpServer& server, const std::string& root) {
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    server.addFile("/" + fs::relative(entry.path(), root).string(),
                   ServedFile::fromDisk(entry.path().string()));
  }
}

void StagesTest::startServer(const std::string& root, int retries) {
  if (!root.empty()) serve(m_server, root);
  ASSERT_TRUE(m_server.start());
  setPort(m_server.port());
  configure(retries, "127.0.0.1");
}

std::vector<std::string> StagesTest::gets(const LoopbackHttpServer& server) {
  std::vector<std::string> out;
  for (const std::string& request : server.requests())
    if (request.rfind("GET ", 0) == 0) out.push_back(request);
  return out;
}

std::string StagesTest::message(const char* key) {
  return NMisc::getMessage(NMisc::thisModule(), key, "").text();
}

ADistItem StagesTest::itemFor(int id, const std::string& digest) {
  ADistItem item;
  std::memset(&item, 0, sizeof item);
  item.m_nDistId = id;
  std::snprintf(item.m_szName, sizeof item.m_szName, "Pkg%d", id);
  std::snprintf(item.m_szIdxDigest, sizeof item.m_szIdxDigest, "%s", digest.c_str());
  std::strcpy(item.m_szStatus, "070");
  return item;
}

std::string StagesTest::indexText(const std::vector<std::string>& lines) {
  std::string bytes = "\xFF\xFE";
  for (const std::string& line : lines) {
    for (char c : line + "\r\n") {
      bytes.push_back(c);
      bytes.push_back('\0');
    }
  }
  return bytes;
}

void StagesTest::writeLocalIndex(int id, const std::string& bytes) {
  m_machine->writeFile(std::string(m_worker->localFolder().text()) + "\\" + std::to_string(id) +
                           ".idx",
                       bytes);
}

bool StagesTest::runStages(ADistItem& item, int& fetched) {
  fetched = 0;
  return m_worker->idxFileCheck(item) && m_worker->idxFileLoad(item) &&
         m_worker->distFileCheck(item) && m_worker->distFileDownload(item, fetched) &&
         m_worker->distFileCopy(item);
}

void StagesTest::command(const std::string& callArgs, const std::string& entries, int mode) {
  std::string cfg = "EQ0000000001|%" + entries + "|%127.0.0.1";
  ASSERT_TRUE(m_manager->initSetting("20261206120000", callArgs.c_str(), cfg.c_str(), "", mode));
}

ADistItem StagesTest::item(int32_t id) { return NDistMgrTestAccess::item(*m_manager, id); }

std::string StagesTest::recordStatus() const { return m_worker->sharedState().m_status.m_szStatus; }
int StagesTest::recordPercent() const { return m_worker->sharedState().m_status.m_nPercent; }

}  // namespace cvdt::test
