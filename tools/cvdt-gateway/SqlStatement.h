// SqlStatement: one prepared SQLite statement, finalized when it goes out of scope.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace cvdt::gateway {

// Binds are numbered from 1, columns from 0, as in the SQLite API. Text binds are copied, so the
// caller's strings need not outlive the statement. Not shared between threads.
class SqlStatement {
 public:
  SqlStatement() = default;
  // Prepares sql on db; ok() tells whether that worked (the error is then in sqlite3_errmsg).
  SqlStatement(sqlite3* db, const char* sql);
  ~SqlStatement();
  SqlStatement(SqlStatement&& other) noexcept;
  SqlStatement& operator=(SqlStatement&& other) noexcept;
  SqlStatement(const SqlStatement&) = delete;
  SqlStatement& operator=(const SqlStatement&) = delete;

  bool ok() const { return m_pStmt != nullptr; }

  SqlStatement& bind(int index, int64_t value);
  SqlStatement& bind(int index, std::string_view value);
  SqlStatement& bindNull(int index);

  // One step: SQLITE_ROW, SQLITE_DONE or an error code.
  int step();
  // Steps to the end and resets, keeping the binds; true when every step succeeded.
  bool run();
  // Ready for the next execution; the binds are cleared.
  void reset();

  int64_t integer(int column) const;
  std::string text(int column) const;
  bool isNull(int column) const;
  // Columns of the current row.
  int columnCount() const { return sqlite3_data_count(m_pStmt); }

 private:
  sqlite3_stmt* m_pStmt = nullptr;
};

}  // namespace cvdt::gateway
