// The SQLite side of the gateway's database sessions.
#include "SqliteSession.h"

namespace cvdt::gateway {

SqliteSession::~SqliteSession() {
  m_statements.clear();  // statements are finalized before the connection closes
  sqlite3_close(m_pDb);
}

bool SqliteSession::open(const std::string& path, bool create) {
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
  if (sqlite3_open_v2(path.c_str(), &m_pDb, flags, nullptr) != SQLITE_OK)
    return fail("cannot open " + path + ": " + sqlite3_errmsg(m_pDb));
  sqlite3_busy_timeout(m_pDb, 2000);
  // Commits reach the WAL without a flush of their own; a power cut may lose the last ones, a
  // crash of the gateway loses none.
  return script("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
}

bool SqliteSession::failHere(const char* what) {
  return fail(std::string(what) + ": " + sqlite3_errmsg(m_pDb));
}

bool SqliteSession::beginWrite() { return run("BEGIN IMMEDIATE", {}) || failHere("begin"); }

bool SqliteSession::commit() { return run("COMMIT", {}) || failHere("commit"); }

void SqliteSession::rollback() { run("ROLLBACK", {}); }

SqlStatement* SqliteSession::prepared(const std::string& sql) {
  auto it = m_statements.find(sql);
  if (it == m_statements.end()) {
    SqlStatement statement(m_pDb, sql.c_str());
    if (!statement.ok()) return nullptr;
    it = m_statements.emplace(sql, std::move(statement)).first;
  }
  return &it->second;
}

bool SqliteSession::run(const std::string& sql, std::initializer_list<SqlValue> params,
                        std::vector<SqlRow>* rows) {
  SqlStatement* statement = prepared(sql);
  if (statement == nullptr) return failHere("prepare");
  int index = 1;
  for (const SqlValue& value : params) {
    if (value.kind == SqlValue::Kind::Integer) statement->bind(index, value.integer);
    else if (value.kind == SqlValue::Kind::Text) statement->bind(index, value.text);
    else statement->bindNull(index);
    ++index;
  }
  int rc;
  while ((rc = statement->step()) == SQLITE_ROW) {
    if (rows == nullptr) continue;
    SqlRow& row = rows->emplace_back();
    for (int column = 0; column < statement->columnCount(); ++column) {
      if (statement->isNull(column)) row.emplace_back();
      else row.emplace_back(statement->text(column));
    }
  }
  statement->reset();
  return rc == SQLITE_DONE || failHere("statement");
}

bool SqliteSession::script(const std::string& sql) {
  return sqlite3_exec(m_pDb, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK ||
         failHere("schema");
}

}  // namespace cvdt::gateway
