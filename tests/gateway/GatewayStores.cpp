// Choosing the store of a gateway test.
#include "GatewayStores.h"

#include "PgCluster.h"

namespace cvdt::test {

std::string storeKindName(const testing::TestParamInfo<StoreKind>& info) {
  return info.param == StoreKind::Sqlite ? "Sqlite" : "Postgres";
}

std::optional<std::vector<std::string>> freshStoreArgs(StoreKind kind) {
  if (kind == StoreKind::Sqlite) return std::vector<std::string>{};
  PgCluster* cluster = PgCluster::shared();
  if (cluster == nullptr) return std::nullopt;
  return std::vector<std::string>{"--db", cluster->freshDatabase()};
}

std::string postgresSkipReason() { return "no PostgreSQL: " + PgCluster::skipReason(); }

}  // namespace cvdt::test
