// A deletion report listing many distributions: the module frames the long request whole and
// the gateway records every id of it.
#include <gtest/gtest.h>

#include "gateway/GatewayProcess.h"
#include "gateway/GatewayStores.h"
#include "net/NDBQuery.h"

namespace cvdt::test {
namespace {

class GatewayLongRequestTest : public testing::TestWithParam<StoreKind> {};

CVDT_STORES_OF(GatewayLongRequestTest);

TEST_P(GatewayLongRequestTest, DeletionReportOfManyDistributionsIsRecordedWhole) {
  std::optional<std::vector<std::string>> store = freshStoreArgs(GetParam());
  if (!store) GTEST_SKIP() << postgresSkipReason();
  GatewayProcess gateway(*store);
  std::string ids;
  int count = 0;
  for (int id = 1000; ids.size() + 6 <= 999; ++id, ++count) ids += (ids.empty() ? "" : "|&") + std::to_string(id);
  std::string parameters = "EQUIP_ID|#S|#EQ0000000001|$DIST_ID_DATA|#S|#" + ids;
  ASSERT_GT(parameters.size(), 1000u);  // longer than the module's usual frame buffer

  NDBQuery query;
  query.setServer("127.0.0.1", gateway.port());
  NString result;
  ASSERT_TRUE(query.execStoredProc("SP_SV_DT_N_EQUIP_DELETE_DATETIME_U", 2, parameters.c_str(), result));
  EXPECT_STREQ(result.text(), std::to_string(count).c_str());
  EXPECT_EQ(DbProbe(gateway.dbPath()).count("n_equip_deleted"), count);
}

}  // namespace
}  // namespace cvdt::test
