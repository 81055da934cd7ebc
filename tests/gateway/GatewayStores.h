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

}  // namespace cvdt::test

#define CVDT_STORES_OF(Suite)                                                          \
  INSTANTIATE_TEST_SUITE_P(Stores, Suite,                                             \
                           testing::Values(cvdt::test::StoreKind::Sqlite,             \
                                           cvdt::test::StoreKind::Postgres),          \
                           cvdt::test::storeKindName)
