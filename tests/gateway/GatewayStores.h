// The two stores every gateway test runs on: a fresh SQLite file, or a fresh database on the
// tests' throw-away PostgreSQL cluster.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace cvdt::test {

enum class StoreKind { Sqlite, Postgres };

// For INSTANTIATE_TEST_SUITE_P: "Sqlite" and "Postgres".
std::string storeKindName(const testing::TestParamInfo<StoreKind>& info);

// The cvdt-gateway arguments that select a fresh store of this kind: none for SQLite (the
// gateway's own folder holds the file), --db ADDRESS for PostgreSQL; nothing when PostgreSQL is
// not available (the caller skips, with postgresSkipReason()).
std::optional<std::vector<std::string>> freshStoreArgs(StoreKind kind);
std::string postgresSkipReason();

// A test that runs on each store: skipped when PostgreSQL is not available.
class GatewayStoreTest : public testing::TestWithParam<StoreKind> {
 protected:
  void SetUp() override {
    std::optional<std::vector<std::string>> args = freshStoreArgs(GetParam());
    if (!args) GTEST_SKIP() << postgresSkipReason();
    m_storeArgs = *args;
  }
  // The store's arguments followed by extra.
  std::vector<std::string> storeArgs(std::vector<std::string> extra = {}) const {
    extra.insert(extra.begin(), m_storeArgs.begin(), m_storeArgs.end());
    return extra;
  }
  // The store's location: its postgresql:// address, or sqliteFile for SQLite.
  std::string storeLocation(const std::string& sqliteFile) const {
    return m_storeArgs.empty() ? sqliteFile : m_storeArgs[1];
  }

  std::vector<std::string> m_storeArgs;
};

}  // namespace cvdt::test

#define CVDT_STORES_OF(Suite)                                                          \
  INSTANTIATE_TEST_SUITE_P(Stores, Suite,                                             \
                           testing::Values(cvdt::test::StoreKind::Sqlite,             \
                                           cvdt::test::StoreKind::Postgres),          \
                           cvdt::test::storeKindName)
