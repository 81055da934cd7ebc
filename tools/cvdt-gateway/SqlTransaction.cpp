// Write transactions of the gateway's store.
#include "SqlTransaction.h"

namespace cvdt::gateway {

SqlTransaction::SqlTransaction(sqlite3* db) : m_pDb(db) {
  m_bOpen = sqlite3_exec(m_pDb, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
}

SqlTransaction::~SqlTransaction() {
  if (m_bOpen) sqlite3_exec(m_pDb, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool SqlTransaction::commit() {
  if (!m_bOpen) return false;
  if (sqlite3_exec(m_pDb, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) return false;
  m_bOpen = false;
  return true;
}

}  // namespace cvdt::gateway
