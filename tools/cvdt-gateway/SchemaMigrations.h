// SchemaMigrations: the versions of the gateway's schema, each a step from the one before, on
// SQLite and on PostgreSQL, applied when a database is opened.
#pragma once

#include <string>

#include "SqlSession.h"
#include "platform/Status.h"

namespace cvdt::gateway {

// Version 1: the reporting tables and the product targets. Version 2: the indexes the status
// page reads the histories through.
class SchemaMigrations {
 public:
  static constexpr int kLatest = 2;

  // Brings the database up to kLatest in one write transaction (on PostgreSQL under an advisory
  // lock, so gateways that start together do not race), applying only the missing steps. A
  // database of a newer version than this program knows is refused, with a failure that says so.
  static plat::Status apply(SqlSession& session);
  // The version the database is at: 0 for an empty one, -1 when it cannot be read.
  static int version(SqlSession& session);

 private:
  static bool lockAndPrepare(SqlSession& session);
  static bool setVersion(SqlSession& session, int version);
};

}  // namespace cvdt::gateway
