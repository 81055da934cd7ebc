// Write transactions of the gateway's store and admin commands.
#include "SqlTransaction.h"

namespace cvdt::gateway {

SqlTransaction::SqlTransaction(sqlite3* db) : m_pDb(db) {
  m_bOpen = run(nullptr, "BEGIN IMMEDIATE");
}

SqlTransaction::SqlTransaction(TransactionStatements& statements)
    : m_pStatements(&statements) {
  m_bOpen = run(&statements.begin, nullptr);
}

SqlTransaction::~SqlTransaction() {
  if (m_bOpen) run(m_pStatements ? &m_pStatements->rollback : nullptr, "ROLLBACK");
}

bool SqlTransaction::commit() {
  if (!m_bOpen || !run(m_pStatements ? &m_pStatements->commit : nullptr, "COMMIT")) return false;
  m_bOpen = false;
  return true;
}

bool SqlTransaction::run(SqlStatement* statement, const char* sql) {
  if (statement != nullptr) return statement->run();
  return sqlite3_exec(m_pDb, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

}  // namespace cvdt::gateway
