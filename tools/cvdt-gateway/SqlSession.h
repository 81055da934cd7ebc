// SqlSession: one connection to the gateway's database, SQLite or PostgreSQL, with the few
// operations the stored procedures, the migrations and the status page need.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cvdt::gateway {

// A statement parameter: NULL, an integer or a text (viewed, not copied: the caller's string
// must live until the call returns).
struct SqlValue {
  enum class Kind { Null, Integer, Text };
  SqlValue() = default;
  SqlValue(int64_t value) : kind(Kind::Integer), integer(value) {}
  SqlValue(std::string_view value) : kind(Kind::Text), text(value) {}
  SqlValue(const std::string& value) : kind(Kind::Text), text(value) {}
  SqlValue(const char* value) : kind(Kind::Text), text(value) {}
  static SqlValue orNull(const std::optional<std::string>& value) {
    return value ? SqlValue(*value) : SqlValue();
  }

  Kind kind = Kind::Null;
  int64_t integer = 0;
  std::string_view text;
};

// A result row: each column as text (integers in decimal), NULL as nothing.
using SqlRow = std::vector<std::optional<std::string>>;

// Statements are written once for both engines: parameters are ?1, ?2, ... (turned into $1, $2,
// ... for PostgreSQL) and the SQL is the common subset (ON CONFLICT, RETURNING, COALESCE).
// Each distinct text is prepared once per session. Not shared between threads. Every method
// returns false with error() set when the database refuses; a failed statement inside a
// transaction leaves the transaction to be rolled back.
class SqlSession {
 public:
  enum class Engine { Sqlite, Postgres };

  virtual ~SqlSession() = default;
  virtual Engine engine() const = 0;

  // Starts a write transaction (SQLite takes the write lock at once).
  virtual bool beginWrite() = 0;
  virtual bool commit() = 0;
  virtual void rollback() = 0;
  // Runs one statement; its rows, if any, are appended to rows when given.
  virtual bool run(const std::string& sql, std::initializer_list<SqlValue> params,
                   std::vector<SqlRow>* rows = nullptr) = 0;
  // Runs a script of statements without parameters (the schema).
  virtual bool script(const std::string& sql) = 0;

  const std::string& error() const { return m_strError; }

 protected:
  bool fail(std::string message) {
    m_strError = std::move(message);
    return false;
  }

 private:
  std::string m_strError;
};

// Opens location: a postgresql:// or postgres:// address (any libpq connection URI), or else
// the path of an SQLite file, created only when create is set. Null with error set on failure.
std::unique_ptr<SqlSession> openSqlSession(const std::string& location, bool create,
                                           std::string& error);
// True for a location that names a PostgreSQL server.
bool isPostgresLocation(std::string_view location);

// A write transaction that rolls back unless committed.
class SessionTransaction {
 public:
  explicit SessionTransaction(SqlSession& session) : m_session(session) {
    m_bOpen = session.beginWrite();
  }
  ~SessionTransaction() {
    if (m_bOpen) m_session.rollback();
  }
  SessionTransaction(const SessionTransaction&) = delete;
  SessionTransaction& operator=(const SessionTransaction&) = delete;

  bool begun() const { return m_bOpen; }
  bool commit() {
    m_bOpen = false;
    if (m_session.commit()) return true;
    m_session.rollback();
    return false;
  }

 private:
  SqlSession& m_session;
  bool m_bOpen = false;
};

}  // namespace cvdt::gateway
