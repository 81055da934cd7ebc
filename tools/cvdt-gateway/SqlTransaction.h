// SqlTransaction: a write transaction that rolls back unless committed.
#pragma once

#include <sqlite3.h>

#include "SqlStatement.h"

namespace cvdt::gateway {

// BEGIN IMMEDIATE, COMMIT and ROLLBACK prepared once for a connection that writes often.
struct TransactionStatements {
  explicit TransactionStatements(sqlite3* db)
      : begin(db, "BEGIN IMMEDIATE"), commit(db, "COMMIT"), rollback(db, "ROLLBACK") {}
  bool ok() const { return begin.ok() && commit.ok() && rollback.ok(); }

  SqlStatement begin;
  SqlStatement commit;
  SqlStatement rollback;
};

// Begins with BEGIN IMMEDIATE, so a writer learns about a busy database before it changes
// anything. Every exit path without commit() rolls the work back.
class SqlTransaction {
 public:
  explicit SqlTransaction(sqlite3* db);
  // The same on statements prepared beforehand; they must outlive the transaction.
  explicit SqlTransaction(TransactionStatements& statements);
  ~SqlTransaction();
  SqlTransaction(const SqlTransaction&) = delete;
  SqlTransaction& operator=(const SqlTransaction&) = delete;

  bool begun() const { return m_bOpen; }
  // True when the work is durable (as far as the journal mode promises).
  bool commit();

 private:
  bool run(SqlStatement* statement, const char* sql);

  sqlite3* m_pDb = nullptr;
  TransactionStatements* m_pStatements = nullptr;
  bool m_bOpen = false;
};

}  // namespace cvdt::gateway
