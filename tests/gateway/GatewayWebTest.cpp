// The operator's status page on each store, filled by cvdt-fleet and one hostile report: the
// JSON API's counts and refusals, and the page as headless Chromium renders it (the rendered DOM
// read back, a screenshot saved in the test output).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "GatewayClient.h"
#include "GatewayProcess.h"
#include "GatewayStores.h"
#include "support/TestMachine.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace cvdt::test {
namespace {

constexpr const char* kChromium = "/usr/bin/chromium";
const std::string kHostileEquip = "<img src=x onerror=alert(1)>";
const std::string kHostileDetail = "<script>alert(2)</script> & \"quoted\"";

class GatewayWebTest : public GatewayStoreTest {
 protected:
  void SetUp() override {
    GatewayStoreTest::SetUp();
    if (IsSkipped()) return;
    m_pGateway = std::make_unique<GatewayProcess>(m_storeArgs);
    CommandResult fleet = runProgram(
        {CVDT_FLEET_PATH, "--gateway", "127.0.0.1:" + std::to_string(m_pGateway->port()),
         "--workstations", "120", "--reports", "3", "--tag", "WEB", "--db",
         m_pGateway->dbPath()},
        60000);
    ASSERT_EQ(fleet.status, 0) << fleet.out << fleet.err;
    ASSERT_EQ(GatewayClient::call(m_pGateway->port(),
                                  requestText("SP_SV_DT_N_EQUIP_IU",
                                              {"EQUIP_ID|#S|#" + kHostileEquip, "DIST_ID|#I|#100",
                                               "PROC_TYPE|#S|#NDT", "STATUS|#S|#904",
                                               "STATUS_DETAIL|#S|#" + kHostileDetail,
                                               "CMD_ID|#I|#1", "ACTOR|#I|#1"})),
              "C00440AOK|@1");
    m_pWeb = std::make_unique<GatewayProcess>("web",
                                              std::vector<std::string>{"--db", m_pGateway->dbPath()});
  }
  nlohmann::json get(const std::string& path, int expectedStatus = 200) {
    httplib::Client client("127.0.0.1", m_pWeb->port());
    httplib::Result result = client.Get(path.c_str());
    if (!result) {
      ADD_FAILURE() << path << ": no answer";
      return nullptr;
    }
    EXPECT_EQ(result->status, expectedStatus) << path << ": " << result->body;
    EXPECT_EQ(result->get_header_value("X-Content-Type-Options"), "nosniff");
    return nlohmann::json::parse(result->body, nullptr, false);
  }
  // Runs headless Chromium on the page; its output (the DOM with --dump-dom).
  std::string chromium(const std::string& query, const std::vector<std::string>& mode) {
    std::string profile = makeTempFolder("cvdt-chromium");
    std::vector<std::string> args = {kChromium, "--headless", "--no-sandbox", "--disable-gpu",
                                     "--user-data-dir=" + profile, "--virtual-time-budget=8000",
                                     "--window-size=1400,1700"};
    args.insert(args.end(), mode.begin(), mode.end());
    args.push_back("http://127.0.0.1:" + std::to_string(m_pWeb->port()) + "/" + query);
    CommandResult run = runProgram(args, 90000);
    std::filesystem::remove_all(profile);
    EXPECT_EQ(run.status, 0) << run.err;
    return run.out;
  }

  std::unique_ptr<GatewayProcess> m_pGateway;
  std::unique_ptr<GatewayProcess> m_pWeb;
};

CVDT_STORES_OF(GatewayWebTest);

TEST_P(GatewayWebTest, TheApiCountsEveryWorkstationOnceAndRefusesBadFilters) {
  nlohmann::json summary = get("/api/summary?lang=ko");
  ASSERT_EQ(summary["commanded"].size(), 1u) << summary.dump();
  const nlohmann::json& commanded = summary["commanded"][0];
  EXPECT_EQ(commanded["dist_id"], 100);
  // Each of the 120 workstations sent one report of each kind; and the hostile one.
  EXPECT_EQ(commanded["workstations"], 121);
  bool explained = false;
  for (const nlohmann::json& status : commanded["statuses"]) {
    if (status["status"] == "920") explained = status["text"] == "배포 설정이 올바르지 않습니다.";
  }
  EXPECT_TRUE(explained) << commanded.dump();
  EXPECT_EQ(summary["automatic"][0]["workstations"], 120);

  // A search is a plain substring: LIKE's own wildcards match only themselves.
  EXPECT_EQ(get("/api/workstations?q=WEB-00011").size(), 10u);
  EXPECT_EQ(get("/api/workstations?q=WEB_").size(), 0u);
  nlohmann::json hostile = get("/api/workstations?q=%3Cimg");
  ASSERT_EQ(hostile.size(), 1u);
  EXPECT_EQ(hostile[0]["equip_id"], kHostileEquip);
  nlohmann::json history = get("/api/workstation?id=" + httplib::detail::encode_query_param(kHostileEquip));
  ASSERT_EQ(history["history"].size(), 1u) << history.dump();
  EXPECT_EQ(history["history"][0]["detail"], kHostileDetail);

  EXPECT_EQ(get("/api/automatic?dist=abc", 400)["error"], "dist must be a distribution id");
}

TEST_P(GatewayWebTest, ChromiumRendersThePageWithEveryFieldTextEscaped) {
  if (access(kChromium, X_OK) != 0) GTEST_SKIP() << "chromium is not installed";
  std::string query = "?equip=" + httplib::detail::encode_query_param(kHostileEquip);
  std::string dom = chromium(query, {"--dump-dom"});
  EXPECT_THAT(dom, HasSubstr("Commanded distributions")) << dom.substr(0, 2000);
  // The tables were filled by the script: the fleet's equipment and the catalogue's texts.
  EXPECT_THAT(dom, HasSubstr("WEB-000001"));
  EXPECT_THAT(dom, HasSubstr("The distribution settings are not valid."));
  // The hostile texts are shown as text, never turned into elements.
  EXPECT_THAT(dom, HasSubstr("&lt;img src=x onerror=alert(1)&gt;"));
  EXPECT_THAT(dom, HasSubstr("&lt;script&gt;alert(2)&lt;/script&gt; &amp; \"quoted\""));
  EXPECT_THAT(dom, Not(HasSubstr("<img")));
  EXPECT_THAT(dom, Not(HasSubstr("<script>alert")));

  std::filesystem::create_directories(CVDT_TEST_OUTPUT_DIR);
  std::string shot = std::string(CVDT_TEST_OUTPUT_DIR) + "/status-page-" +
                     (GetParam() == StoreKind::Sqlite ? "sqlite" : "postgres") + ".png";
  std::filesystem::remove(shot);
  chromium("?lang=en&equip=WEB-000004", {"--screenshot=" + shot});
  EXPECT_GT(std::filesystem::file_size(shot), 10000u) << shot;
  std::printf("screenshot: %s\n", shot.c_str());
}

}  // namespace
}  // namespace cvdt::test
