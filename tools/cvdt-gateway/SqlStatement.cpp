// Prepared SQLite statements for the gateway's store and admin commands.
#include "SqlStatement.h"

#include <utility>

namespace cvdt::gateway {

SqlStatement::SqlStatement(sqlite3* db, const char* sql) {
  if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &m_pStmt, nullptr) != SQLITE_OK) {
    sqlite3_finalize(m_pStmt);
    m_pStmt = nullptr;
  }
}

SqlStatement::~SqlStatement() { sqlite3_finalize(m_pStmt); }

SqlStatement::SqlStatement(SqlStatement&& other) noexcept
    : m_pStmt(std::exchange(other.m_pStmt, nullptr)) {}

SqlStatement& SqlStatement::operator=(SqlStatement&& other) noexcept {
  if (this != &other) {
    sqlite3_finalize(m_pStmt);
    m_pStmt = std::exchange(other.m_pStmt, nullptr);
  }
  return *this;
}

SqlStatement& SqlStatement::bind(int index, int64_t value) {
  sqlite3_bind_int64(m_pStmt, index, value);
  return *this;
}

SqlStatement& SqlStatement::bind(int index, std::string_view value) {
  sqlite3_bind_text(m_pStmt, index, value.data(), static_cast<int>(value.size()),
                    SQLITE_TRANSIENT);
  return *this;
}

SqlStatement& SqlStatement::bindNull(int index) {
  sqlite3_bind_null(m_pStmt, index);
  return *this;
}

int SqlStatement::step() { return sqlite3_step(m_pStmt); }

bool SqlStatement::run() {
  int rc;
  while ((rc = sqlite3_step(m_pStmt)) == SQLITE_ROW) {
  }
  sqlite3_reset(m_pStmt);
  return rc == SQLITE_DONE;
}

void SqlStatement::reset() {
  sqlite3_reset(m_pStmt);
  sqlite3_clear_bindings(m_pStmt);
}

int64_t SqlStatement::integer(int column) const { return sqlite3_column_int64(m_pStmt, column); }

std::string SqlStatement::text(int column) const {
  const unsigned char* data = sqlite3_column_text(m_pStmt, column);
  if (data == nullptr) return {};
  return std::string(reinterpret_cast<const char*>(data),
                     static_cast<size_t>(sqlite3_column_bytes(m_pStmt, column)));
}

bool SqlStatement::isNull(int column) const {
  return sqlite3_column_type(m_pStmt, column) == SQLITE_NULL;
}

}  // namespace cvdt::gateway
