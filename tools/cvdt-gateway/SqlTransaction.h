// SqlTransaction: a write transaction that rolls back unless committed.
#pragma once

#include <sqlite3.h>

namespace cvdt::gateway {

// Begins with BEGIN IMMEDIATE, so a writer learns about a busy database before it changes
// anything. Every exit path without commit() rolls the work back.
class SqlTransaction {
 public:
  explicit SqlTransaction(sqlite3* db);
  ~SqlTransaction();
  SqlTransaction(const SqlTransaction&) = delete;
  SqlTransaction& operator=(const SqlTransaction&) = delete;

  bool begun() const { return m_bOpen; }
  // True when the work is durable (as far as the journal mode promises).
  bool commit();

 private:
  sqlite3* m_pDb;
  bool m_bOpen = false;
};

}  // namespace cvdt::gateway
