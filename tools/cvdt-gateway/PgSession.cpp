// The PostgreSQL side of the gateway's database sessions.
#include "PgSession.h"

#include <libpq-fe.h>

#include <memory>

namespace cvdt::gateway {
namespace {

struct ResultDeleter {
  void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

bool succeeded(const Result& result) {
  ExecStatusType status = PQresultStatus(result.get());
  return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

// libpq's messages end in a newline and may run over several lines.
std::string oneLine(const char* message) {
  std::string text = message ? message : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  for (char& c : text) {
    if (c == '\n') c = ' ';
  }
  return text;
}

}  // namespace

PgSession::~PgSession() { PQfinish(m_pConn); }

bool PgSession::open(const std::string& location) {
  m_pConn = PQconnectdb(location.c_str());
  if (PQstatus(m_pConn) != CONNECTION_OK)
    return fail("cannot connect to PostgreSQL: " + oneLine(PQerrorMessage(m_pConn)));
  // Quiet notices ("relation already exists, skipping") would otherwise go to stderr.
  PQsetNoticeProcessor(m_pConn, [](void*, const char*) {}, nullptr);
  return true;
}

bool PgSession::failHere(const char* what) {
  return fail(std::string(what) + ": " + oneLine(PQerrorMessage(m_pConn)));
}

bool PgSession::reconnectIfLost() {
  if (PQstatus(m_pConn) == CONNECTION_OK) return true;
  m_statementNames.clear();
  PQreset(m_pConn);
  return PQstatus(m_pConn) == CONNECTION_OK || failHere("reconnect");
}

bool PgSession::beginWrite() { return reconnectIfLost() && script("BEGIN"); }

bool PgSession::commit() { return script("COMMIT"); }

void PgSession::rollback() { Result(PQexec(m_pConn, "ROLLBACK")); }

bool PgSession::script(const std::string& sql) {
  Result result(PQexec(m_pConn, sql.c_str()));
  return succeeded(result) || failHere("statement");
}

std::string PgSession::dollarParameters(const std::string& sql) {
  std::string out;
  out.reserve(sql.size());
  bool quoted = false;
  for (char c : sql) {
    if (c == '\'') quoted = !quoted;
    out += (c == '?' && !quoted) ? '$' : c;
  }
  return out;
}

const std::string* PgSession::prepared(const std::string& sql, int paramCount) {
  auto it = m_statementNames.find(sql);
  if (it != m_statementNames.end()) return &it->second;
  std::string name = "cvdt_" + std::to_string(m_statementNames.size() + 1);
  Result result(PQprepare(m_pConn, name.c_str(), dollarParameters(sql).c_str(), paramCount,
                          nullptr));
  if (!succeeded(result)) return nullptr;
  return &m_statementNames.emplace(sql, name).first->second;
}

bool PgSession::run(const std::string& sql, std::initializer_list<SqlValue> params,
                    std::vector<SqlRow>* rows) {
  if (!reconnectIfLost()) return false;
  const std::string* name = prepared(sql, static_cast<int>(params.size()));
  if (name == nullptr) return failHere("prepare");
  std::vector<std::string> texts;
  texts.reserve(params.size());
  std::vector<const char*> values;
  std::vector<int> lengths;
  for (const SqlValue& value : params) {
    if (value.kind == SqlValue::Kind::Integer) texts.push_back(std::to_string(value.integer));
    else texts.emplace_back(value.text);
    values.push_back(value.kind == SqlValue::Kind::Null ? nullptr : texts.back().c_str());
    lengths.push_back(static_cast<int>(texts.back().size()));
  }
  // texts was reserved in full, so the pointers taken above stay valid.
  Result result(PQexecPrepared(m_pConn, name->c_str(), static_cast<int>(values.size()),
                               values.data(), lengths.data(), nullptr, 0));
  if (!succeeded(result)) return failHere("statement");
  if (rows == nullptr) return true;
  int columns = PQnfields(result.get());
  for (int r = 0; r < PQntuples(result.get()); ++r) {
    SqlRow& row = rows->emplace_back();
    for (int c = 0; c < columns; ++c) {
      if (PQgetisnull(result.get(), r, c)) row.emplace_back();
      else row.emplace_back(std::string(PQgetvalue(result.get(), r, c),
                                        static_cast<size_t>(PQgetlength(result.get(), r, c))));
    }
  }
  return true;
}


}  // namespace cvdt::gateway
