// Opening the gateway's database by its location: a PostgreSQL address or an SQLite file.
#include "SqlSession.h"

#include "PgSession.h"
#include "SqliteSession.h"

namespace cvdt::gateway {

bool isPostgresLocation(std::string_view location) {
  return location.starts_with("postgresql://") || location.starts_with("postgres://");
}

std::unique_ptr<SqlSession> openSqlSession(const std::string& location, bool create,
                                           std::string& error) {
  if (isPostgresLocation(location)) {
    auto session = std::make_unique<PgSession>();
    if (session->open(location)) return session;
    error = session->error();
    return nullptr;
  }
  auto session = std::make_unique<SqliteSession>();
  if (session->open(location, create)) return session;
  error = session->error();
  return nullptr;
}

}  // namespace cvdt::gateway
