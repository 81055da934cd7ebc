// SqliteSession: the gateway's database in one SQLite file (WAL journal, synchronous NORMAL,
// a 2-second wait for locks).
#pragma once

#include <sqlite3.h>

#include <map>
#include <string>

#include "SqlSession.h"
#include "SqlStatement.h"

namespace cvdt::gateway {

class SqliteSession : public SqlSession {
 public:
  SqliteSession() = default;
  ~SqliteSession() override;

  // Opens path, creating the file only when create is set.
  bool open(const std::string& path, bool create);
  sqlite3* handle() const { return m_pDb; }

  Engine engine() const override { return Engine::Sqlite; }
  bool beginWrite() override;
  bool commit() override;
  void rollback() override;
  bool run(const std::string& sql, std::initializer_list<SqlValue> params,
           std::vector<SqlRow>* rows = nullptr) override;
  bool script(const std::string& sql) override;

 private:
  SqlStatement* prepared(const std::string& sql);
  bool failHere(const char* what);

  sqlite3* m_pDb = nullptr;
  std::map<std::string, SqlStatement, std::less<>> m_statements;
};

}  // namespace cvdt::gateway
