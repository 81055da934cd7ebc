// Schema versions: an empty database is brought to the latest version, an older one is upgraded
// in place with its reports kept, and a newer one is refused; on both stores.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "GatewayClient.h"
#include "GatewayProcess.h"
#include "GatewayStores.h"
#include "support/TestMachine.h"

using ::testing::HasSubstr;

namespace cvdt::test {
namespace {

const std::string kReport = commandedRequest("EQ1", 5);

class GatewayMigrationTest : public GatewayStoreTest {
 protected:
  void SetUp() override {
    GatewayStoreTest::SetUp();
    if (IsSkipped()) return;
    m_strFolder = makeTempFolder("cvdt-migration");
    m_strDb = storeLocation(m_strFolder + "/gateway.db");
  }
  void TearDown() override {
    if (!m_strFolder.empty()) std::filesystem::remove_all(m_strFolder);
  }
  std::vector<std::string> versionAndIndexes() {
    DbProbe db(m_strDb);
    std::vector<std::string> out = db.rows(
        db.isPostgres() ? "SELECT version FROM cvdt_schema" : "PRAGMA user_version");
    for (const std::string& index : db.rows(
             db.isPostgres() ? "SELECT indexname FROM pg_indexes WHERE indexname LIKE '%history_%'"
                               " AND indexname NOT LIKE '%_pkey'"
                               " ORDER BY 1"
                             : "SELECT name FROM sqlite_master WHERE type = 'index'"
                               " AND name LIKE '%history_%' ORDER BY 1"))
      out.push_back(index);
    return out;
  }
  void setVersion(int version) {
    DbProbe db(m_strDb);
    db.exec(db.isPostgres() ? "UPDATE cvdt_schema SET version = " + std::to_string(version)
                            : "PRAGMA user_version = " + std::to_string(version));
  }

  std::string m_strFolder;
  std::string m_strDb;
};

CVDT_STORES_OF(GatewayMigrationTest);

TEST_P(GatewayMigrationTest, AnOlderDatabaseIsUpgradedInPlaceAndANewerOneIsRefused) {
  const std::vector<std::string> latest = {"2", "a_equip_history_equip", "n_equip_history_dist",
                                           "n_equip_history_key"};
  {
    GatewayProcess fresh({"--db", m_strDb});
    ASSERT_EQ(GatewayClient::call(fresh.port(), kReport), "C00440AOK|@1");
  }
  EXPECT_EQ(versionAndIndexes(), latest);

  // Version 1 had the same tables without the history indexes.
  DbProbe(m_strDb).exec(
      "DROP INDEX n_equip_history_key; DROP INDEX n_equip_history_dist;"
      " DROP INDEX a_equip_history_equip;");
  setVersion(1);
  EXPECT_EQ(versionAndIndexes(), std::vector<std::string>{"1"});
  {
    GatewayProcess upgraded({"--db", m_strDb});
    EXPECT_EQ(GatewayClient::call(upgraded.port(), kReport), "C00440AOK|@1");
  }
  EXPECT_EQ(versionAndIndexes(), latest);
  EXPECT_EQ(DbProbe(m_strDb).count("n_equip_history"), 2);

  setVersion(3);
  CommandResult newer = runGatewayCommand({"serve", "--listen", "127.0.0.1:0", "--db", m_strDb});
  EXPECT_EQ(newer.status, 1);
  EXPECT_THAT(newer.err, HasSubstr("schema version 3, newer than this program's 2"));
  EXPECT_EQ(DbProbe(m_strDb).count("n_equip_history"), 2);
}

}  // namespace
}  // namespace cvdt::test
