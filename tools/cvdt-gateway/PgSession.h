// PgSession: the gateway's database on a PostgreSQL server, through libpq.
#pragma once

#include <map>
#include <string>

#include "SqlSession.h"

struct pg_conn;

namespace cvdt::gateway {

// Statements are prepared on the server under names of their own, once per connection. A lost
// connection is re-opened at the next transaction (its prepared statements with it); the
// request that met the loss is refused.
class PgSession : public SqlSession {
 public:
  PgSession() = default;
  ~PgSession() override;
  PgSession(const PgSession&) = delete;
  PgSession& operator=(const PgSession&) = delete;

  // Connects with a libpq connection string or URI.
  bool open(const std::string& location);

  Engine engine() const override { return Engine::Postgres; }
  bool beginWrite() override;
  bool commit() override;
  void rollback() override;
  bool run(const std::string& sql, std::initializer_list<SqlValue> params,
           std::vector<SqlRow>* rows = nullptr) override;
  bool script(const std::string& sql) override;

  // ?1, ?2, ... as $1, $2, ...; a ? inside a quoted literal is left alone.
  static std::string dollarParameters(const std::string& sql);

 private:
  bool reconnectIfLost();
  // The server-side name of sql, prepared on first use; empty on failure.
  const std::string* prepared(const std::string& sql, int paramCount);
  bool failHere(const char* what);

  pg_conn* m_pConn = nullptr;
  std::map<std::string, std::string, std::less<>> m_statementNames;
};

}  // namespace cvdt::gateway
